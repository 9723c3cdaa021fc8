#include "clip/DeviceResetGuard.h"

namespace qvvandrelbrenmooru {

DeviceResetGuard::DeviceResetGuard(DeviceResetRoutes* routes, const std::string* deviceName)
    : routes_(routes), deviceName_(deviceName) {
  if (routes_ == nullptr) return;
  try {
    // One status serves both calls: a failed creation makes the announcement do nothing.
    qverr::Status status;
    void* session = routes_->createSession(&status);
    routes_->initiateDeviceReset(session, name(), &status);
    if (status.isError()) {
      routes_->destroySession(session);
      routes_ = nullptr;
      return;
    }
    // Whatever the library handed out, also a null session, is its to complete.
    session_ = session;
  } catch (...) {
    // The library's failures are not the caller's: the reset goes on without a route session.
    routes_ = nullptr;
  }
}

DeviceResetGuard::~DeviceResetGuard() {
  if (routes_ == nullptr) return;
  try {
    qverr::Status status;
    routes_->completeDeviceReset(session_, name(), &status);
    routes_->destroySession(session_);
  } catch (...) {
  }
}

}  // namespace qvvandrelbrenmooru
