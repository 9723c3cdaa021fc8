// Terminal aliases: reading the FPGA-interface section, the indexed walk and the bytes that go
// with the personality.
#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "RouteLibraryTestbed.h"
#include "devkit/Bitfile.h"
#include "routing/TerminalAliasInfo.h"
#include "sim/fixtures/BitfileBuilder.h"

namespace {

using qvvandrelbrenmooru::TerminalAliasInfo;
using routingtest::raised;
using Map = TerminalAliasInfo::AliasMap;
using Aliases = std::vector<qvsim::RoutingAliasSpec>;

// A section text holding the aliases; `edit` may change its "RoutingAliases" element.
std::string section(const Aliases& aliases, std::optional<std::string> count = {},
                    const std::function<void(qvsim::XmlElement&)>& edit = {}) {
  qvsim::XmlElement root{"TargetSpecificData", {}, {}, {}};
  root.add("BitfileVersion", "1.0");
  root.children.push_back(qvsim::routingAliasesElement(aliases, std::move(count)));
  if (edit) edit(root.at("RoutingAliases"));
  std::string text;
  root.render(text);
  return text;
}

TEST(TerminalAliasInfo, ReadsTheAliasesOfTheSection) {
  const struct {
    const char* what;
    std::string text;
    Map aliases;
  } cases[] = {
      {"two",
       section({{"PXI_Trig0", "StartTrigger0"}, {"PFI1", "DspReset"}}),
       {{"DspReset", "PFI1"}, {"StartTrigger0", "PXI_Trig0"}}},
      {"count 0", section({{"PFI0", "StartTrigger"}}, "0"), {}},
      {"no element", "", {}},
      {"blanks", " \n\t", {}},
      {"a comment", "<!-- none -->", {}},
      {"unparsable", "<TargetSpecificData><RoutingAliases>", {}},
      {"not XML", "RoutingAliases", {}},
      {"first definition wins", section({{"PFI0", "Trig"}, {"PFI1", "Trig"}}), {{"Trig", "PFI0"}}},
      {"empty original", section({{"", "Alias"}}), {{"Alias", ""}}},
      {"entities",
       section({{"a&amp;b", "&lt;x&gt;"}, {"&quot;&apos;", "&amp;lt;"}}),
       {{"<x>", "a&b"}, {"&lt;", "\"'"}}},
      {"numeric references stay", section({{"&#65;", "n"}}), {{"n", "&#65;"}}},
      {"hexadecimal count",
       section({{"PFI0", "a"}, {"PFI1", "b"}}, "0x2"),
       {{"a", "PFI0"}, {"b", "PFI1"}}},
      {"elements in any order",
       section({{"PFI0", "a"}, {"PFI1", "b"}}, {},
               [](qvsim::XmlElement& list) {
                 std::swap(list.children[0], list.children[2]);
                 std::swap(list.at("Alias0").children[0], list.at("Alias0").children[1]);
                 list.add("Other", "x");
               }),
       {{"a", "PFI0"}, {"b", "PFI1"}}},
      {"byte-order mark", "\xEF\xBB\xBF" + section({{"PFI0", "a"}}), {{"a", "PFI0"}}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(TerminalAliasInfo(c.text).aliases(), c.aliases) << c.what;
  }
}

TEST(TerminalAliasInfo, AMissingElementOrABadCountFailsTheRead) {
  const Aliases two = {{"PFI0", "a"}, {"PFI1", "b"}};
  const struct {
    const char* what;
    std::string text;
  } cases[] = {
      {"count 2, one alias", section({{"PFI0", "a"}}, "2")},
      {"no RoutingAliases", "<TargetSpecificData><Other/></TargetSpecificData>"},
      {"no Count", section(two, {}, [](qvsim::XmlElement& list) { list.remove("Count"); })},
      {"count not a number", section(two, "two")},
      {"no Original",
       section(two, {}, [](qvsim::XmlElement& list) { list.remove("Alias1/Original"); })},
      {"no Alias", section(two, {}, [](qvsim::XmlElement& list) { list.remove("Alias0/Alias"); })},
      {"element name in another case",
       section(two, {}, [](qvsim::XmlElement& list) { list.at("Alias1").name = "alias1"; })},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(raised([&] { TerminalAliasInfo aliases(c.text); }).first, -61070) << c.what;
  }
}

TEST(TerminalAliasInfo, ReadsTheSectionOfABitfile) {
  qvsim::TargetSpecificSpec specific;
  specific.routingAliases = Aliases{{"PXI_Trig1", "StartTrigger2"}, {"a&amp;b", "x"}};
  const std::string text = qvsim::BitfileBuilder().targetSpecific(specific).text();
  EXPECT_EQ(TerminalAliasInfo(qvkel::Bitfile(text.c_str(), false, false)).aliases(),
            (Map{{"StartTrigger2", "PXI_Trig1"}, {"x", "a&b"}}));

  const std::string plain = qvsim::BitfileBuilder().text();
  EXPECT_TRUE(TerminalAliasInfo(qvkel::Bitfile(plain.c_str(), false, false)).aliases().empty());
}

TEST(TerminalAliasInfo, TheWalkVisitsIndicesInOrderAndTheBareBaseAtZero) {
  const TerminalAliasInfo aliases(section({{"t", "StartTrigger"},
                                           {"t", "StartTrigger31"},
                                           {"t", "StartTrigger3"},
                                           {"t", "StartTrigger32"},
                                           {"t", "StartTriggerForMosk1"},
                                           {"t", "startTrigger1"}}));
  std::vector<std::pair<std::string, unsigned>> seen;
  const auto record = [&](const char* alias, unsigned index) { seen.emplace_back(alias, index); };
  aliases.forEachIndexedAlias("StartTrigger", record, 32);
  EXPECT_EQ(seen, (std::vector<std::pair<std::string, unsigned>>{
                      {"StartTrigger", 0}, {"StartTrigger3", 3}, {"StartTrigger31", 31}}));
  seen.clear();
  aliases.forEachIndexedAlias("StartTrigger", record, 0);
  EXPECT_TRUE(seen.empty());
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
  const auto bytes = [](const TerminalAliasInfo& aliases, qverr::Status& status) {
    qvhtl::ByteVector buffer;
    aliases.serialize(buffer, status);
    return std::vector<uint8_t>(buffer.data(), buffer.data() + buffer.size());
  };
  qverr::Status status;
  EXPECT_EQ(bytes(TerminalAliasInfo(section({{"xyz", "ab"}})), status),
            (std::vector<uint8_t>{0x03, 0, 0, 0, 'x', 'y', 'z', 0x02, 0, 0, 0, 'a', 'b'}));
  EXPECT_EQ(bytes(TerminalAliasInfo(section({{"p", "b"}, {"", "a"}})), status),
            (std::vector<uint8_t>{0, 0, 0, 0, 0x01, 0, 0, 0, 'a', 0x01, 0, 0, 0, 'p', 0x01, 0, 0, 0,
                                  'b'}));
  EXPECT_TRUE(bytes(TerminalAliasInfo(std::string()), status).empty());
  EXPECT_EQ(status.code, 0);
  status.code = -52000;
  EXPECT_TRUE(bytes(TerminalAliasInfo(section({{"xyz", "ab"}})), status).empty());
}

}  // namespace
