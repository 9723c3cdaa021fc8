#pragma once
// The plug-in's session factory: what a device asks for when the host opens a session on it.
// Sessions of this generation are not built yet: every request answers -63193 (not supported),
// raised with this file's location, so an FPGA session's open and a device's legacy-register
// access report it to the host.

#include "devkit/SessionServices.h"
#include "discovery/DeviceManager.h"
#include "discovery/IAliasManager.h"
#include "discovery/QPxiLibrary.h"
#include "session/RocoCpp.h"

namespace qvvandrelbrenmooru {

class SessionFactoryBrenmoor : public qvkel::ISessionFactory {
 public:
  // All four are borrowed from the plug-in; `routes` is null without the route library.
  SessionFactoryBrenmoor(qvkel::IDeviceManager<qvkel::VandrelProxy>& devices,
                         const qvkel::QPxiLibrary& pxi, qvrocoapi::RocoCpp* routes,
                         qvkel::IAliasManager& aliases)
      : devices_(devices), pxi_(pxi), routes_(routes), aliases_(aliases) {}

  std::unique_ptr<qvkel::user::Session> createSession(
      std::shared_ptr<const qvkel::DeviceInfo> device, const char* bitfile,
      const char* resourceName, uint32_t openAttributes) override;
  qvkel::IFpgaSessionTraditional* createTraditionalSession(
      std::shared_ptr<const qvkel::DeviceInfo> device) override;

 private:
  // What the sessions of this generation are built from.
  [[maybe_unused]] qvkel::IDeviceManager<qvkel::VandrelProxy>& devices_;
  [[maybe_unused]] const qvkel::QPxiLibrary& pxi_;
  [[maybe_unused]] qvrocoapi::RocoCpp* routes_;
  [[maybe_unused]] qvkel::IAliasManager& aliases_;
};

}  // namespace qvvandrelbrenmooru
