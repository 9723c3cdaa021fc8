#include "model/ClipCapabilityRange.h"

#include "attributes/Elaboration.h"

namespace qvvandrel {

void nameAttributeInError(qverr::ExceptionBase& error, std::uint32_t id, const std::string& label,
                          const char* channelName, const char* channelTag) {
  namespace elaboration = atat::elaboration;
  elaboration::appendNamedAttributeIdAndChannel(
      elaboration::openTranslatorElaboration(error.status(), atat::kTranslatorName), id,
      label.empty() ? std::string(channelName ? channelName : "") : label, channelTag);
}

}  // namespace qvvandrel
