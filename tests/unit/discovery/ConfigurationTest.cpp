#include <fcntl.h>
#include <sys/stat.h>

#include <boost/numeric/conversion/converter_policies.hpp>
#include <locale>
#include <sstream>

#include "DiscoveryTestSupport.h"
#include "foundation/errors/Debug.h"
#include "tests/unit/foundation/system/DetailReader.h"

namespace {

using disctest::AliasFile;
using disctest::aliasOf;
using disctest::catchError;
using qvjsonconfig::ConfigurationData;

constexpr const char* kA = "Model=BRM-6812;PCISlotPath=PCI0/BUS3/DEV0";
constexpr const char* kB = "Model=BRM-6812;Chassis=1;Slot=2";

// The canonical document with these (token, alias) members, as cJSON prints it.
std::string document(const std::vector<std::pair<std::string, std::string>>& devices) {
  std::string text =
      "{\n\t\"version\":\t1,\n\t\"oldest_compatible_version\":\t1,\n\t\"devices\":\t{";
  for (size_t i = 0; i < devices.size(); ++i) {
    text += (i == 0 ? "\n" : ",\n");
    text += "\t\t\"" + devices[i].first + "\":\t{\n\t\t\t\"alias\":\t\"" + devices[i].second +
            "\"\n\t\t}";
  }
  text += devices.empty() ? "}\n}" : "\n\t}\n}";
  return text;
}

struct timespec modificationTime(const std::string& path) {
  struct stat info {};
  ::stat(path.c_str(), &info);
  return info.st_mtim;
}

// Sets the file's time far back, so that any rewrite shows.
void backdate(const std::string& path) {
  const struct timespec times[2] = {{1000, 0}, {1000, 0}};
  ::utimensat(AT_FDCWD, path.c_str(), times, 0);
}

TEST(Configuration, AnEmptyFileGetsDefaultAliasesForPresentModules) {
  AliasFile alias;
  alias.load({kA, kB});
  EXPECT_EQ(alias.text(), document({{kA, "Vandrel1"}, {kB, "Vandrel2"}}));
}

TEST(Configuration, ACanonicalFileIsNotRewritten) {
  AliasFile alias;
  alias.write(document({{kA, "bench"}, {kB, "Vandrel1"}}));
  backdate(alias.path());
  alias.load({kB, kA});
  EXPECT_EQ(modificationTime(alias.path()).tv_sec, 1000);
  // Nor when no module is present at all.
  alias.load();
  EXPECT_EQ(modificationTime(alias.path()).tv_sec, 1000);
}

TEST(Configuration, VersionRules) {
  struct Case {
    std::string text;
    int code;  // 0: a bad numeric conversion
  } cases[] = {
      {R"({"version": 0, "devices": {}})", -1074097794},
      {R"({"version": -0.5, "devices": {}})", -1074097794},
      {R"({"version": 1, "oldest_compatible_version": 2, "devices": {}})", -1074097795},
      {R"({"version": 3, "devices": {}})", -1074097795},
      {R"({"version": -1, "devices": {}})", 0},
      {R"({"version": 4294967296, "devices": {}})", 0},
      {R"({"version": 1e400, "devices": {}})", 0},
      {R"({"version": 1, "oldest_compatible_version": -7, "devices": {}})", 0},
      {R"({"version": "1", "devices": {}})", -52004},
      {R"({"devices": {}})", -52006},
      {R"({"version": 1})", -52006},
      {R"({"version": 1, "devices": []})", -52004},
      {R"([1])", -52004},
      {R"({"version": 1, "devices": {"a": {}, "a": {}}})", -52013},
      {R"({"version": 1,)", -52005},
      // The entry of a present module must be an object to take an alias.
      {std::string(R"({"version": 1, "devices": {")") + kA + R"(": ["x"]}})", -52004},
  };
  for (const Case& c : cases) {
    AliasFile alias;
    alias.write(c.text);
    if (c.code == 0) {
      EXPECT_THROW(alias.load({kA}), boost::numeric::bad_numeric_cast) << c.text;
    } else {
      EXPECT_EQ(catchError([&] { alias.load({kA}); }).code, c.code) << c.text;
    }
    EXPECT_EQ(alias.text(), c.text);
  }
}

TEST(Configuration, AVersionFailureNamesTheVersions) {
  AliasFile alias;
  alias.write(R"({"version": 7.9, "oldest_compatible_version": 2, "devices": {}})");
  EXPECT_EQ(
      catchError([&] { alias.load(); }).detail,
      R"({"error_constant":"qvmxl::kErrorFileTooNewForSoftware","file":"Configuration",)"
      R"("line":251,"component":"qvvandrelbrenmooru","translator":"dovrane_qvvandrelapi",)"
      R"("translator_info":{"is_debug":"0","version":1,"ordered_data":[)"
      R"({"type":"usage","usage":"kUsageTypeFileVersion","value":7,"value_type":"uint32_t"},)"
      R"({"type":"usage","usage":"kUsageTypeSupportedVersion","value":1,"value_type":"uint32_t"},)"
      R"({"type":"usage","usage":"kUsageTypeOldestCompatibleVersion","value":1,)"
      R"("value_type":"uint32_t"}]}})");
}

std::string g_debugOutput;

TEST(Configuration, AFailedLoadIsReportedAndLeavesTheFileUnlocked) {
  AliasFile alias;
  alias.write("not JSON");
  const int32_t level = qvsdbg_level;
  const qvsdbg_OutputHook output = qvsdbg_outputHook;
  qvsdbg_level = 16384;
  qvsdbg_outputHook = [](const char* text) { g_debugOutput += text; };
  EXPECT_EQ(catchError([&] { alias.load(); }).code, -52005);
  qvsdbg_outputHook = output;
  qvsdbg_level = level;
  EXPECT_NE(g_debugOutput.find(
                "Fatal configuration error! {\"error_constant\":\"jsonErrorsInvalidJSON\""),
            std::string::npos)
      << g_debugOutput;
  // Unlocked: another process may take the file; and the next session of this process proceeds
  // once the file is mended.
  EXPECT_FALSE(disctest::lockedElsewhere(alias.path()));
  alias.write("");
  alias.load({kA});
  EXPECT_EQ(alias.text(), document({{kA, "Vandrel1"}}));
}

TEST(Configuration, ANewerCompatibleFileIsRewrittenInThisVersion) {
  AliasFile alias;
  alias.write(R"({"version": 2, "oldest_compatible_version": 1, "extra": [1],
                  "devices": {"absent": {"alias": "old", "colour": "red"}}})");
  alias.load({kA});
  const std::string expected =
      "{\n\t\"version\":\t1,\n\t\"oldest_compatible_version\":\t1,\n\t\"devices\":\t{\n"
      "\t\t\"absent\":\t{\n\t\t\t\"alias\":\t\"old\",\n\t\t\t\"colour\":\t\"red\"\n\t\t},\n"
      "\t\t\"" +
      std::string(kA) + "\":\t{\n\t\t\t\"alias\":\t\"Vandrel1\"\n\t\t}\n\t}\n}";
  EXPECT_EQ(alias.text(), expected);
}

TEST(Configuration, EntriesOfAbsentModulesComeFirstAndSurvive) {
  AliasFile alias;
  alias.write(document({{kA, "a"}, {"gone", "g"}, {kB, "b"}}));
  alias.load({kB, kA, "new"});
  EXPECT_EQ(alias.text(), document({{"gone", "g"}, {kB, "b"}, {kA, "a"}, {"new", "Vandrel1"}}));

  // Whatever an absent module's entry holds is kept as it is.
  AliasFile odd;
  odd.write(R"({"version": 1, "devices": {"gone": ["x", {"alias": 1}]}})");
  odd.load({kA});
  auto session = odd.open();
  EXPECT_EQ(qvjsonlh::print(session->getData().findEntry("gone")->getAttributes(
                qvjsonconfig::kPersistedAttributes)),
            "[\"x\", {\n\t\t\"alias\":\t1\n\t}]");
}

// Tokens are matched byte for byte: an entry whose key differs from a present module's token
// only in case is another module's, and the file settles after one rewrite.
TEST(Configuration, TokensAreMatchedByteForByte) {
  AliasFile alias;
  const std::string lower = "model=brm-6812;chassis=1;slot=2";
  alias.write(document({{lower, "Vandrel1"}}));
  alias.load({kB});
  EXPECT_EQ(alias.text(), document({{lower, "Vandrel1"}, {kB, "Vandrel2"}}));
  backdate(alias.path());
  alias.load({kB});
  EXPECT_EQ(modificationTime(alias.path()).tv_sec, 1000);
}

// A member named twice in an entry is kept as it is, and such a file settles too: otherwise every
// session would rewrite it and wake every process's directory monitor again.
TEST(Configuration, AnEntryWithARepeatedMemberSettles) {
  AliasFile alias;
  alias.write(std::string(R"({"version": 1, "devices": {"gone": {"alias": "a", "alias": "b"},
      ")") + kA +
              R"(": {"alias": "c", "alias": "d"}}})");
  alias.load({kA});
  const std::string written = alias.text();
  EXPECT_NE(written.find("\"b\""), std::string::npos);
  backdate(alias.path());
  alias.load({kA});
  EXPECT_EQ(modificationTime(alias.path()).tv_sec, 1000);
  EXPECT_EQ(alias.text(), written);
}

