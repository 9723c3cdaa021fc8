#pragma once
// The module's flash memory as the legacy register-protocol session reaches it: each operation
// is one call of the driver's flash methods, a driver error raised as qverr::Exception.

#include <cstdint>
#include <memory>
#include <vector>

#include "foundation/driver/tInterfaceProxy_vandrelbrenmoor.h"

namespace qvkel {

class IFlashManager {
 public:
  virtual ~IFlashManager() = default;
  // The driver's outcome: 0, or a warning the driver reported.
  virtual uint64_t writeFlash(const std::vector<uint8_t>& data) = 0;
  virtual uint64_t setFlashValue(uint64_t value) = 0;
  // Not supported by the driver: -63193.
  virtual uint32_t getFlashValue() = 0;
  // 0: the module has no flash the legacy host may use.
  virtual uint32_t getFlashSupport() = 0;
  virtual uint64_t runFlashCommand() = 0;
};

class FlashManager : public IFlashManager {
 public:
  using FlashInterface = nQVVANDRELBRENMOORU_22_8::iInterfaceProxy_atomickelddk_flash;
  static constexpr uint32_t kFlashSupport = 7;

  explicit FlashManager(std::shared_ptr<FlashInterface> flash) : flash_(std::move(flash)) {}
  ~FlashManager() override = default;
  FlashManager(const FlashManager&) = delete;
  FlashManager& operator=(const FlashManager&) = delete;

  uint64_t writeFlash(const std::vector<uint8_t>& data) override;
  // The driver takes the value's low 32 bits.
  uint64_t setFlashValue(uint64_t value) override;
  uint32_t getFlashValue() override;
  uint32_t getFlashSupport() override { return kFlashSupport; }
  uint64_t runFlashCommand() override;

 private:
  std::shared_ptr<FlashInterface> flash_;
};

}  // namespace qvkel
