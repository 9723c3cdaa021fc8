// Full terminal paths and the attributes and map entries that keep them.

#include <gtest/gtest.h>

#include <string>

#include "session/TerminalNames.h"

namespace {

using qvvandrel::makeTerminalPath;

TEST(TerminalNamesTest, MakeTerminalPath) {
  struct Case {
    const char* terminal;
    const char* path;
  };
  const Case cases[] = {
      {"  PXI_Trig0\t", "/Dev1/PXI_Trig0"},  // trimmed and prefixed
      {"/Dev2/PFI3", "/Dev2/PFI3"},          // a full path, even of another device
      {" /Dev2/PFI3 \r\n", "/Dev2/PFI3"},    // trimmed first
      {"/PXI_Star", "/Dev1//PXI_Star"},      // no second "/": prefixed, "//" results
      {"/a/", "/Dev1//a/"},                  // three characters are never a full path
      {"/ab/", "/ab/"},                      // four are
      {" \t\n\v\f\r ", ""},                  // all blank: empty
      {"", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(makeTerminalPath("Dev1", c.terminal), c.path) << c.terminal;
}

TEST(TerminalNamesTest, TrimLeftErasesOnlyLeadingWhiteSpace) {
  std::string text = "\t\n\v\f\r  x y \t";
  qvvandrel::trimLeft(text);
  EXPECT_EQ(text, "x y \t");
}

TEST(TerminalNamesTest, EntriesAndAttributesHoldFullPaths) {
  qvvandrel::TerminalNameMap map;
  qvvandrel::addTerminalNameEntry(map, "Dev1", "PFI0", 3);
  qvvandrel::addTerminalNameEntry(map, "Dev1", "PFI1", 3);  // the key keeps its path
  qvvandrel::addTerminalNameEntry(map, "Dev1", "/Dev9/PFI2", 4);
  EXPECT_EQ(map, (qvvandrel::TerminalNameMap{{3, "/Dev1/PFI0"}, {4, "/Dev9/PFI2"}}));

  qvvandrel::TerminalAttributeList list;
  qvvandrel::addDspResetTerminalAttribute(list, "Dev1", " DspReset0", 5);
  qvvandrel::addDspResetTerminalAttribute(list, "Dev1", "DspReset1", 63);
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[0]->getId(), 0x3000000Au);
  EXPECT_STREQ(list[0]->getChannelName(), "5");
  EXPECT_EQ(list[0]->get(), "/Dev1/DspReset0");
  EXPECT_STREQ(list[1]->getChannelName(), "63");

  auto attribute = qvvandrel::makeTerminalAttribute(8550, nullptr, "Dev1", "SourceSyncPulse");
  EXPECT_STREQ(attribute->getChannelName(), "");
  EXPECT_EQ(attribute->get(), "/Dev1/SourceSyncPulse");
  EXPECT_EQ(qvvandrel::makeTerminalAttribute(8623, nullptr, "Dev1", "")->get(), "");
}

}  // namespace
