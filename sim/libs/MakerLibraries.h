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

// Test controls of the PXI query library stand-in (kept loaded for the life of the process).
// Its table starts empty: no chassis, no modules.
class QPxiControl {
 public:
  static constexpr uint32_t kNoChassis = 0xFFFFFFFF;

  QPxiControl();
  // Forgets every module, open handle, injected failure and logged call.
  void reset() const;
  // A module at PCI bus/device/function in a chassis slot; `slotValue` is the slot item's
  // attribute 8197. Chassis kNoChassis: the library knows the module but places it nowhere.
  void addDevice(uint32_t bus, uint32_t device, uint32_t function, uint32_t chassis, uint32_t slot,
                 uint32_t slotValue = 0) const;
  void setTriggerBridges(uint32_t chassis, uint32_t count) const;
  // Every session open now reads validity 0 and refuses queries with -52010.
  void invalidateSessions() const;
  // The next call of that entry point ("qvqpxi_openDeviceByAddr") fails with `code`.
  void failNext(const std::string& entryPoint, int32_t code) const;
  // Entry points called, in call order.
  std::vector<std::string> calls() const;
  // Item handles handed out and not yet closed.
  int openHandles() const;

 private:
  void (*reset_)();
  void (*addDevice_)(uint32_t, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t);
  void (*setTriggerBridges_)(uint32_t, uint32_t);
  void (*invalidateSessions_)();
  void (*failNext_)(const char*, int32_t);
  int (*count_)();
  int (*callName_)(int, char*, int);
  int (*openHandles_)();
};

}  // namespace sim::libs
