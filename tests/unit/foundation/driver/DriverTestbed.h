#pragma once
// Two simulated module instances; the second also serves the routing interface.

#include <gtest/gtest.h>

#include "sim/device/Module.h"
#include "sim/kernel/Testbed.h"

namespace drivertest {

inline constexpr const char* kDeviceInterface = "qvvandrelbrenmoork_vandrelbrenmoor";
inline constexpr const char* kRoutingInterface = "routing_routing";

class DriverTestbed : public ::testing::Test {
 protected:
  DriverTestbed() {
    first.deviceInterface();
    second.deviceInterface();
    second.routingInterface();
  }

  sim::Testbed testbed;
  sim::Module first{testbed, "qvdev0"};
  sim::Module second{testbed, "qvdev1"};
};

}  // namespace drivertest
