#pragma once
// The session's way to the CLIP for instructions outside any feature (the CLIP deploy root's
// instruction 0x101): whether a CLIP is present at all, and the FIFO to reach it.

#include <cstdint>

#include "clip/Instruction.h"

namespace qvvandrel {

struct ClipAccess {
  uint8_t present = 0;
  ififo_rpc::FifoRef fifo;  // FIFO number 1
};

}  // namespace qvvandrel
