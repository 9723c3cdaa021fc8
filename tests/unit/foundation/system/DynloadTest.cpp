#include <dlfcn.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "foundation/errors/ErrorCodes.h"
#include "foundation/system/dynload.h"
#include "sim/kernel/Testbed.h"
#include "sim/libs/MakerLibraries.h"
#include "tests/unit/foundation/system/DetailReader.h"

namespace {

using qvtest::detailNumber;
using qvtest::detailString;

const char* relocationsPath() {
  return sim::libs::standInPath("libqvrelocations.so.0", sim::libs::Variant::Present);
}

TEST(Dynload, LoadsAStandInAndResolvesItsEntryPoint) {
  qverr::Status status;
  void* handle = qvdynlib_load(relocationsPath(), RTLD_NOW | RTLD_GLOBAL, status);
  ASSERT_NE(handle, nullptr);
  EXPECT_EQ(status.code, 0);
  void* symbol = qvdynlib_getSymbol(handle, "get_relocated_dir", status);
  EXPECT_NE(symbol, nullptr);
  EXPECT_EQ(status.code, 0);
  EXPECT_EQ(status.detail, nullptr);
  qvdynlib::AutoLib owner(handle);
}

TEST(Dynload, MissingLibraryNamesItInTheDetail) {
  sim::Testbed testbed;
  testbed.setLibrary("libqvrelocations.so.0", sim::LibraryChoice::Absent);
  qverr::Status status;
  void* handle = qvdynlib_load("libqvrelocations.so.0", RTLD_NOW, status);
  EXPECT_EQ(handle, nullptr);
  EXPECT_EQ(status.code, -52005);
  const char* d = status.detailText();
  EXPECT_EQ(detailString(d, {"error_constant"}), "qvvuskerr_invalidParameter");
  EXPECT_EQ(detailString(d, {"file"}), "dynload");
  EXPECT_EQ(detailNumber(d, {"line"}), 65);
  EXPECT_EQ(detailString(d, {"component"}), "qvvandrelbrenmooru");
  EXPECT_EQ(detailString(d, {"qvdynlib_debug", "debug"}), "failed to qvdynlib_load library");
  EXPECT_EQ(detailString(d, {"qvdynlib_debug", "path"}), "libqvrelocations.so.0");
  EXPECT_EQ(detailString(d, {"internal_error", "api"}), "dlerror");
  const auto message = detailString(d, {"internal_error", "string"});
  ASSERT_TRUE(message.has_value());
  EXPECT_NE(message->find("No such file"), std::string::npos) << *message;
  // The loader's message was taken and cleared.
  EXPECT_EQ(dlerror(), nullptr);
}

TEST(Dynload, MissingSymbolNamesItInTheDetail) {
  qverr::Status status;
  qvdynlib::AutoLib library(qvdynlib_load(
      sim::libs::standInPath("libqvrelocations.so.0", sim::libs::Variant::MissingSymbol), RTLD_NOW,
      status));
  ASSERT_NE(library.handle(), nullptr);
  EXPECT_EQ(qvdynlib_getSymbol(library.handle(), "get_relocated_dir", status), nullptr);
  EXPECT_EQ(status.code, -52005);
  const char* d = status.detailText();
  EXPECT_EQ(detailNumber(d, {"line"}), 140);
  EXPECT_EQ(detailString(d, {"qvdynlib_debug", "debug"}), "failed to get symbol");
  EXPECT_EQ(detailString(d, {"qvdynlib_debug", "qvdynlib_symbol"}), "get_relocated_dir");
  EXPECT_EQ(detailString(d, {"internal_error", "api"}), "dlerror");
  const auto message = detailString(d, {"internal_error", "string"});
  ASSERT_TRUE(message.has_value());
  EXPECT_NE(message->find("get_relocated_dir"), std::string::npos) << *message;
}

TEST(Dynload, StatusInErrorCallsNoLoader) {
  sim::Testbed testbed;
  testbed.setLibrary("libqvrelocations.so.0", sim::LibraryChoice::Absent);
  qverr::Status status;
  status.setCode(-52000);
  EXPECT_EQ(qvdynlib_load(relocationsPath(), RTLD_NOW, status), nullptr);
  EXPECT_EQ(status.code, -52000);
  EXPECT_EQ(status.detail, nullptr);
  EXPECT_EQ(qvdynlib_getSymbol(RTLD_DEFAULT, "malloc", status), nullptr);
  EXPECT_EQ(status.detail, nullptr);
}

TEST(Dynload, WarningDoesNotStopLoading) {
  qverr::Status status;
  status.setCode(7);
  qvdynlib::AutoLib library(qvdynlib_load(relocationsPath(), RTLD_NOW, status));
  EXPECT_NE(library.handle(), nullptr);
  EXPECT_EQ(status.code, 7);
}

// The load-once state lives as long as the process: every run of a test needs a name of its own.
std::string freshLibraryName(const char* base) {
  static int runs = 0;
  return std::string(base) + "-" + std::to_string(++runs) + ".so";
}

TEST(DynloadOnce, FailedLoadIsRetriedAndSuccessIsKept) {
  sim::Testbed testbed;
  const std::string fresh = freshLibraryName("libqvsim-once-retry");
  const char* name = fresh.c_str();
  testbed.setLibrary(name, sim::LibraryChoice::Absent);
  EXPECT_EQ(qvdynlib::loadOnceAndGetSymbol("get_relocated_dir", name), nullptr);
  testbed.setLibrary(name, sim::LibraryChoice::Present, relocationsPath());
  void* first = qvdynlib::loadOnceAndGetSymbol("get_relocated_dir", name);
  EXPECT_NE(first, nullptr);
  // Once loaded the library is not looked for again: its absence now changes nothing.
  testbed.setLibrary(name, sim::LibraryChoice::Absent);
  EXPECT_EQ(qvdynlib::loadOnceAndGetSymbol("get_relocated_dir", name), first);
  EXPECT_EQ(qvdynlib::loadOnceAndGetSymbol("no_such_entry_point", name), nullptr);
}

TEST(DynloadOnce, ConcurrentCallersAllGetTheSymbol) {
  sim::Testbed testbed;
  const std::string fresh = freshLibraryName("libqvsim-once-threads");
  const char* name = fresh.c_str();
  testbed.setLibrary(name, sim::LibraryChoice::Present, relocationsPath());
  std::vector<std::thread> threads;
  std::vector<void*> results(8, nullptr);
  std::atomic<bool> go{false};
  for (size_t i = 0; i < results.size(); ++i) {
    threads.emplace_back([&, i] {
      while (!go.load()) std::this_thread::yield();
      results[i] = qvdynlib::loadOnceAndGetSymbol("get_relocated_dir", name);
    });
  }
  go.store(true);
  for (auto& t : threads) t.join();
  ASSERT_NE(results[0], nullptr);
  for (void* r : results) EXPECT_EQ(r, results[0]);
  // The library was loaded once: after removing it from the testbed the lookup still works.
  testbed.setLibrary(name, sim::LibraryChoice::Absent);
  EXPECT_EQ(qvdynlib::loadOnceAndGetSymbol("get_relocated_dir", name), results[0]);
}

TEST(Dynload, AutoLibWithInterfaceKeepsTheTable) {
  struct Table {
    int (*getRelocatedDir)(const char*, char*, int);
  };
  qverr::Status status;
  void* handle = qvdynlib_load(relocationsPath(), RTLD_NOW, status);
  ASSERT_NE(handle, nullptr);
  Table table{reinterpret_cast<int (*)(const char*, char*, int)>(
      qvdynlib_getSymbol(handle, "get_relocated_dir", status))};
  qvdynlib::AutoLibWithInterface<Table> lib(handle, table);
  char buffer[16];
  EXPECT_EQ(lib.entries().getRelocatedDir("unknown-name", buffer, sizeof buffer), 0);
  EXPECT_EQ(lib.handle(), handle);
}

}  // namespace
