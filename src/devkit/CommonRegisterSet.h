#pragma once
// Absolute addresses of the registers the kernel driver touches itself.

#include <cstdint>

#include "devkit/ISerializable.h"

namespace qvkel {

class Bitfile;

class CommonRegisterSet : public ISerializable {
 public:
  CommonRegisterSet(uint32_t wexControl, uint32_t diagramReset, uint32_t interruptEnable,
                    uint32_t wexSignature, uint32_t dramBase)
      : wexControl_(wexControl),
        diagramReset_(diagramReset),
        interruptEnable_(interruptEnable),
        wexSignature_(wexSignature),
        dramBase_(dramBase) {}
  // Base address plus each offset of the bitfile, in 32-bit arithmetic.
  explicit CommonRegisterSet(const Bitfile& bitfile);
  ~CommonRegisterSet() override = default;

  // 20 bytes: WexControl, DiagramReset, InterruptEnable, WexSignature, DRAM base.
  void serialize(qvhtl::ByteVector& buffer, qverr::Status& status) const override;

  uint32_t getWexControl() const { return wexControl_; }
  uint32_t getDiagramReset() const { return diagramReset_; }
  uint32_t getInterruptEnable() const { return interruptEnable_; }
  uint32_t getWexSignature() const { return wexSignature_; }
  uint32_t getDramBase() const { return dramBase_; }

 private:
  uint32_t wexControl_;
  uint32_t diagramReset_;
  uint32_t interruptEnable_;
  uint32_t wexSignature_;
  uint32_t dramBase_;
};

}  // namespace qvkel
