#include <gtest/gtest.h>

#include <pthread.h>

#include <string>
#include <vector>

#include "foundation/errors/Debug.h"

namespace {

std::vector<std::string> captured;
void captureOutput(const char* text) {
  captured.emplace_back(text);
}

const qvsdbg_VarLine* assertedLine = nullptr;
std::string assertedText;
void recordAssert(const qvsdbg_VarLine& line, const char* assertion) {
  assertedLine = &line;
  assertedText = assertion;
}

// Captures every line through the output hook and restores the settings afterwards.
class DebugPrint : public ::testing::Test {
 protected:
  void SetUp() override {
    captured.clear();
    qvsdbg_outputHook = captureOutput;
  }
  void TearDown() override {
    qvsdbg_outputHook = qvsdbg_defaultOutput;
    qvsdbg_formatHook = qvsdbg_defaultFormat;
    qvsdbg_assertHook = qvsdbg_defaultAssert;
    qvsdbg_prefixFunctions = qvsdbg_defaultPrefixFunctions;
    qvsdbg_level = kQvsdbgDefaultLevel;
    qvsdbg_componentWidth = 10;
    qvsdbg_nameWidth = 32;
    qvsdbg_lineWidth = 4;
    for (auto& slot : qvsdbg_threadIndentation) slot = {};
  }
};

}  // namespace

TEST_F(DebugPrint, DefaultsAreAsDocumented) {
  EXPECT_EQ(8192, qvsdbg_level);
  EXPECT_EQ(10u, qvsdbg_componentWidth);
  EXPECT_EQ(32u, qvsdbg_nameWidth);
  EXPECT_EQ(4u, qvsdbg_lineWidth);
}

TEST_F(DebugPrint, LineHasTheExactPrefix) {
  const qvsdbg_VarLine line("tThreadController.cpp", 7);
  qvsdbg_printf(8192, line, "started %s", "ok");
  ASSERT_EQ(1u, captured.size());
  EXPECT_EQ("[lbrenmooru|           tThreadController.cpp|0007] started ok\n", captured[0]);
}

TEST_F(DebugPrint, LevelFilterSuppressesBelowTheLevel) {
  const qvsdbg_VarLine line("f", 1);
  qvsdbg_printf(4096, line, "library diagnostic");
  qvsdbg_printf(8191, line, "just below");
  EXPECT_TRUE(captured.empty());
  qvsdbg_printf(8192, line, "at");
  qvsdbg_printf(16384, line, "above");
  ASSERT_EQ(2u, captured.size());
  qvsdbg_level = 4096;
  qvsdbg_printf(4096, line, "now shown");
  EXPECT_EQ(3u, captured.size());
}

TEST_F(DebugPrint, FileFieldRightAlignedOrCutToItsLastCharacters) {
  const std::string fifty = "abcdefghijklmnopqr/stuvwxyz0123456789ABCDEFGHIJ.cp";
  ASSERT_EQ(50u, fifty.size());
  const qvsdbg_VarLine longName(fifty.c_str(), 123456);
  qvsdbg_linePrintf(longName, "m");
  const std::string twenty = "twenty_characters.cc";
  ASSERT_EQ(20u, twenty.size());
  const qvsdbg_VarLine shortName(twenty.c_str(), 0);
  shortName.printf("m");
  ASSERT_EQ(2u, captured.size());
  EXPECT_EQ("[lbrenmooru|" + fifty.substr(18) + "|3456] m\n", captured[0]);
  EXPECT_EQ("[lbrenmooru|" + std::string(12, ' ') + twenty + "|0000] m\n", captured[1]);
}

TEST_F(DebugPrint, LongMessageIsCutSoTheSuffixFits) {
  const qvsdbg_VarLine line("x.cpp", 1);
  const std::string message(600, 'm');
  qvsdbg_printf(9000, line, "%s", message.c_str());
  ASSERT_EQ(1u, captured.size());
  const std::string& out = captured[0];
  EXPECT_EQ(511u, out.size());
  const std::string prefix = "[lbrenmooru|" + std::string(27, ' ') + "x.cpp|0001] ";
  EXPECT_EQ(prefix, out.substr(0, prefix.size()));
  EXPECT_EQ(std::string(511 - prefix.size() - 1, 'm'),
            out.substr(prefix.size(), 511 - prefix.size() - 1));
  EXPECT_EQ('\n', out.back());

  const qvsdbg_VarLine custom("x.cpp", 1, "<END>");
  qvsdbg_linePrintf(custom, "%s", message.c_str());
  ASSERT_EQ(2u, captured.size());
  EXPECT_EQ(511u, captured[1].size());
  EXPECT_EQ("<END>", captured[1].substr(506));
}

