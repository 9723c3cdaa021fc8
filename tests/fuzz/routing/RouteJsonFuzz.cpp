// Feeds the engine's three route texts to calculateRoute on a session of a simulated module.
// Input: seeds, destinations and modifiers separated by NUL bytes (missing texts are empty).
// Whatever comes in, the call must end with a status; on success the routes are valid JSON
// naming only tickets the kernel issued, and every error detail is valid JSON.

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "foundation/errors/Json.h"
#include "foundation/errors/Status.h"
#include "qvkel/RoutingAdaptor.h"
#include "sim/device/Module.h"
#include "sim/device/RoutingModel.h"
#include "sim/kernel/Testbed.h"

namespace {

void check(bool condition) {
  if (!condition) __builtin_trap();
}

void* allocate(void* previous, size_t size) {
  return std::realloc(previous, size);
}

struct Bed {
  sim::Testbed testbed;
  sim::Module module{testbed, "F0"};
  sim::RoutingModel model{module};
  qvvandrelbrenmoorra::ZUZSession* session = nullptr;

  Bed() {
    model.routing().setLogging(false);
    model.setAliasStream(sim::RoutingModel::aliasStream({{"Gpio3", "Start"}}));
    qverr::Status status;
    session = qvroco_ra_qvvandrelbrenmooru_createSession(
        module.routingInterface().nodePath().c_str(), &allocate, &status);
    check(session != nullptr);
  }
  ~Bed() { qvroco_ra_qvvandrelbrenmooru_destroySession(session); }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Bed bed;
  std::string texts[3];
  size_t part = 0;
  for (size_t i = 0; i < size; ++i) {
    if (data[i] == 0 && part < 2) {
      ++part;
    } else {
      texts[part].push_back(static_cast<char>(data[i]));
    }
  }
  qverr::Status status;
  char* routes = nullptr;
  qvroco_ra_qvvandrelbrenmooru_calculateRoute(bed.session, texts[0].c_str(), texts[1].c_str(),
                                              texts[2].c_str(), &routes, &status);
  if (status.code == 0) {
    check(routes != nullptr && qverr::json::validateDocument(routes, nullptr));
    check(std::strstr(routes, "\"ticket\":0,") == nullptr);
  } else {
    check(status.code < 0);
    check(status.detail == nullptr || qverr::json::validateDocument(status.detail, nullptr));
  }
  std::free(routes);
  bed.model.clearRoutes();
  return 0;
}