TEST(Configuration, AModuleWithoutTokenIsLeftOut) {
  AliasFile alias;
  alias.load({kA, "", kB});
  EXPECT_EQ(alias.text(), document({{kA, "Vandrel1"}, {kB, "Vandrel2"}}));
}

TEST(Configuration, AModuleListedTwiceHasOneEntry) {
  AliasFile alias;
  alias.load({kA, kA});
  EXPECT_EQ(alias.text(), document({{kA, "Vandrel1"}}));
}

struct CountingTarget : qvjsonconfig::UpdateableInterface {
  void update(const ConfigurationData& data) override {
    ++updates;
    entries = data.getEntries().size();
  }
  int updates = 0;
  size_t entries = 0;
};

TEST(Configuration, CommitWritesOnlyChangesAndTellsTheTarget) {
  AliasFile alias;
  CountingTarget target;
  {
    auto session = alias.open({kA}, &target);
    EXPECT_EQ(target.updates, 1);  // the new entry
    session->commit();
    EXPECT_EQ(target.updates, 1);
    disctest::setAlias(session->getData(), kA, "bench_1");
    session->commit();
    EXPECT_EQ(target.updates, 2);
    EXPECT_EQ(target.entries, 1u);
  }
  EXPECT_EQ(alias.text(), document({{kA, "bench_1"}}));
  // Destroying a session does not commit.
  {
    auto session = alias.open({kA});
    disctest::setAlias(session->getData(), kA, "dropped");
  }
  EXPECT_EQ(alias.text(), document({{kA, "bench_1"}}));
}

