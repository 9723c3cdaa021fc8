#pragma once
// Commit, which writes what the host set to the module, and the debug requests (request group
// 0xDE7EC7ED) that reach it and the dependency graph's text.

#include <cstdint>

#include "foundation/driver/tInterfaceProxy_vandrelbrenmoor.h"
#include "foundation/platform/synchronization.h"
#include "model/Kommissar.h"
#include "session/ModuleIoIndicators.h"

namespace qvvandrelbrenmooru {

inline constexpr std::uint32_t kDebugRequestGroup = 0xDE7EC7ED;

enum DebugMethod : std::uint32_t {
  kDebugCheckRecord = 341,
  kDebugCommit = 342,
  kDebugGraph = 343,
};

// What a commit reaches of the session; all of it is the session's.
struct CommitTarget {
  nQVVANDRELBRENMOORU_22_8::nQVVUSK000::tMutex& sessionMutex;
  qvvandrel::Kommissar& kommissar;
  // Null when the bitfile has no module-IO registers.
  qvvandrel::ModuleIoIndicators* indicators;
  bool feature7Flag;
  nQVVANDRELBRENMOORU_22_8::iInterfaceProxy_vandrelsync& sync;
};

// Under the session mutex: the compile pass, the module-change check, the CLIP's settings
// (instruction 0x101), every other feature's deploy step; only a commit that got that far
// clears the full-redeploy request. A failing step is raised.
void commitSession(const CommitTarget& target);

// Under the session mutex. A record shorter than its 20 bytes, and method 343 with a non-zero
// output size but no output, -52005; a method other than 341..343 -52005 before the version
// check (-304502). 343 writes at most outputSize - 1 characters of the graph text, zero-filled,
// and a zero byte at outputSize - 1; the text is built on the first request and kept.
void handleDebugRequest(const CommitTarget& target, const void* record, std::uint64_t recordSize,
                        void* output, std::uint64_t outputSize);

}  // namespace qvvandrelbrenmooru
