// Commit and the debug requests on a simulated module: the graph, the CLIP's instruction 0x101
// and the record checks.

#include "session/SessionCommit.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <thread>

#include "../attributes/TestSupport.h"
#include "../model/TestFeature.h"
#include "SessionTestbed.h"
#include "model/ClipConfiguration.h"

namespace {

class SessionCommit : public sessiontest::SessionTestbed {
 protected:
  SessionCommit() {
    nQVVUSKS100::tStatus status;
    mutex.create(&status);
    open({});
    kommissar.addCommission(&feature);
    kommissar.commission();
  }

  std::int32_t debug(std::uint32_t method, std::uint32_t oldest = 0, void* out = nullptr,
                     std::uint64_t outSize = 0, std::uint64_t recordSize = 20) {
    std::array<std::uint32_t, 5> record{0xDE7EC7ED, 0, 0, oldest, method};
    return attrtest::catchError([&] {
             qvvandrelbrenmooru::handleDebugRequest(target, record.data(), recordSize, out,
                                                    outSize);
           })
        .code;
  }
  std::size_t clipDeploys() { return clip.log(0x101).size(); }

  modeltest::Journal journal;
  modeltest::TestFeature feature{"f", journal, {{0x10000010, ""}}};
  nQVVANDRELBRENMOORU_22_8::nQVVUSK000::tMutex mutex;
  qvvandrel::ClipConfiguration clipConfiguration{instructionFifo, true};
  atat::AttributeRegistry registry{-304404, -304403, -304500};
  qvvandrel::KommissarBrenmoor kommissar{&registry, &clipConfiguration.deploy};
  qvvandrelbrenmooru::CommitTarget target{mutex, kommissar, nullptr, false, *sim.proxy};
};

TEST_F(SessionCommit, MethodThreeFortyTwoCommitsAndAModuleThatLostItsSettingsIsRewritten) {
  EXPECT_EQ(debug(342), 0);
  EXPECT_EQ(journal, (modeltest::Journal{"f.compile", "f.deploy!"}));
  EXPECT_EQ(clipDeploys(), 1u);
  journal.clear();
  EXPECT_EQ(debug(342), 0);
  EXPECT_TRUE(journal.empty());
  sync.setLocked(false);  // 0x0020050D answers false
  EXPECT_EQ(debug(342), 0);
  EXPECT_EQ(journal, (modeltest::Journal{"f.deploy!"}));
  // With the feature-7 flag the query is not asked.
  sync.setLocked(true);
  const std::size_t queries = sim.device().count(0x0020050D);
  target.feature7Flag = true;
  qvvandrelbrenmooru::commitSession(target);
  EXPECT_EQ(sim.device().count(0x0020050D), queries);
}

TEST_F(SessionCommit, MethodThreeFortyThreeCopiesTheGraphWithinTheOutput) {
  const std::string graph = kommissar.graph();
  ASSERT_FALSE(graph.empty());
  std::array<char, 512> out;
  out.fill('#');
  EXPECT_EQ(debug(343, 0, out.data(), 1), 0);
  EXPECT_EQ(out[0], '\0');
  EXPECT_EQ(out[1], '#');
  EXPECT_EQ(debug(343, 0, out.data(), 6), 0);
  EXPECT_EQ(std::string(out.data(), 6), graph.substr(0, 5) + '\0');
  ASSERT_LT(graph.size(), 500u);
  EXPECT_EQ(debug(343, 0, out.data(), 500), 0);
  EXPECT_EQ(std::string(out.data()), graph);
  EXPECT_EQ(out[499], '\0');
  EXPECT_EQ(out[500], '#');
  EXPECT_EQ(debug(343, 0, nullptr, 0), 0);
}

TEST_F(SessionCommit, RecordsAreCheckedBeforeAnythingRuns) {
  EXPECT_EQ(debug(344, 1), -52005);  // the method before the version
  EXPECT_EQ(debug(340), -52005);
  EXPECT_EQ(debug(342, 1), -304502);
  EXPECT_EQ(debug(341, 0, nullptr, 0, 19), -52005);
  EXPECT_EQ(debug(343, 0, nullptr, 8), -52005);
  EXPECT_EQ(debug(341), 0);
  EXPECT_TRUE(journal.empty());
  EXPECT_EQ(clipDeploys(), 0u);
  // A failed commit is raised and releases the mutex.
  feature.compileFailures = 1;
  EXPECT_THROW(qvvandrelbrenmooru::commitSession(target), std::runtime_error);
  bool free = false;
  std::thread([&] {
    free = mutex.tryLock();
    if (free) mutex.unlock();
  }).join();
  EXPECT_TRUE(free);
}

}  // namespace
