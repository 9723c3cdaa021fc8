#include "discovery/Device.h"

#include <new>

#include "devkit/FpgaSession.h"
#include "foundation/errors/ErrorCodes.h"
#include "foundation/errors/Exception.h"
#include "qvkel/IFpgaSessionTraditional.h"

namespace qvkel {
namespace {

using nQVVUSKS100::tStatus;

constexpr const char* kSource = "Device";
constexpr qverr::StatusLocation kLegacyValue{kSource, 61, qverr::kComponent};
constexpr qverr::StatusLocation kNoLegacySession{kSource, 64, qverr::kComponent};
constexpr qverr::StatusLocation kNullAlias{kSource, 118, qverr::kComponent,
                                           qverr::constant::kInvalidParameter};
constexpr qverr::StatusLocation kSetAlias{kSource, 126, qverr::kComponent};
constexpr qverr::StatusLocation kAliasTaken{kSource, 131, qverr::kComponent,
                                            qverr::constant::kObjectNameCollision};
constexpr qverr::StatusLocation kSessionVersion{kSource, 152, qverr::kComponent};
constexpr qverr::StatusLocation kSessionMemory{kSource, 157, qverr::kComponent,
                                               qverr::constant::kMemoryFull};

// A legacy session of the module for one call, released through its own slot.
struct LegacySession {
  explicit LegacySession(IFpgaSessionTraditional* opened) : session(opened) {
    if (session == nullptr) qverr::raise(qverr::kInternalError, kNoLegacySession);
  }
  ~LegacySession() {
    if (session != nullptr) session->release();
  }
  LegacySession(const LegacySession&) = delete;
  LegacySession& operator=(const LegacySession&) = delete;
  IFpgaSessionTraditional* session;
};

}  // namespace

Device::Device(std::shared_ptr<const DeviceInfo> info, ISessionFactory* sessionFactory,
               IAliasManager* aliasManager, IDeviceResolver* resolver)
    : info_(std::move(info)),
      sessionFactory_(sessionFactory),
      aliasManager_(aliasManager),
      resolver_(resolver) {}

void Device::setLegacyValue(uint32_t value, tStatus* status) {
  tStatus local;
  tStatus& s = status != nullptr ? *status : local;
  if (s.isError()) return;
  qverr::runAtBoundary(&s, kLegacyValue, [&] {
    LegacySession legacy(sessionFactory_->createTraditionalSession(info_));
    legacy.session->setAttributeU32(kLegacyValueAttribute, value, &s);
    // Only a value the device took is remembered.
    if (!s.isError()) legacyValue_ = value;
  });
}

uint32_t Device::getLegacyValue() {
  if (legacyValue_ != kUnknownLegacyValue) return legacyValue_;
  tStatus status;
  uint32_t value = kUnknownLegacyValue;
  qverr::runAtBoundary(&status, kLegacyValue, [&] {
    LegacySession legacy(sessionFactory_->createTraditionalSession(info_));
    value = legacy.session->getAttributeU32(kLegacyValueAttribute, &status);
  });
  legacyValue_ = status.isError() ? kUnknownLegacyValue : value;
  return legacyValue_;
}

const char* Device::getAlias() {
  if (aliasManager_ == nullptr) return nullptr;
  try {
    alias_ = aliasManager_->getAlias(*info_);
  } catch (const qverr::Exception& e) {
    if (e.code() == qverr::kOperationNotSupported) return nullptr;
  } catch (...) {
  }
  return alias_.c_str();
}

void Device::setAlias(const char* name, uint32_t mode, IDevice** holder, tStatus* status) {
  if (holder != nullptr) *holder = nullptr;
  tStatus local;
  tStatus& s = status != nullptr ? *status : local;
  if (name == nullptr) {
    qverr::recordCode(s, qverr::kInvalidParameter, kNullAlias);
    return;
  }
  if (s.isError()) return;
  qverr::runAtBoundary(&s, kSetAlias, [&] {
    if (aliasManager_ == nullptr) qverr::raise(qverr::kOperationNotSupported, kSetAlias);
    std::string conflicting;
    aliasManager_->setAlias(*info_, name, mode, conflicting);
    if (conflicting.empty()) return;
    if (holder != nullptr && resolver_ != nullptr)
      *holder = resolver_->findDevice(conflicting.c_str());
    if (mode != IAliasManager::kTakeOver)
      qverr::recordCode(s, qverr::kObjectNameCollision, kAliasTaken);
  });
  if (!s.isError()) alias_ = name;
}

IFpgaSession* Device::createFpgaSession(uint32_t version, tStatus* status) {
  tStatus local;
  tStatus& s = status != nullptr ? *status : local;
  if (s.isError()) return nullptr;
  if (version > kNewestSessionVersion) {
    qverr::recordCode(s, qverr::kOperationNotSupported, kSessionVersion);
    return nullptr;
  }
  auto* session = new (std::nothrow) FpgaSession(info_, sessionFactory_);
  if (session == nullptr) qverr::recordCode(s, qverr::kMemoryFull, kSessionMemory);
  return session;
}

}  // namespace qvkel