TEST(ConfigurationData, EntriesAndCopies) {
  ConfigurationData data;
  data.addEntry(kA, qvjsonlh::parse(R"({"alias": "x"})"), qvjsonlh::createObject());
  const auto duplicate =
      catchError([&] { data.addEntry(kA, qvjsonlh::createObject(), qvjsonlh::createObject()); });
  EXPECT_EQ(duplicate.code, -52013);
  EXPECT_EQ(qvtest::detailString(duplicate.detail.c_str(), {"error_constant"}),
            "qvvuskerr_objectNameCollision");
  EXPECT_NE(
      duplicate.detail.find(std::string(R"({"type":"usage","usage":"kUsageTypeToken","value":")") +
                            kA + R"(","value_type":"string"})"),
      std::string::npos);
  const auto unknown = catchError([&] { data.getEntry(kB); });
  EXPECT_EQ(unknown.code, -1074097793);
  EXPECT_EQ(qvtest::detailString(unknown.detail.c_str(), {"error_constant"}),
            "qvmxl::kErrorDeviceEntryNotFound");
  EXPECT_EQ(catchError([&] { data.removeEntry(kB); }).code, -1074097793);

  // A copy has trees of its own.
  ConfigurationData copy(data);
  disctest::setAlias(copy, kA, "y");
  EXPECT_EQ(aliasOf(data, kA), "x");
  EXPECT_EQ(aliasOf(copy, kA), "y");
  EXPECT_FALSE(*data.getEntry(kA) == *copy.getEntry(kA));
  copy = data;
  EXPECT_TRUE(*data.getEntry(kA) == *copy.getEntry(kA));

  data.removeEntry(kA);
  EXPECT_EQ(data.findEntry(kA), nullptr);
  EXPECT_EQ(cJSON_GetArraySize(data.getRoot(qvjsonconfig::kPersistedAttributes)), 0);
  EXPECT_EQ(cJSON_GetArraySize(data.getRoot(qvjsonconfig::kRuntimeAttributes)), 0);
  EXPECT_NE(copy.findEntry(kA), nullptr);
}

