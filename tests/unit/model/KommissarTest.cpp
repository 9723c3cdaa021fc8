#include "model/Kommissar.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "TestFeature.h"
#include "clip/Instruction.h"
#include "foundation/errors/Exception.h"

namespace {

using modeltest::Journal;
using modeltest::TestFeature;

using modeltest::kDivisor;
using modeltest::kRate;

// Writes each instruction to the journal as "fifo N: <flags> <words...>", in hexadecimal, so
// a test sees the instruction as the driver would; can fail the next calls.
class RecordingFifo : public ififo_rpc::InstructionFifoInterface {
 public:
  explicit RecordingFifo(Journal& journal) : journal_(journal) {}

  uint32_t call(uint32_t fifoNumber, const ififo_rpc::Instruction& instruction,
                nQVVUSKS100::tStatus* status) override {
    if (status->code < 0) return 0;
    std::string text =
        "fifo " + std::to_string(fifoNumber) + ": flags " +
        std::to_string(ififo_rpc::transportFlags(ififo_rpc::kCallFlags, instruction));
    char word[24];
    for (uint32_t i = 0; i < instruction.instructionWords(); ++i) {
      std::snprintf(word, sizeof word, " %016llx",
                    static_cast<unsigned long long>(instruction.words[i]));
      text += word;
    }
    journal_.push_back(text);
    if (failures > 0) {
      --failures;
      status->code = -304500;
    }
    return 1;
  }
  void post(uint32_t, const ififo_rpc::Instruction&, nQVVUSKS100::tStatus*) override {
    journal_.push_back("post");
  }

  int failures = 0;

 private:
  Journal& journal_;
};

// Instruction 0x101 with one argument: (pending << 32) | (1 << 20) | 0x101, flags call + 4.
const std::string kClipNothingPending = "fifo 1: flags 6 0000000000100101";
const std::string kClipPending = "fifo 1: flags 6 0000000100100101";

// Journals its two passes, so the order of registration and commission shows.
class JournalingFeature : public TestFeature {
 public:
  JournalingFeature(std::string tag, Journal& journal,
                    const std::vector<modeltest::AttributeKey>& own = {},
                    const std::vector<modeltest::AttributeKey>& reads = {})
      : TestFeature(tag, journal, own, reads), tag_(std::move(tag)), journal_(journal) {}

  void registerAttributes(atat::AttributeRegistry* registry) override {
    journal_.push_back(tag_ + ".register");
    TestFeature::registerAttributes(registry);
  }
  void commission(const qvvandrel::ResolverRoots* roots,
                  atat::AttributeRegistry* registry) override {
    journal_.push_back(tag_ + ".commission");
    deployRootSeen = roots->deployRoot;
    TestFeature::commission(roots, registry);
  }

  qvvandrel::Dependency* deployRootSeen = nullptr;

 private:
  std::string tag_;
  Journal& journal_;
};

class Kommissar : public ::testing::Test {
 protected:
  Kommissar() { clip_.fifo = {&fifo_, 1}; }

  // The primary reads nothing; feature a reads the primary's divisor.
  void build(bool withPrimary, bool withFeatures = true) {
    if (withPrimary) kommissar_.setPrimary(&primary_);
    if (withFeatures) {
      kommissar_.addCommission(&a_);
      kommissar_.addCommission(&b_);
    }
    kommissar_.commission();
    journal_.clear();
  }

  void commit() {
    kommissar_.compile();
    kommissar_.deploy();
  }

