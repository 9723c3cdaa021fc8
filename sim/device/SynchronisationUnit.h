#pragma once

#include <memory>
#include <mutex>
#include <vector>

#include "sim/device/Interface.h"

namespace sim {

// The synchronisation unit of the module's device interface (command type 0x05), one method
// handler each. Method 12 (0x0020050C) sets the baseboard's reference mode (0 own, 1 own and
// exported onto DRAL7, 4 taken from DRAL7), which it records. Method 13 (0x0020050D) answers a
// flag, true until a test clears it: whether the unit (the baseboard PLL) is locked, which is
// also how the session asks whether the module kept its settings.
class SynchronisationUnit {
 public:
  explicit SynchronisationUnit(Interface& iface);
  SynchronisationUnit(const SynchronisationUnit&) = delete;
  SynchronisationUnit& operator=(const SynchronisationUnit&) = delete;

  void setLocked(bool locked);
  // The modes method 12 received, in order.
  std::vector<uint32_t> baseboardModes() const;

 private:
  struct State {
    std::mutex mutex;
    bool locked = true;
    std::vector<uint32_t> baseboardModes;
  };
  std::shared_ptr<State> state_ = std::make_shared<State>();
};

}  // namespace sim
