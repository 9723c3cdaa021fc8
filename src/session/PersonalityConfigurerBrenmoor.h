#pragma once
// Hands a session's personality to the kernel driver when the session opens: the bitfile's
// common data and DMA FIFO table with its bitstream (or the flash image it came from), and the
// bitfile's terminal aliases. A personality whose aliases the driver does not hold yet, or that
// the driver asks to renew, goes the full way: the route library hears of a device reset around
// the download and the new alias blob.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "devkit/Bitfile.h"
#include "devkit/ISerializable.h"
#include "devkit/PersonalityData.h"
#include "devkit/SessionServices.h"
#include "foundation/driver/tInterfaceProxy_vandrelbrenmoor.h"
#include "session/RocoCpp.h"

namespace qvvandrelbrenmooru {

class PersonalityConfigurerBrenmoor : public qvkel::IPersonalityConfigurer {
 public:
  // Polls of the driver's readiness, 10 ms apart, before giving up with -52007.
  static constexpr uint32_t kReadyPolls = 1002;
  static constexpr uint32_t kReadyPauseMs = 10;

  // `routes` is null without the route library. The bitfile and the terminal aliases (the
  // session's map, which serialises to the driver's alias blob; null: no aliases) are borrowed
  // and must outlive the configurer. `flashImage` is the image the bitfile came from, if any.
  PersonalityConfigurerBrenmoor(
      qvrocoapi::RocoCpp* routes, std::string driverName,
      std::shared_ptr<nQVVANDRELBRENMOORU_22_8::iInterfaceProxy_vandrelbrenmoor> proxy,
      const qvkel::Bitfile& bitfile, uint32_t openFlags, std::optional<uint32_t> flashImage,
      const qvkel::ISerializable* terminalAliases);

  // `downloaded` goes to the driver's configure method unchanged, which sets it when the FPGA
  // was downloaded. Failures are raised.
  void configure(bool* downloaded) override;

 private:
  void download(const qvkel::PersonalityData& personality, bool* downloaded);
  // Tells the driver the configuration ended; its failure is nobody's.
  void endConfiguration() noexcept;

  qvrocoapi::RocoCpp* routes_;
  std::string driverName_;
  std::shared_ptr<nQVVANDRELBRENMOORU_22_8::iInterfaceProxy_vandrelbrenmoor> proxy_;
  const qvkel::Bitfile& bitfile_;
  uint32_t openFlags_;
  std::optional<uint32_t> flashImage_;
  const qvkel::ISerializable* terminalAliases_;
};

}  // namespace qvvandrelbrenmooru