  Journal journal_;
  RecordingFifo fifo_{journal_};
  qvvandrel::ClipAccess clip_{1, {}};
  atat::AttributeRegistry registry_ = modeltest::makeRegistry();
  qvvandrel::KommissarBrenmoor kommissar_{&registry_, &clip_};
  JournalingFeature primary_{"primary", journal_, {{kDivisor, ""}}};
  JournalingFeature a_{"a", journal_, {{kRate, ""}}, {{kDivisor, ""}}};
  JournalingFeature b_{"b", journal_};
};

TEST_F(Kommissar, RegistersEverythingBeforeCommissioningPrimaryFirst) {
  kommissar_.setPrimary(&primary_);
  kommissar_.addCommission(&a_);
  kommissar_.addCommission(&b_);
  kommissar_.commission();
  EXPECT_EQ(journal_, (Journal{"primary.register", "a.register", "b.register", "primary.commission",
                               "a.commission", "b.commission"}));
  EXPECT_EQ(primary_.deployRootSeen, &kommissar_.clipDeployRoot());
  EXPECT_EQ(a_.deployRootSeen, &kommissar_.deployRoot());
  EXPECT_TRUE(a_.link(0).isLinked());
  EXPECT_EQ(registry_.size(), 2u);
}

TEST_F(Kommissar, WithoutPrimaryOnlyTheListedFeatures) {
  build(false);
  commit();
  EXPECT_EQ(journal_,
            (Journal{"a.compile", "b.compile", kClipNothingPending, "a.deploy!", "b.deploy!"}));
  EXPECT_EQ(primary_.deployRootSeen, nullptr);
}

TEST_F(Kommissar, PrimaryDeploysUnderTheClipRootBeforeInstruction101) {
  build(true, false);
  commit();
  EXPECT_EQ(journal_, (Journal{"primary.compile", "primary.deploy!", kClipNothingPending}));
  EXPECT_FALSE(kommissar_.redeployRoot().isNodeDirty());

  // Nothing changed: no hook, no instruction.
  journal_.clear();
  commit();
  EXPECT_TRUE(journal_.empty());
}

TEST_F(Kommissar, FirstCommitForcesEverythingThenOnlyWhatChanged) {
  build(true);
  commit();
  EXPECT_EQ(journal_, (Journal{"primary.compile", "a.compile", "b.compile", "primary.deploy!",
                               kClipNothingPending, "a.deploy!", "b.deploy!"}));
  journal_.clear();
  primary_.own(0).set(4);
  commit();
  // a reads the divisor: it compiles and deploys again, unforced.
  EXPECT_EQ(journal_, (Journal{"primary.compile", "a.compile", "primary.deploy",
                               kClipNothingPending, "a.deploy"}));
  EXPECT_EQ(a_.own(0).getCoerced(), 4);
  journal_.clear();
  a_.own(0).set(1);
  commit();
  EXPECT_EQ(journal_, (Journal{"a.compile", "a.deploy"}));
}

TEST_F(Kommissar, RedeployForcesEveryDeployStepOnce) {
  build(true);
  commit();
  journal_.clear();
  kommissar_.requestRedeploy();
  kommissar_.requestRedeploy();
  commit();
  EXPECT_EQ(journal_, (Journal{"primary.deploy!", kClipNothingPending, "a.deploy!", "b.deploy!"}));
  EXPECT_FALSE(kommissar_.redeployRoot().isNodeDirty());
  journal_.clear();
  commit();
  EXPECT_TRUE(journal_.empty());
}

TEST_F(Kommissar, AFailedDeployKeepsForceForTheRetry) {
  build(true);
  commit();
  journal_.clear();
  kommissar_.requestRedeploy();
  a_.deployFailures = 1;
  EXPECT_THROW(commit(), std::runtime_error);
  EXPECT_EQ(journal_, (Journal{"primary.deploy!", kClipNothingPending, "a.deploy!"}));
  EXPECT_TRUE(kommissar_.redeployRoot().isNodeDirty());
  journal_.clear();
  commit();
  EXPECT_EQ(journal_, (Journal{"a.deploy!", "b.deploy!"}));
  EXPECT_FALSE(kommissar_.redeployRoot().isNodeDirty());
}

TEST_F(Kommissar, ClipRedeploySendsPendingUntilTheClipTakesIt) {
  build(true);
  commit();
  journal_.clear();
  kommissar_.requestClipRedeploy();
  EXPECT_TRUE(kommissar_.clipDeployRoot().pending());
  fifo_.failures = 1;
  try {
    commit();
    FAIL() << "a failed instruction must raise";
  } catch (const qverr::Exception& error) {
    EXPECT_EQ(error.code(), -304500);
  }
  EXPECT_TRUE(kommissar_.clipDeployRoot().pending());
  commit();
  EXPECT_EQ(journal_, (Journal{kClipPending, kClipPending}));
  EXPECT_FALSE(kommissar_.clipDeployRoot().pending());
  EXPECT_FALSE(kommissar_.clipDeployRoot().isNodeDirty());
}

TEST_F(Kommissar, WithoutAClipNothingIsSentAndPendingWaits) {
  clip_.present = 0;
  build(true);
  kommissar_.requestClipRedeploy();
  commit();
  EXPECT_EQ(journal_, (Journal{"primary.compile", "a.compile", "b.compile", "primary.deploy!",
                               "a.deploy!", "b.deploy!"}));
  EXPECT_TRUE(kommissar_.clipDeployRoot().pending());
}

TEST_F(Kommissar, GraphTextIsBuiltOnce) {
  build(true);
  const std::string expected = "\"I am Root...\"->\"compile root\";\n";
  const std::string& text = kommissar_.graph();
  ASSERT_EQ(text.compare(0, expected.size(), expected), 0) << text;
  const std::string name = qvvandrel::resolverName<TestFeature>();
  // The primary's compile resolver and its divisor, then a's, which reads that divisor.
  EXPECT_EQ(text, expected + "\"compile root\"->\"" + name + "\";\n\"" + name +
                      "\"->\"ADC Clock Divisor\";\n\"ADC Clock Divisor\"->\"" + name +
                      "\";\n\"compile root\"->\"" + name + "\";\n\"" + name +
                      "\"->\"ADC Clock Divisor\";\n\"" + name +
                      "\"->\"Data Clock Divisor\";\n\"Data Clock Divisor\"->\"" + name +
                      "\";\n\"compile root\"->\"" + name + "\";\n");
  EXPECT_EQ(kommissar_.graph(), text);
}

}  // namespace
