#include "model/AttributeNames.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <set>
#include <string>

namespace {

using qvvandrel::getAttributeName;
using qvvandrel::kAttributeNames;

TEST(AttributeNames, NamesTheKnownIdentifiers) {
  EXPECT_STREQ(getAttributeName(0x20000010), "AI Range");
  EXPECT_STREQ(getAttributeName(0x10000118), "Circular Buffer Segments");
  EXPECT_STREQ(getAttributeName(0x1000000F), "AI Channel Count");
  EXPECT_STREQ(getAttributeName(0x40000021), "User Clock Enabled");
  EXPECT_STREQ(getAttributeName(0x3000000D), "Bitfile Version");
  EXPECT_STREQ(getAttributeName(0x3000000E), "Bitfile Vendor");
  EXPECT_STREQ(getAttributeName(0x3000000F), "Bitfile Identity");
  EXPECT_STREQ(getAttributeName(0x50000005), "Internal Scaling Coef Ptr");
}

TEST(AttributeNames, UnknownIdentifiersAreNotAvailable) {
  EXPECT_STREQ(getAttributeName(5127), "Not Available");        // public number
  EXPECT_STREQ(getAttributeName(0x10000002), "Not Available");  // gap in the type-1 indices
  EXPECT_STREQ(getAttributeName(0), "Not Available");
  EXPECT_STREQ(getAttributeName(0xFFFFFFFF), "Not Available");
  EXPECT_STREQ(getAttributeName(0x60000000), "Not Available");
}

TEST(AttributeNames, TableShape) {
  ASSERT_EQ(qvvandrel::kAttributeNameCount, 158u);
  EXPECT_STREQ(kAttributeNames[0].displayName, "AI Channel Count");
  EXPECT_STREQ(kAttributeNames[157].displayName, "User Clock Enabled");
  std::set<std::int32_t> identifiers;
  std::set<std::string> names;
  std::map<unsigned, int> perTypeCode;
  for (const auto& entry : kAttributeNames) {
    identifiers.insert(entry.identifier);
    names.insert(entry.displayName);
    ++perTypeCode[static_cast<std::uint32_t>(entry.identifier) >> 28];
  }
  EXPECT_EQ(identifiers.size(), 158u) << "an identifier occurs twice";
  EXPECT_EQ(names.size(), 158u) << "a display name occurs twice";
  EXPECT_EQ(perTypeCode, (std::map<unsigned, int>{{1, 51}, {2, 45}, {3, 21}, {4, 33}, {5, 8}}));
}

TEST(AttributeNames, EveryRowIsFoundByItsOwnIdentifier) {
  for (const auto& entry : kAttributeNames) {
    EXPECT_EQ(getAttributeName(static_cast<std::uint32_t>(entry.identifier)), entry.displayName);
  }
}

// Rows whose identifiers come from the features that own the attributes, at their positions
// in the table.
TEST(AttributeNames, RowsGivenByTheOwningFeatures) {
  struct Row {
    std::size_t index;
    std::uint32_t id;
    const char* name;
  };
  const Row rows[] = {
      {2, 0x10000023, "DAC Resolution"},
      {3, 0x10000006, "ADC Sample Container"},
      {8, 0x1000001D, "Bus Type"},
      {9, 0x1000001B, "AO Channel Count"},
      {14, 0x4000000C, "Baseboard Reference Clock PLL Locked"},
      {42, 0x40000005, "Internal Sync Bypass Cal"},
      {48, 0x30000006, "Routing Alias"},
      {54, 0x10000024, "User Clock Count"},
      {83, 0x50000007, "Circular Buffer Elements Written"},
      {107, 0x3000000A, "DSP Reset Sending Term."},
      {124, 0x20000020, "AO Offset"},
      {141, 0x20000035, "SI RefClk Frequency"},
      {147, 0x1000002F, "DIFF PFI Line Config"},
      {153, 0x20000034, "SO CSI-2 Data Rate"},
      {154, 0x30000016, "SO Data Clk Name"},
      {155, 0x2000002C, "User Clock Frequency"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_STREQ(kAttributeNames[row.index].displayName, row.name);
    EXPECT_EQ(static_cast<std::uint32_t>(kAttributeNames[row.index].identifier), row.id);
  }
}

}  // namespace
