#include "channels/lines/LineInterface.h"

#include "clip/InterfaceMethods.h"

namespace qvvandrel::config {

void postLineSetting(ClipConfiguration& clip, std::uint32_t opcode, std::uint32_t target,
                     std::uint32_t value) {
  clip.interface20.requireInterface20();
  ififo_rpc::postInstructionRaising(clip.interface20.fifo, opcode, {target, value});
}

void sendLineEqualization(ClipConfiguration& clip, LineGroup group, bool enable) {
  postLineSetting(clip, kLineEqualization, group, enable ? 1 : 0);
}

void sendLinePreEmphasis(ClipConfiguration& clip, LineGroup group, bool enable) {
  postLineSetting(clip, kLinePreEmphasis, group, enable ? 1 : 0);
}

}  // namespace qvvandrel::config