TEST(AliasFactory, TheSmallestFreeNumberWithoutRegardToCase) {
  struct Case {
    std::vector<const char*> taken;
    const char* next;
  } cases[] = {
      {{}, "P1"},
      {{"P1", "p3"}, "P2"},
      {{"P1", "P2"}, "P3"},
      {{"p1", "x", "P2", ""}, "P3"},
  };
  for (const Case& c : cases) {
    ConfigurationData data;
    for (size_t i = 0; i < c.taken.size(); ++i) {
      data.addEntry("t" + std::to_string(i),
                    qvjsonlh::parse((std::string(R"({"alias": ")") + c.taken[i] + "\"}").c_str()),
                    qvjsonlh::createObject());
    }
    data.addEntry("no alias", qvjsonlh::createObject(), qvjsonlh::createObject());
    qvjsonconfig::SimpleAliasFactory factory("P");
    EXPECT_EQ(factory.makeUniqueAlias(data), c.next);
  }
  ConfigurationData broken;
  broken.addEntry("t", qvjsonlh::parse(R"({"alias": 5})"), qvjsonlh::createObject());
  EXPECT_EQ(catchError([&] { qvjsonconfig::SimpleAliasFactory("P").makeUniqueAlias(broken); }).code,
            -52004);
}

TEST(AliasFactory, AnExistingAliasEvenEmptyIsKept) {
  AliasFile alias;
  alias.write(R"({"version": 1, "devices": {")" + std::string(kA) + R"(": {"Alias": ""}}})");
  alias.load({kA, kB});
  auto session = alias.open({kA, kB});
  EXPECT_EQ(aliasOf(session->getData(), kA), "");
  EXPECT_EQ(aliasOf(session->getData(), kB), "Vandrel1");
}

// A locale that groups digits by three with a comma.
struct Grouping : std::numpunct<char> {
  char do_thousands_sep() const override { return ','; }
  std::string do_grouping() const override { return "\3"; }
};

TEST(AliasFactory, DefaultAliasesAreDecimalWhateverTheLocale) {
  const std::locale previous =
      std::locale::global(std::locale(std::locale::classic(), new Grouping));
  std::ostringstream grouped;
  grouped << 1000u;
  ConfigurationData data;
  for (int n = 1; n < 1000; ++n) {
    data.addEntry("t" + std::to_string(n),
                  qvjsonlh::parse(("{\"alias\": \"Vandrel" + std::to_string(n) + "\"}").c_str()),
                  qvjsonlh::createObject());
  }
  const std::string next = qvjsonconfig::SimpleAliasFactory("Vandrel").makeUniqueAlias(data);
  std::locale::global(previous);
  EXPECT_EQ(grouped.str(), "1,000");  // the locale would group
  EXPECT_EQ(next, "Vandrel1000");
}

}  // namespace
