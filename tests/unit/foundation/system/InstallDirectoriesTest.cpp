#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "foundation/system/InstallDirectories.h"
#include "sim/kernel/Testbed.h"
#include "sim/libs/MakerLibraries.h"

namespace {

const std::vector<std::string> kNames = {
    "prefixdir",      "execprefixdir", "bindir",       "sbindir",         "libdir",
    "lib32dir",       "lib64dir",      "nativelibdir", "multiarchlibdir", "libexecdir",
    "sharedstatedir", "datarootdir",   "datadir",      "sysconfdir",      "localstatedir",
    "runstatedir",    "includedir",    "docdir",       "initddir"};

const char* path(sim::libs::Variant v) {
  return sim::libs::standInPath("libqvrelocations.so.0", v);
}

TEST(InstallDirectories, DefaultsInTableOrder) {
  qvsysq::InstallDirectoryTable table;
  ASSERT_EQ(table.entries().size(), kNames.size());
  for (size_t i = 0; i < kNames.size(); ++i) EXPECT_EQ(table.entries()[i].name, kNames[i]);
  EXPECT_EQ(table.find("multiarchlibdir")->currentPath, "/usr/lib/x86_64-linux-gnu");
  EXPECT_EQ(table.find("nativelibdir")->defaultPath, "/usr/lib64");
  EXPECT_EQ(table.find("runstatedir")->currentPath, "/var/run");
  EXPECT_EQ(table.find("initddir")->currentPath, "/etc/init.d");
  EXPECT_EQ(table.find("BINDIR"), nullptr);
  EXPECT_EQ(table.find(nullptr), nullptr);
}

TEST(InstallDirectories, RelocatedThroughTheLibrary) {
  sim::Testbed testbed;
  testbed.setLibrary("libqvrelocations.so.0", sim::LibraryChoice::Present,
                     path(sim::libs::Variant::Present));
  sim::libs::RelocationsControl control;
  control.reset();
  control.set("bindir", 1, "/opt/relocated/bin");
  control.set("docdir", 0);

  qvsysq::InstallDirectoryTable table;
  table.relocate();
  EXPECT_EQ(table.find("bindir")->currentPath, "/opt/relocated/bin");
  EXPECT_EQ(table.find("bindir")->defaultPath, "/usr/bin");
  EXPECT_EQ(table.find("docdir")->currentPath, "/usr/share/doc");
  EXPECT_EQ(table.status().code, 0);
  // Every name asked once, in table order.
  EXPECT_EQ(control.calls(), kNames);
  control.reset();
}

TEST(InstallDirectories, NegativeAnswerMarksTheTable) {
  sim::Testbed testbed;
  testbed.setLibrary("libqvrelocations.so.0", sim::LibraryChoice::Present,
                     path(sim::libs::Variant::Present));
  sim::libs::RelocationsControl control;
  control.reset();
  control.set("libdir", -3);
  control.set("datadir", 1, "/srv/data");
  qvsysq::InstallDirectoryTable table;
  table.relocate();
  EXPECT_EQ(table.status().code, -52006);
  EXPECT_EQ(table.find("libdir")->status, -52006);
  EXPECT_EQ(table.find("libdir")->currentPath, "/usr/lib");
  // Names after the failing one are still asked.
  EXPECT_EQ(table.find("datadir")->currentPath, "/srv/data");
  control.reset();
}

TEST(InstallDirectories, MissingLibraryOrSymbolLeavesDefaultsSilently) {
  sim::Testbed testbed;
  for (auto choice : {sim::LibraryChoice::Absent, sim::LibraryChoice::MissingSymbol}) {
    testbed.setLibrary("libqvrelocations.so.0", choice, path(sim::libs::Variant::MissingSymbol));
    qvsysq::InstallDirectoryTable table;
    table.relocate();
    EXPECT_EQ(table.status().code, 0);
    EXPECT_EQ(table.find("bindir")->currentPath, "/usr/bin");
    EXPECT_EQ(table.find("sysconfdir")->currentPath, "/etc");
  }
}

TEST(InstallDirectories, ProcessTableIsBuiltAtLoad) {
  // No relocation library is reachable at load in a test process.
  EXPECT_STREQ(qvsysq::getInstallDirectory("sysconfdir"), "/etc");
  EXPECT_STREQ(qvsysq::getInstallDirectory("datarootdir"), "/usr/share");
  EXPECT_EQ(qvsysq::getInstallDirectory("nosuchdir"), nullptr);
}

}  // namespace
