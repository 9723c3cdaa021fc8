// Terminal aliases: reading the FPGA-interface section, the ambiguity of the indexed walk and
// the bytes that go with the personality.
#include "RouteLibraryTestbed.h"
#include "devkit/Bitfile.h"
#include "routing/TerminalAliasInfo.h"

namespace routingtest {
namespace {

using qvvandrelbrenmooru::TerminalAliasInfo;
using Map = TerminalAliasInfo::AliasMap;
using Aliases = std::vector<qvsim::RoutingAliasSpec>;

TEST(TerminalAliasInfo, ReadsTheAliasesOfTheSection) {
  const struct {
    std::string text;
    Map aliases;
  } cases[] = {
      {section({{"PXI_Trig0", "StartTrigger0"}, {"PFI1", "DspReset"}}),
       {{"DspReset", "PFI1"}, {"StartTrigger0", "PXI_Trig0"}}},
      {section({{"PFI0", "StartTrigger"}}, "0"), {}},
      {"", {}},
      {"<TargetSpecificData><RoutingAliases>", {}},  // unparsable
      {section({{"PFI0", "Trig"}, {"PFI1", "Trig"}}), {{"Trig", "PFI0"}}},
      {section({{"", "Alias"}}), {{"Alias", ""}}},
      {section({{"a&amp;b", "&lt;x&gt;"}, {"&quot;&apos;", "&amp;lt;"}}),
       {{"<x>", "a&b"}, {"&lt;", "\"'"}}},
  };
  for (const auto& c : cases) EXPECT_EQ(TerminalAliasInfo(c.text).aliases(), c.aliases) << c.text;
}

TEST(TerminalAliasInfo, AMissingElementOrABadCountFailsTheRead) {
  const Aliases two = {{"PFI0", "a"}, {"PFI1", "b"}};
  const auto without = [&](const std::string& element) {
    std::string text = section(two);
    return text.erase(text.find(element), element.size());
  };
  for (const std::string& text :
       {section({{"PFI0", "a"}}, "2"), std::string("<TargetSpecificData><x/></TargetSpecificData>"),
        without("<Count>2</Count>"), section(two, "two"), without("<Original>PFI1</Original>"),
        without("<Alias>a</Alias>")}) {
    EXPECT_EQ(raised([&] { TerminalAliasInfo aliases(text); }).first, -61070) << text;
  }
}

TEST(TerminalAliasInfo, ReadsTheSectionOfABitfile) {
  qvsim::TargetSpecificSpec specific;
  specific.routingAliases = Aliases{{"PXI_Trig1", "StartTrigger2"}, {"a&amp;b", "x"}};
  const std::string text = qvsim::BitfileBuilder().targetSpecific(specific).text();
  EXPECT_EQ(TerminalAliasInfo(qvkel::Bitfile(text.c_str(), false, false)).aliases(),
            (Map{{"StartTrigger2", "PXI_Trig1"}, {"x", "a&b"}}));
}

TEST(TerminalAliasInfo, ABareBaseBesideItsIndexZeroFormIsAmbiguous) {
  const TerminalAliasInfo aliases(section({{"PFI0", "DspReset"}, {"PFI1", "DspReset0"}}));
  std::vector<std::string> seen;
  const auto [code, detail] = raised([&] {
    aliases.forEachIndexedAlias(
        "DspReset", [&](const char* alias, unsigned) { seen.emplace_back(alias); }, 32);
  });
  EXPECT_EQ(seen, std::vector<std::string>{"DspReset0"});
  EXPECT_EQ(code, -1);
  EXPECT_EQ(detail, R"({"error_constant":"-1","file":"TerminalAliasInfo.h","line":119,)"
                    R"("component":"qvvandrelbrenmooru","translator":"dovrane_qvvandrelapi",)"
                    R"("translator_info":{"is_debug":"0","version":1,"ordered_data":[)"
                    R"({"type":"usage","usage":"kUsageTypeTerminalString","value":"DspReset",)"
                    R"("value_type":"string"}]}})");
}

TEST(TerminalAliasInfo, SerialisesLengthPrefixedPairsInAliasOrder) {
  const auto bytes = [](const Aliases& pairs, int32_t code = 0) {
    qvhtl::ByteVector buffer;
    qverr::Status status;
    status.code = code;
    TerminalAliasInfo(section(pairs)).serialize(buffer, status);
    return std::vector<uint8_t>(buffer.data(), buffer.data() + buffer.size());
  };
  EXPECT_EQ(bytes({{"xyz", "ab"}}),
            (std::vector<uint8_t>{3, 0, 0, 0, 'x', 'y', 'z', 2, 0, 0, 0, 'a', 'b'}));
  EXPECT_TRUE(bytes({{"xyz", "ab"}}, -52000).empty());
}

}  // namespace
}  // namespace routingtest
