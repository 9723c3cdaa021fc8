#include "session/ModuleIoIndicators.h"

namespace qvvandrel {

std::unique_ptr<ModuleIoIndicators> ModuleIoIndicators::create(
    SessionTransportInterface& transport) {
  std::unique_ptr<ModuleIoIndicators> indicators(new ModuleIoIndicators(transport));
  if (indicators->status_.isError()) return nullptr;
  return indicators;
}

ModuleIoIndicators::ModuleIoIndicators(SessionTransportInterface& transport)
    : error_(&transport, kErrorRegister, &status_),
      ready_(&transport, kReadyRegister, &status_),
      ioError_(kIoError, &error_),
      ioReady_(kIoReady, &ready_) {}

void ModuleIoIndicators::registerAttributes(atat::AttributeRegistry& registry) {
  registry.addAttribute(&ioError_.attribute());
  registry.addAttribute(&ioReady_.attribute());
}

}  // namespace qvvandrel
