#include "sim/device/ClipAnalogOutput.h"

namespace sim {

ClipAnswer setInverseSincFilter(ClipController& c, const ClipInstruction& i) {
  c.state<ClipAnalogOutput>().filter[i.arg(0)] = i.arg(1);
  return {0, 0};
}

ClipAnswer setOutputRange(ClipController& c, const ClipInstruction& i) {
  c.state<ClipAnalogOutput>().range[i.arg(0)] = i.arg(1);
  return {0, 0};
}

ClipAnswer getOutputStatus(ClipController& c, const ClipInstruction& i) {
  const std::map<uint32_t, uint32_t>& status = c.state<ClipAnalogOutput>().status;
  const auto found = status.find(i.arg(0));
  return {found == status.end() ? 0u : found->second, 0};
}

}  // namespace sim
