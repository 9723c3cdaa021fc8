#include "session/SessionFactoryBrenmoor.h"

#include "foundation/errors/ErrorCodes.h"
#include "foundation/errors/Exception.h"

namespace qvvandrelbrenmooru {

namespace {

constexpr qverr::StatusLocation kNoSession{"SessionFactoryBrenmoor", 31, qverr::kComponent};
constexpr qverr::StatusLocation kNoTraditionalSession{"SessionFactoryBrenmoor", 37,
                                                      qverr::kComponent};

}  // namespace

std::unique_ptr<qvkel::user::Session> SessionFactoryBrenmoor::createSession(
    std::shared_ptr<const qvkel::DeviceInfo>, const char*, const char*, uint32_t) {
  qverr::raise(qverr::kOperationNotSupported, kNoSession);
}

qvkel::IFpgaSessionTraditional* SessionFactoryBrenmoor::createTraditionalSession(
    std::shared_ptr<const qvkel::DeviceInfo>) {
  qverr::raise(qverr::kOperationNotSupported, kNoTraditionalSession);
}

}  // namespace qvvandrelbrenmooru
