#pragma once
// Announces a device reset (a download or an FPGA reset) to the route-configuration library
// for as long as the guard lives, so that routes through the device are not used meanwhile.

#include <cstdint>
#include <string>

#include "foundation/errors/Status.h"

namespace qvvandrelbrenmooru {

// The four entry points of the route-configuration library that a device reset uses, with the
// library's own argument types (its status object, its session pointer). The library's table
// implements it; this layer only calls it.
class DeviceResetRoutes {
 public:
  virtual void* createSession(qverr::Status* status) = 0;
  virtual void destroySession(void* session) = 0;
  virtual void initiateDeviceReset(void* session, const char* deviceName,
                                   qverr::Status* status) = 0;
  virtual void completeDeviceReset(void* session, const char* deviceName,
                                   qverr::Status* status) = 0;

 protected:
  ~DeviceResetRoutes() = default;
};

// Without a route library (null table) the guard does nothing. Errors of the library never
// reach the caller: a failed announcement only means no route session is held.
class DeviceResetGuard {
 public:
  DeviceResetGuard(DeviceResetRoutes* routes, const std::string* deviceName);
  ~DeviceResetGuard();
  DeviceResetGuard(const DeviceResetGuard&) = delete;
  DeviceResetGuard& operator=(const DeviceResetGuard&) = delete;

  // The route session held, null when none.
  void* session() const { return session_; }

 private:
  const char* name() const { return deviceName_ != nullptr ? deviceName_->c_str() : ""; }

  // Null when inactive: no library, or the announcement failed.
  DeviceResetRoutes* routes_;
  const std::string* deviceName_;
  void* session_ = nullptr;
};

}  // namespace qvvandrelbrenmooru
