#include "session/PersonalityConfigurerBrenmoor.h"

#include <limits>
#include <utility>

#include "clip/DeviceResetGuard.h"
#include "devkit/PersonalityData.h"
#include "foundation/errors/ErrorCodes.h"
#include "foundation/errors/Exception.h"
#include "foundation/platform/pause.h"

namespace qvvandrelbrenmooru {

namespace {

constexpr const char* kFile = "qvvandrelbrenmooru/source/PersonalityConfigurerBrenmoor";
constexpr qverr::StatusLocation kNeverReady{kFile, 118, qverr::kComponent,
                                            qverr::constant::kOperationTimedOut};
constexpr qverr::StatusLocation kTooLarge{kFile, 171, qverr::kComponent,
                                          qverr::constant::kInvalidParameter};

uint64_t address(const void* bytes) {
  return reinterpret_cast<uint64_t>(bytes);
}

// The driver's records count bytes in 32 bits.
uint32_t driverLength(uint64_t size) {
  if (size > std::numeric_limits<uint32_t>::max())
    qverr::raise(qverr::kInvalidParameter, kTooLarge);
  return static_cast<uint32_t>(size);
}

}  // namespace

PersonalityConfigurerBrenmoor::PersonalityConfigurerBrenmoor(
    qvrocoapi::RocoCpp* routes, std::string driverName,
    std::shared_ptr<nQVVANDRELBRENMOORU_22_8::iInterfaceProxy_vandrelbrenmoor> proxy,
    const qvkel::Bitfile& bitfile, uint32_t openFlags, std::optional<uint32_t> flashImage,
    const qvkel::ISerializable* terminalAliases)
    : routes_(routes),
      driverName_(std::move(driverName)),
      proxy_(std::move(proxy)),
      bitfile_(bitfile),
      openFlags_(openFlags),
      flashImage_(flashImage),
      terminalAliases_(terminalAliases) {}

void PersonalityConfigurerBrenmoor::configure(bool* downloaded) {
  const qvkel::PersonalityData personality(bitfile_, openFlags_);
  qvhtl::ByteVector aliases;
  if (terminalAliases_ != nullptr) {
    qverr::ThrowingStatus status;
    terminalAliases_->serialize(aliases, status);
  }
  const uint32_t aliasesSize = driverLength(aliases.size());

  const bool ready =
      nQVVANDRELBRENMOORU_22_8::nQVVUSK000::pollWithPause(kReadyPolls, kReadyPauseMs, [this] {
        qverr::ThrowingStatusRecord status;
        return proxy_->command0901(&status);
      });
  if (!ready) qverr::raise(qverr::kTimeout, kNeverReady);

  // From here on the driver waits for the end of the configuration, whatever happens.
  try {
    // The driver's two personality-state flags; both set ask for the full way.
    bool state[2] = {false, false};
    uint32_t storedAliases;
    {
      qverr::ThrowingStatusRecord status;
      proxy_->command0900(address(personality.getCommonData()),
                          driverLength(personality.getCommonDataSize()), &state[0], &state[1],
                          &status);
    }
    {
      qverr::ThrowingStatusRecord status;
      storedAliases = proxy_->command0800(0, 0, &status);
    }
    if ((storedAliases == 0 && aliasesSize != 0) || (state[0] && state[1])) {
      const DeviceResetGuard reset(routes_, &driverName_);
      download(personality, downloaded);
      qverr::ThrowingStatusRecord status;
      proxy_->command0801(aliasesSize == 0 ? 0 : address(aliases.data()), aliasesSize, &status);
    } else {
      download(personality, downloaded);
    }
  } catch (...) {
    endConfiguration();
    throw;
  }
  endConfiguration();
}

void PersonalityConfigurerBrenmoor::download(const qvkel::PersonalityData& personality,
                                             bool* downloaded) {
  const uint64_t common = address(personality.getCommonData());
  const uint32_t commonSize = driverLength(personality.getCommonDataSize());
  const uint64_t fifos = address(personality.getFifoData());
  const uint32_t fifosSize = driverLength(personality.getFifoDataSize());
  if (flashImage_) {
    qverr::ThrowingStatusRecord status;
    proxy_->command0907(common, commonSize, fifos, fifosSize, *flashImage_, downloaded, &status);
    return;
  }
  const uint32_t bitstreamSize = driverLength(personality.getBitstreamSize());
  qverr::ThrowingStatusRecord status;
  proxy_->command830A(common, commonSize, fifos, fifosSize, address(personality.getBitstream()),
                      bitstreamSize, downloaded, &status);
}

void PersonalityConfigurerBrenmoor::endConfiguration() noexcept {
  try {
    nQVVUSKS100::tStatus status;
    proxy_->command0902(&status);
  } catch (...) {
    // Its failure neither fails a configuration nor replaces the failure already leaving.
  }
}

}  // namespace qvvandrelbrenmooru
