#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Where the stand-ins of the maker's run-time libraries were built, and test-side access to
// their controls. A testbed points the product's dlopen of a maker name at one of these files.
namespace sim::libs {

enum class Variant {
  Present,        // the full stand-in
  MissingSymbol,  // a library of the same name lacking the product's entry point
  // The route-configuration library lacking two entry points: reserveRoute and
  // completeDeviceReset.
  MissingTwoSymbols,
};

// Absolute path of the stand-in for a maker library file name ("libqvrelocations.so.0"), or
// null when no stand-in of that name and variant exists.
const char* standInPath(const std::string& libraryName, Variant variant);

// Test controls of the relocation stand-in. The library is kept loaded for the life of the
// process, so the table outlives the product's dlclose.
class RelocationsControl {
 public:
  RelocationsControl();
  // result >= 1: relocated to path; 0: not relocated; < 0: error.
  void set(const std::string& name, int result, const std::string& path = "") const;
  void reset() const;
  // Names get_relocated_dir was called with, in call order.
  std::vector<std::string> calls() const;

 private:
  void (*set_)(const char*, int, const char*);
  void (*reset_)();
  int (*count_)();
  int (*callName_)(int, char*, int);
};

// What the stand-ins with a call log and injectable failures share: the stand-in at `path` is
// kept loaded for the life of the process, and its "<prefix>_reset", "<prefix>_failNext",
// "<prefix>_callCount" and "<prefix>_callName" controls are resolved.
class StandInControl {
 public:
  // Forgets the stand-in's state, injected failures and logged calls.
  void reset() const;
  // The next call of that entry point fails with `code`.
  void failNext(const std::string& entryPoint, int32_t code) const;
  // Logged calls, in call order.
  std::vector<std::string> calls() const;

 protected:
  StandInControl(const char* path, const std::string& prefix);
  // A further control of the stand-in.
  template <typename F>
  F control(const std::string& name) const {
    return reinterpret_cast<F>(symbol(name));
  }

 private:
  void* symbol(const std::string& name) const;

  void* handle_;
  std::string prefix_;
  void (*reset_)();
  void (*failNext_)(const char*, int32_t);
  int (*count_)();
  int (*callName_)(int, char*, int);
};

// Test controls of the PXI query library stand-in. Its table starts empty: no chassis, no
// modules; reset also forgets open handles. Failures are injected by entry-point name
// ("qvqpxi_openDeviceByAddr"); the log holds entry-point names.
class QPxiControl : public StandInControl {
 public:
  static constexpr uint32_t kNoChassis = 0xFFFFFFFF;

  QPxiControl();
  // A module at PCI bus/device/function in a chassis slot; `slotValue` is the slot item's
  // attribute 8197. Chassis kNoChassis: the library knows the module but places it nowhere.
  void addDevice(uint32_t bus, uint32_t device, uint32_t function, uint32_t chassis, uint32_t slot,
                 uint32_t slotValue = 0) const;
  void setTriggerBridges(uint32_t chassis, uint32_t count) const;
  // Every session open now reads validity 0 and refuses queries with -52010.
  void invalidateSessions() const;
  // Item handles handed out and not yet closed.
  int openHandles() const;

 private:
  void (*addDevice_)(uint32_t, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t);
  void (*setTriggerBridges_)(uint32_t, uint32_t);
  void (*invalidateSessions_)();
  int (*openHandles_)();
};

// Test controls of the route-configuration library stand-in; reset also forgets its sessions,
// routes and terminal lists. Failures are injected by entry-point name
// ("qvrocoapi_initiateDeviceReset"). The log holds every call as "<entry point> <session>
// <arguments>[ -> <result>]" (a null session as 0), for example "qvrocoapi_createSession ->
// <session>", "qvrocoapi_initiateDeviceReset <session> <device>", "qvrocoapi_calculateRoute
// <session> /Dev1/Mosk /Dev1/PFI0 -> <handle>", "qvrocoapi_resetTerminal <session> /Dev1/PFI0
// default", "qvrocoapi_destroySession <session>".
class RoCoControl : public StandInControl {
 public:
  // The library's own failure codes.
  static constexpr int32_t kInvalidArgument = -52005;  // unknown session, refused device reset
  static constexpr int32_t kUnknownTerminal = -89120;
  static constexpr int32_t kUnknownRoute = -89121;
  static constexpr int32_t kWrongState = -89122;  // a route step out of order
  static constexpr int32_t kReserved = -89137;    // the destination is held by another route
  // After reset, library sessions count up from here and route handles from 1.
  static constexpr uintptr_t kFirstSession = 0x5E55100;

  RoCoControl();
  // Library sessions created and not destroyed.
  int openSessions() const;
  // The `nth` call from now (1: the next) of that entry point fails with a negative code and
  // does nothing, or succeeds with a positive one as its warning.
  void failAt(const std::string& entryPoint, int nth, int32_t code) const;
  // The terminals of a device, comma-separated ("PFI0,PXI_Trig0"): calculateRoute accepts
  // "/<device>/<terminal>" for these only.
  void setTerminals(const std::string& device, const std::string& terminals) const;
  // Routes not destroyed, "<source> <destination> <state>" in handle order (state 1
  // calculated, 2 reserved, 3 programmed).
  std::vector<std::string> routes() const;
  // The call log is on after a reset; a long run turns it off so that it does not grow.
  void setLogging(bool enabled) const;

 private:
  int (*openSessions_)();
  void (*failAt_)(const char*, int, int32_t);
  void (*setTerminals_)(const char*, const char*);
  int (*routeCount_)();
  int (*route_)(int, char*, int);
  void (*setLogging_)(int);
};

// Test controls of the peer-to-peer library stand-in. Failures are injected by entry-point name
// ("qvstreamuRegisterEndpointInternal"); the log holds "register <id>" (or "register failed
// <code>") and "unregister <id>".
class P2PControl : public StandInControl {
 public:
  P2PControl();
  // Endpoints registered and not unregistered.
  int registered() const;
  // The endpoint's query and describe, called by the library from a thread of its own; an
  // identifier the library does not know gives -52006.
  int32_t query(uint32_t id, uint32_t* value) const;
  int32_t describe(uint32_t id, uint32_t* record, uint32_t* version) const;

 private:
  int (*registered_)();
  int32_t (*query_)(uint32_t, uint32_t*);
  int32_t (*describe_)(uint32_t, uint32_t*, uint32_t*);
};

}  // namespace sim::libs
