#include "session/SessionCommit.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "foundation/errors/ErrorCodes.h"
#include "foundation/errors/Exception.h"
#include "foundation/errors/RequestHeader.h"
#include "model/RequestRecord.h"
#include "session/ModuleChangeCheck.h"

namespace qvvandrelbrenmooru {
namespace {

using nQVVANDRELBRENMOORU_22_8::nQVVUSK000::tMutexLock;

constexpr const char* kSource = "./source/SessionBrenmoorDebug";
constexpr qverr::StatusLocation kShortRecord{kSource, 31, qverr::kComponent,
                                             qverr::constant::kInvalidParameter};
constexpr qverr::StatusLocation kUnknownMethod{kSource, 38, qverr::kComponent,
                                               qverr::constant::kInvalidParameter};
constexpr qverr::StatusLocation kNoOutput{kSource, 57, qverr::kComponent,
                                          qverr::constant::kInvalidParameter};

constexpr std::uint64_t kDebugRecordSize = sizeof(qvkel::RequestHeader) + sizeof(std::uint32_t);

}  // namespace

void commitSession(const CommitTarget& target) {
  tMutexLock lock(target.sessionMutex);
  target.kommissar.compile();
  checkModuleChange(target.indicators, target.feature7Flag, target.sync, target.kommissar);
  target.kommissar.deploy();
}

void handleDebugRequest(const CommitTarget& target, const void* record, std::uint64_t recordSize,
                        void* output, std::uint64_t outputSize) {
  tMutexLock lock(target.sessionMutex);
  if (record == nullptr || recordSize < kDebugRecordSize)
    qverr::raise(qverr::kInvalidParameter, kShortRecord);
  qvkel::RequestHeader header;
  std::uint32_t method;
  std::memcpy(&header, record, sizeof header);
  std::memcpy(&method, static_cast<const unsigned char*>(record) + sizeof header, sizeof method);
  if (method < kDebugCheckRecord || method > kDebugGraph)
    qverr::raise(qverr::kInvalidParameter, kUnknownMethod);
  if (method == kDebugGraph && outputSize != 0 && output == nullptr)
    qverr::raise(qverr::kInvalidParameter, kNoOutput);
  qvvandrel::checkRequestHeader(header);

  if (method == kDebugCommit) {
    commitSession(target);
  } else if (method == kDebugGraph) {
    const std::string& graph = target.kommissar.graph();
    if (outputSize == 0) return;
    auto* out = static_cast<char*>(output);
    const std::uint64_t room = outputSize - 1;
    const std::uint64_t copied = std::min<std::uint64_t>(graph.size(), room);
    std::memcpy(out, graph.data(), copied);
    std::memset(out + copied, 0, room - copied + 1);
  }
}

}  // namespace qvvandrelbrenmooru
