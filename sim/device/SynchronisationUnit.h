#pragma once

#include <memory>
#include <mutex>

#include "sim/device/Interface.h"

namespace sim {

// The synchronisation unit of the module's device interface (command type 0x05). Method 13
// (0x0020050D) answers a flag, true until a test clears it: whether the unit is locked, which
// is also how the session asks whether the module kept its settings.
class SynchronisationUnit {
 public:
  explicit SynchronisationUnit(Interface& iface);
  SynchronisationUnit(const SynchronisationUnit&) = delete;
  SynchronisationUnit& operator=(const SynchronisationUnit&) = delete;

  void setLocked(bool locked);

 private:
  struct State {
    std::mutex mutex;
    bool locked = true;
  };
  std::shared_ptr<State> state_ = std::make_shared<State>();
};

}  // namespace sim
