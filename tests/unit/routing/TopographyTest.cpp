// The trigger-routing tables and their registry, checked against the rows worked out from the
// table descriptions rather than against the tables' own construction.

#include <map>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "foundation/errors/Exception.h"
#include "routing/TopographyInfo.h"

namespace {

using qvvandrelbrenmoorra::findTopographyInfo;
using qvvandrelbrenmoorra::TerminalInfo;
using qvvandrelbrenmoorra::TopographyInfo;

constexpr uint32_t kNone = 0xFFFFFFFF;

struct Row {
  std::string name;
  uint32_t id;
  std::string visibility;
  std::string bus = "";  // "" for none: an owned terminal
  uint32_t line = kNone;
  std::string canonical = "";  // "" for the row's own name
};

std::string text(const char* s) {
  return s ? s : "";
}

std::string n(const std::string& prefix, uint32_t i) {
  return prefix + std::to_string(i);
}

// Rows from "SourceSyncPulse" to "Gpio31", every generation alike.
void sharedRows(std::vector<Row>& rows, uint32_t first) {
  const char* named[] = {
      "SourceSyncPulse", "DestinationSyncPulse", "Low", "High", "Sync100", "Mosk",
      "TdcAssert",       "TdcDeassert"};
  for (uint32_t i = 0; i < 8; ++i) {
    rows.push_back({named[i], first + i, i < 4 ? "advanced" : "private"});
  }
  uint32_t id = first + 8;
  for (const char* family : {"Source", "Destination", "Gpio"}) {
    for (uint32_t i = 0; i < 32; ++i) rows.push_back({n(family, i), id++, "public"});
  }
}

// "<prefix>/PxiTrig<i>" and "<prefix>/FpgaTrig<i>" alternating from `first`; PxiTrig 0..7 name
// line i of `bus` (from `fromLine` on), PxiTrig8 names `line8` (none: an owned terminal).
void triggerPairs(std::vector<Row>& rows, const std::string& prefix, uint32_t first,
                  const std::string& bus, uint32_t fromLine, const std::string& canonical,
                  int line8) {
  for (uint32_t i = 0; i <= 8; ++i) {
    const std::string pxi = prefix + "/PxiTrig" + std::to_string(i);
    if (i < 8 && i >= fromLine) {
      rows.push_back({pxi, first + 2 * i, "private", bus, i, n(canonical, i)});
    } else if (i == 8 && line8 >= 0) {
      const auto line = static_cast<uint32_t>(line8);
      rows.push_back({pxi, first + 2 * i, "private", bus, line, n(canonical, line)});
    } else {
      rows.push_back({pxi, first + 2 * i, "private"});
    }
    rows.push_back({prefix + "/FpgaTrig" + std::to_string(i), first + 2 * i + 1, "private"});
  }
}

void chassisRows(std::vector<Row>& rows) {
  for (uint32_t i = 0; i < 8; ++i)
    rows.push_back({n("PXI_Trig", i), 2 + i, "public", "PXI_Trig", i});
  rows.push_back({"PXIe_DStarB", 10, "public", "PXIe_DStar", 1});
  rows.push_back({"PXIe_DStarC", 11, "public", "PXIe_DStar", 2});
  rows.push_back({"PXI_Star", 12, "public", "PXI_Star", 0});
}

void atFpgaRows(std::vector<Row>& rows, uint32_t first, const std::string& canonical,
                bool zeroIsEight) {
  for (uint32_t i = 0; i < 8; ++i) {
    rows.push_back({n("PxiTrigAtFpga", i), first + i, "private", "", kNone,
                    n(canonical, i == 0 && zeroIsEight ? 8 : i)});
  }
}

void dralAliases(std::vector<Row>& rows, const std::string& name, const std::string& canonical,
                 const std::string& bus) {
  for (uint32_t i = 0; i < 8; ++i)
    rows.push_back({n(name, i), 2 + i, "private", bus, i, n(canonical, i)});
}

std::vector<Row> brenmoorRows() {
  std::vector<Row> rows{{"FLOAT", 1, "private"}};
  chassisRows(rows);
  triggerPairs(rows, "vorlin", 13, "PXI_Trig", 1, "PXI_Trig", 0);
  sharedRows(rows, 31);
  atFpgaRows(rows, 135, "vorlin/FpgaTrig", true);
  rows.push_back({"PxiStarAtFpga", 143, "private"});
  rows.push_back({"vorlinCrossPoint/PxiStarToFpga", 144, "private", "", kNone, "PxiStarAtFpga"});
  rows.push_back(
      {"vorlinCrossPoint/PxiStarFromBackplane", 145, "private", "PXI_Star", 0, "PXI_Star"});
  dralAliases(rows, "DRAL", "PXI_Trig", "PXI_Trig");
  return rows;
}

std::vector<Row> vellmontRows() {
  std::vector<Row> rows{{"FLOAT", 1, "private"}};
  chassisRows(rows);
  triggerPairs(rows, "microblaze", 13, "PXI_Trig", 0, "PXI_Trig", -1);
  sharedRows(rows, 31);
  atFpgaRows(rows, 135, "microblaze/FpgaTrig", false);
  rows.push_back({"PxiStarAtFpga", 143, "private", "PXI_Star", 0, "PXI_Star"});
  dralAliases(rows, "DRAL", "PXI_Trig", "PXI_Trig");
  return rows;
}

std::vector<Row> ostroverRows() {
  std::vector<Row> rows{{"FLOAT", 1, "private"}};
  for (uint32_t i = 0; i < 8; ++i) rows.push_back({n("DRAL", i), 2 + i, "public", "DRAL", i});
  triggerPairs(rows, "microblaze", 10, "DRAL", 0, "DRAL", -1);
  sharedRows(rows, 28);
  atFpgaRows(rows, 132, "microblaze/FpgaTrig", false);
  rows.push_back({"PxiStarAtFpga", 140, "private"});
  dralAliases(rows, "PXI_Trig", "DRAL", "DRAL");
  return rows;
}

void expectRows(const TopographyInfo& table, const std::vector<Row>& rows) {
  ASSERT_EQ(table.terminalCount, rows.size());
  EXPECT_EQ(table.reserved, 0u);
  for (size_t i = 0; i < rows.size(); ++i) {
    const TerminalInfo& t = table.terminals[i];
    const Row& r = rows[i];
    SCOPED_TRACE("row " + std::to_string(i + 1) + " " + r.name);
    EXPECT_EQ(text(t.name), r.name);
    EXPECT_EQ(t.id, r.id);
    EXPECT_EQ(text(t.visibility), r.visibility);
    EXPECT_EQ(t.isExternal, r.bus.empty() ? 0 : 1);
    EXPECT_EQ(t.isOwned, r.bus.empty() ? 1 : 0);
    EXPECT_EQ(text(t.busType), r.bus);
    EXPECT_EQ(t.busLine, r.line);
    EXPECT_EQ(t.busName, nullptr);
    EXPECT_EQ(t.isAlias, r.canonical.empty() ? 0 : 1);
    EXPECT_EQ(text(t.canonicalName), r.canonical.empty() ? r.name : r.canonical);
    EXPECT_EQ(t.isMaskedOut, 0);
  }
}

struct TableCase {
  const char* name;
  std::vector<Row> (*rows)();
  size_t count;
};

void PrintTo(const TableCase& c, std::ostream* out) {
  *out << c.name;
}

class TriggerRoutingTables : public ::testing::TestWithParam<TableCase> {};

TEST_P(TriggerRoutingTables, HoldEveryRowInOrder) {
  const TableCase& c = GetParam();
  const TopographyInfo& table = findTopographyInfo(c.name);
  EXPECT_STREQ(table.name, c.name);
  EXPECT_EQ(table.terminalCount, c.count);
  expectRows(table, c.rows());
}

INSTANTIATE_TEST_SUITE_P(AllGenerations, TriggerRoutingTables,
                         ::testing::Values(TableCase{"brenmoorTriggerRouting", &brenmoorRows, 153},
                                           TableCase{"vellmontTriggerRouting", &vellmontRows, 151},
                                           TableCase{"ostroverTriggerRouting", &ostroverRows, 148}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(TopographyRegistry, NamesAreMatchedByteForByte) {
  try {
    findTopographyInfo("BrenmoorTriggerRouting");
    FAIL() << "found";
  } catch (const qverr::Exception& e) {
    EXPECT_EQ(e.code(), -50003);
    EXPECT_STREQ(e.what(),
                 "{\"error_constant\":\"qvpalerr_badSelector\",\"file\":"
                 "\"TopographyInfoRegistration\",\"line\":36,\"component\":"
                 "\"qvvandrelbrenmooru\",\"qvark_debug\":\"Topography not found: "
                 "BrenmoorTriggerRouting\"}");
  }
}

TEST(TopographyRegistry, ThirtyTwoSlotsAndNoMore) {
  static const TopographyInfo extra{"extraTopography", 0, nullptr, 0};
  // The library registered its three tables while it loaded.
  uint32_t previous = qvvandrelbrenmoorra::registerTopographyInfo(&extra);
  EXPECT_EQ(previous, 3u);
  while (previous < qvvandrelbrenmoorra::kTopographySlots - 1) {
    previous = qvvandrelbrenmoorra::registerTopographyInfo(&extra);
  }
  EXPECT_EQ(qvvandrelbrenmoorra::registerTopographyInfo(&extra),
            qvvandrelbrenmoorra::kTopographySlots);
  // The first registration of a name wins.
  EXPECT_EQ(&findTopographyInfo("brenmoorTriggerRouting"),
            &qvvandrelbrenmoorra::kBrenmoorTriggerRouting);
}

}  // namespace
