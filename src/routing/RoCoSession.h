#pragma once
// A device session's client of the route-configuration library. It loads its own reference to
// the library, creates its library sessions when an operation first needs one (one for routes,
// one for device-reset notices), calls one entry point per operation and turns the library's
// status into the system's exception.

#include <cstdint>
#include <string>
#include <vector>

#include "foundation/errors/Status.h"
#include "foundation/platform/synchronization.h"
#include "session/RocoCpp.h"

namespace rocout {

using u64 = std::uint64_t;
using u32 = std::uint32_t;

class RoCoSessionInterface {
 public:
  virtual ~RoCoSessionInterface() = default;
  virtual u32 calculateRoute(const char* source, const char* destination, void* attributes) = 0;
  virtual void reserveRoute(u32 route) = 0;
  virtual void programRoute(u32 route) = 0;
  virtual void unprogramRoute(u32 route) = 0;
  virtual void unreserveRoute(u32 route) = 0;
  virtual void destroyRoute(u32 route) = 0;
  virtual void resetTerminal(const char* terminal, const char* mode) = 0;
  virtual u32 calculateResetTerminal(u64 a, u64 b) = 0;
  virtual void destroyImmediateRoute(u64 a, u64 b) = 0;
  virtual void initiateDeviceReset(u64 deviceName) = 0;
  virtual void completeDeviceReset(u64 deviceName) = 0;
  virtual void* getTerminalNamesAndAttributesForDevice(u64 device,
                                                       const std::vector<std::string>& names) = 0;
  virtual u64 TerminalContainer_begin(u64 a) = 0;
  virtual u64 TerminalIterator_next(u64 a) = 0;
  virtual u64 TerminalIterator_isEnd(u64 a, u64 b) = 0;
  virtual u64 TerminalContainer_destroy(u64 a) = 0;
  virtual void* TerminalIterator_getStringAttribute(u64 a, u64 b, u64 c) = 0;
  virtual u32 TerminalIterator_getBoolAttribute(u64 a, u64 b, u64 c) = 0;
  virtual u32 validateTerminalURI(u64 a) = 0;
  virtual u32 areTerminalURIsEqual(u64 a, u64 b) = 0;

 protected:
  RoCoSessionInterface() = default;
  RoCoSessionInterface(const RoCoSessionInterface&) = default;
  RoCoSessionInterface& operator=(const RoCoSessionInterface&) = default;
};

// Construction never fails for the library's sake: a library that did not load, or lacks an
// entry point, is reported by the first operation that needs a library session (its detail
// once, later the code alone). A library error of an operation is raised with the library's
// code and detail, unless another exception is already propagating (then it is dropped);
// warnings are dropped.
//
// Route requests of the host and commits may reach one client from two threads at once: the
// lazy creation of a library session and the raise of the load status are serialised; the
// library calls themselves are not.
class RoCoSession : public RoCoSessionInterface {
 public:
  RoCoSession();
  ~RoCoSession() override;
  RoCoSession(const RoCoSession&) = delete;
  RoCoSession& operator=(const RoCoSession&) = delete;

  u32 calculateRoute(const char* source, const char* destination, void* attributes) override;
  void reserveRoute(u32 route) override;
  void programRoute(u32 route) override;
  void unprogramRoute(u32 route) override;
  void unreserveRoute(u32 route) override;
  void destroyRoute(u32 route) override;
  void resetTerminal(const char* terminal, const char* mode) override;
  u32 calculateResetTerminal(u64 a, u64 b) override;
  void destroyImmediateRoute(u64 a, u64 b) override;
  // The device name text, passed as the plug-in's device-reset notices pass it.
  void initiateDeviceReset(u64 deviceName) override;
  void completeDeviceReset(u64 deviceName) override;
  // The names go to the library as an array of texts ended by a null entry.
  void* getTerminalNamesAndAttributesForDevice(u64 device,
                                               const std::vector<std::string>& names) override;
  // Forwarded as they are: their arguments come from an earlier successful call.
  u64 TerminalContainer_begin(u64 a) override;
  u64 TerminalIterator_next(u64 a) override;
  u64 TerminalIterator_isEnd(u64 a, u64 b) override;
  u64 TerminalContainer_destroy(u64 a) override;
  void* TerminalIterator_getStringAttribute(u64 a, u64 b, u64 c) override;
  u32 TerminalIterator_getBoolAttribute(u64 a, u64 b, u64 c) override;
  u32 validateTerminalURI(u64 a) override;
  u32 areTerminalURIsEqual(u64 a, u64 b) override;

  // The library's outcome of loading, for callers that want to know before an operation.
  const qverr::Status& loadStatus() const { return loadStatus_; }

 private:
  // Runs `call(session, status)` on the library session in `field` (null: none needed) under a
  // local status and raises the library's error.
  template <typename Call>
  auto guarded(void** field, Call&& call);
  // The library session in `field`, created at first use.
  void* librarySession(void*& field);

  void* routeSession_ = nullptr;
  void* resetSession_ = nullptr;
  qverr::Status loadStatus_;
  qvrocoapi::dynlib::RoCoLibHolder holder_;
  qvrocoapi::dynlib::RoCoLib* library_;
  nQVVANDRELBRENMOORU_22_8::nQVVUSK000::tMutex creationMutex_;
};

}  // namespace rocout