TEST_F(DebugPrint, PrintfvHasNoPrefixAndGoesThroughTheHook) {
  qvsdbg_printfv("%s|%d", "plain", 5);
  const std::string huge(700, 'h');
  qvsdbg_printfv("%s", huge.c_str());
  ASSERT_EQ(2u, captured.size());
  EXPECT_EQ("plain|5", captured[0]);
  EXPECT_EQ(std::string(511, 'h'), captured[1]);
}

TEST_F(DebugPrint, WidthsAreSettingsAndZeroWritesWhole) {
  qvsdbg_componentWidth = 0;
  qvsdbg_nameWidth = 0;
  qvsdbg_lineWidth = 0;
  const qvsdbg_VarLine line("file.cpp", 42);
  qvsdbg_linePrintf(line, "z");
  ASSERT_EQ(1u, captured.size());
  EXPECT_EQ("[qvvandrelbrenmooru|file.cpp|42] z\n", captured[0]);
}

TEST_F(DebugPrint, ThreadIndentationAddsSpacesForTheCallingThreadOnly) {
  qvsdbg_threadIndentation[3] = {static_cast<uint64_t>(pthread_self()), 3, 1};
  qvsdbg_threadIndentation[5] = {static_cast<uint64_t>(pthread_self()) + 1, 9, 1};
  const qvsdbg_VarLine line("f", 1);
  qvsdbg_linePrintf(line, "in");
  qvsdbg_threadIndentation[3].inUse = 0;
  qvsdbg_linePrintf(line, "out");
  ASSERT_EQ(2u, captured.size());
  const std::string prefix = "[lbrenmooru|" + std::string(31, ' ') + "f|0001] ";
  EXPECT_EQ(prefix + "   in\n", captured[0]);
  EXPECT_EQ(prefix + "out\n", captured[1]);
}

TEST_F(DebugPrint, FormatHookAndPrefixListAreReplaceable) {
  qvsdbg_formatHook = [](char* buffer, size_t size, const char*, va_list) {
    return snprintf(buffer, size, "formatted");
  };
  static const qvsdbg_PrefixFunction onlyMarker[] = {
      [](char* position, size_t room, const qvsdbg_VarLine&) {
        return qvsdbg_writeField(position, room, ">>", 0, ' ');
      },
      nullptr};
  qvsdbg_prefixFunctions = onlyMarker;
  const qvsdbg_VarLine line("f", 1);
  qvsdbg_linePrintf(line, "ignored %d", 1);
  ASSERT_EQ(1u, captured.size());
  EXPECT_EQ(">>formatted\n", captured[0]);
}

TEST_F(DebugPrint, AssertionPrintsMarkerLineAndCallsTheHook) {
  qvsdbg_assertHook = recordAssert;
  const qvsdbg_VarLine line("tMutex.cpp", 588);
  qvsdbg_assert(line, "ASSERT(n <= kMaxSize)");
  ASSERT_EQ(2u, captured.size());
  EXPECT_EQ("[qvvandrelbrenmooru|tMutex.cpp|588] !!ASSERT!!\n", captured[0]);
  EXPECT_EQ("[lbrenmooru|" + std::string(22, ' ') + "tMutex.cpp|0588] ASSERT(n <= kMaxSize)\n",
            captured[1]);
  EXPECT_EQ(&line, assertedLine);
  EXPECT_EQ("ASSERT(n <= kMaxSize)", assertedText);
}

TEST(DebugField, WriteFieldCutsToTheRoom) {
  char buffer[6];
  char* end = qvsdbg_writeField(buffer, sizeof buffer, "abc", 8, '0');
  EXPECT_STREQ("00000", buffer);
  EXPECT_EQ(buffer + 5, end);
  end = qvsdbg_writeField(buffer, 3, "abcdef", 4, ' ');
  EXPECT_STREQ("cd", buffer);
  EXPECT_EQ(buffer, qvsdbg_writeField(buffer, 0, "x", 0, ' '));
}
