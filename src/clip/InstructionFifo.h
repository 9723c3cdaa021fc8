#pragma once
// The device's instruction FIFO: one driver call carries one instruction and brings back its
// reply. It holds no lock and no state between instructions; sequences are serialised by the
// session's mutexes.

#include <cstdint>

#include "clip/Instruction.h"
#include "foundation/driver/tInterfaceProxy_vandrelbrenmoor.h"

namespace qvvandrelbrenmooru {

class InstructionFifo : public ififo_rpc::InstructionFifoInterface {
 public:
  // Copies refer to the same proxy, which must outlive them.
  explicit InstructionFifo(nQVVANDRELBRENMOORU_22_8::iInterfaceProxy_vandrelififo& proxy)
      : proxy_(&proxy) {}
  InstructionFifo(const InstructionFifo&) = default;
  InstructionFifo& operator=(const InstructionFifo&) = default;

  uint32_t call(uint32_t fifoNumber, const ififo_rpc::Instruction& instruction,
                nQVVUSKS100::tStatus* status) override;
  void post(uint32_t fifoNumber, const ififo_rpc::Instruction& instruction,
            nQVVUSKS100::tStatus* status) override;

 private:
  uint32_t send(uint32_t fifoNumber, uint32_t flags, const ififo_rpc::Instruction& instruction,
                nQVVUSKS100::tStatus* status);

  nQVVANDRELBRENMOORU_22_8::iInterfaceProxy_vandrelififo* proxy_;
};

}  // namespace qvvandrelbrenmooru
