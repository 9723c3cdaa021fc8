#include <sys/stat.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "DriverTestbed.h"
#include "foundation/driver/tBasicString.h"
#include "foundation/driver/tDeviceInterfaceIterator.h"

namespace {

using drivertest::DriverTestbed;
using drivertest::kDeviceInterface;
using drivertest::kRoutingInterface;
using nQVVANDRELBRENMOORU_22_8::nQVVUSK000::tBasicString;
using nQVVANDRELBRENMOORU_22_8::nQVVUSK000::tDeviceInterfaceIterator;
using nQVVANDRELBRENMOORU_22_8::nQVVUSK000::tDeviceInterfaceIteratorForDriver;
using nQVVANDRELBRENMOORU_22_8::nQVVUSK000::tInterfacePath;
using nQVVUSKS100::tStatus;

struct Found {
  std::string entry;
  std::string driver;
  std::string path;
};

std::vector<Found> enumerate(tDeviceInterfaceIterator& it, tStatus* status) {
  std::vector<Found> found;
  for (; !it.isEnd(); it.next()) {
    tBasicString driver;
    it.getDriverName(&driver, status);
    tInterfacePath path;
    it.getInterfacePath(&path, status);
    found.push_back({it.current(), driver.c_str(), std::string(path.text, path.length - 1)});
  }
  return found;
}

using Enumeration = DriverTestbed;

TEST_F(Enumeration, FindsTheDeviceInterfaceOfBothInstances) {
  tStatus status;
  tDeviceInterfaceIterator it(kDeviceInterface, &status);
  const std::vector<Found> found = enumerate(it, &status);
  EXPECT_EQ(status.code, 0);
  ASSERT_EQ(found.size(), 2u);
  EXPECT_EQ(found[0].entry,
            "/proc/driver/qv/qvdev0/deviceInterfaces/qvvandrelbrenmoork_vandrelbrenmoor\\0");
  EXPECT_EQ(found[0].driver, "qvdev0");
  EXPECT_EQ(found[0].path, first.deviceInterface().nodePath());
  EXPECT_EQ(found[1].driver, "qvdev1");
  EXPECT_EQ(found[1].path, second.deviceInterface().nodePath());
}

TEST_F(Enumeration, RoutingInterfaceLeadsToTheDeviceInterfaceOfItsInstance) {
  tStatus status;
  tDeviceInterfaceIterator routing(kRoutingInterface, &status);
  const std::vector<Found> found = enumerate(routing, &status);
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0].driver, "qvdev1");
  EXPECT_EQ(found[0].path, second.routingInterface().nodePath());

  tDeviceInterfaceIteratorForDriver device(kDeviceInterface, found[0].driver.c_str(), &status);
  const std::vector<Found> same = enumerate(device, &status);
  EXPECT_EQ(status.code, 0);
  ASSERT_EQ(same.size(), 1u);
  EXPECT_EQ(same[0].driver, "qvdev1");
  EXPECT_EQ(same[0].path, second.deviceInterface().nodePath());
}

TEST_F(Enumeration, OnlyNamesWithTheBackslashSeparatorMatch) {
  // "<name>\<suffix>" matches; a name that merely begins the same way does not.
  testbed.addInterface("qvdev0", std::string(kDeviceInterface) + "_other", "0", "/dev/qv/x");
  testbed.addInterface("qvdev0", kDeviceInterface, "7", "/dev/qv/seven");
  tStatus status;
  tDeviceInterfaceIterator it(kDeviceInterface, &status);
  const std::vector<Found> found = enumerate(it, &status);
  ASSERT_EQ(found.size(), 3u);
  EXPECT_EQ(found[1].path, "/dev/qv/seven");
}

TEST_F(Enumeration, NoMatchGivesAnEmptyIteratorAndCleanStatus) {
  tStatus status;
  tDeviceInterfaceIterator it("no_such_interface", &status);
  EXPECT_TRUE(it.isEnd());
  EXPECT_EQ(it.current(), nullptr);
  EXPECT_EQ(status.code, 0);
  it.next();
  EXPECT_TRUE(it.isEnd());

  tDeviceInterfaceIteratorForDriver none(kRoutingInterface, "qvdev0", &status);
  EXPECT_TRUE(none.isEnd());
  EXPECT_EQ(status.code, 0);
}

TEST_F(Enumeration, ErrorStatusSearchesNothing) {
  tStatus status;
  status.code = -52005;
  tDeviceInterfaceIterator it(kDeviceInterface, &status);
  EXPECT_TRUE(it.isEnd());
  tDeviceInterfaceIteratorForDriver forDriver(kDeviceInterface, "qvdev0", &status);
  EXPECT_TRUE(forDriver.isEnd());
  EXPECT_EQ(status.code, -52005);
}

TEST_F(Enumeration, InterfacePathOf255BytesIsAcceptedAnd256IsNot) {
  const std::string longest(255, 'p');
  testbed.removeInterface("qvdev0", kDeviceInterface, "0");
  testbed.addInterface("qvdev0", kDeviceInterface, "0", longest);
  testbed.removeInterface("qvdev1", kDeviceInterface, "0");
  testbed.addInterface("qvdev1", kDeviceInterface, "0", longest + "q");

  tStatus status;
  tDeviceInterfaceIterator it(kDeviceInterface, &status);
  ASSERT_FALSE(it.isEnd());
  tInterfacePath path;
  it.getInterfacePath(&path, &status);
  EXPECT_EQ(status.code, 0);
  EXPECT_EQ(path.length, 256u);
  EXPECT_EQ(std::string(path.text), longest);

  it.next();
  ASSERT_FALSE(it.isEnd());
  tInterfacePath untouched;
  std::memcpy(untouched.text, "before", 7);
  untouched.length = 7;
  it.getInterfacePath(&untouched, &status);
  EXPECT_EQ(status.code, -52019);
  EXPECT_STREQ(status.file, "linuxDevEnumHelper");
  EXPECT_EQ(status.line, 72u);
  EXPECT_STREQ(untouched.text, "before");
  EXPECT_EQ(untouched.length, 7u);
}

TEST_F(Enumeration, InterfacePathIsKeptUnchanged) {
  testbed.removeInterface("qvdev0", kDeviceInterface, "0");
  testbed.addInterface("qvdev0", kDeviceInterface, "0", "/dev/qv/node \n");
  tStatus status;
  tDeviceInterfaceIterator it(kDeviceInterface, &status);
  tInterfacePath path;
  it.getInterfacePath(&path, &status);
  EXPECT_EQ(status.code, 0);
  EXPECT_STREQ(path.text, "/dev/qv/node \n");
  EXPECT_EQ(path.length, 15u);

  tInterfacePath empty;
  EXPECT_EQ(empty.length, 1u);
  EXPECT_STREQ(empty.text, "");
}

TEST_F(Enumeration, InterfacePathProblems) {
  tStatus status;
  tDeviceInterfaceIterator it(kDeviceInterface, &status);
  it.getInterfacePath(nullptr, &status);
  EXPECT_EQ(status.code, -52019);
  EXPECT_EQ(status.line, 72u);

  testbed.removeFile(
      "/proc/driver/qv/qvdev0/deviceInterfaces/"
      "qvvandrelbrenmoork_vandrelbrenmoor\\0/interfacePath");
  tStatus missing;
  tInterfacePath path;
  it.getInterfacePath(&path, &missing);
  EXPECT_EQ(missing.code, -52006);
  EXPECT_STREQ(missing.file, "linuxDevEnumHelper");
  EXPECT_EQ(missing.line, 87u);

  tStatus error;
  error.code = -1;
  it.next();
  it.getInterfacePath(&path, &error);
  EXPECT_EQ(error.code, -1);
  EXPECT_EQ(path.length, 1u);
}

TEST_F(Enumeration, ReadPropertyCopiesOnlyWhatFits) {
  const std::string value = "PXIe-9999 module";
  first.setDeviceProperty("kelProductName", value);
  tStatus status;
  tDeviceInterfaceIterator it(kDeviceInterface, &status);

  char buffer[32];
  std::memset(buffer, '#', sizeof buffer);
  uint64_t length = 0;
  it.readProperty("deviceProperties", "kelProductName", buffer, value.size(), &length, &status);
  EXPECT_EQ(status.code, 0);
  EXPECT_EQ(length, value.size());
  EXPECT_EQ(std::string(buffer, value.size()), value);
  EXPECT_EQ(buffer[value.size()], '#') << "no terminator is added";

  std::memset(buffer, '#', sizeof buffer);
  length = 0;
  it.getDeviceProperty("kelProductName", buffer, value.size() - 1, &length, &status);
  EXPECT_EQ(status.code, -52019);
  EXPECT_STREQ(status.file, "linuxDevEnumHelper");
  EXPECT_EQ(status.line, 72u);
  EXPECT_EQ(length, value.size());
  EXPECT_EQ(buffer[0], '#');
}

TEST_F(Enumeration, SizeQueryWithoutBufferGivesLengthAndBufferTooSmall) {
  second.setBusPropertyU32("pciDeviceID", 0x7A2B);
  tStatus status;
  tDeviceInterfaceIteratorForDriver it(kDeviceInterface, "qvdev1", &status);
  uint64_t length = 0;
  it.getBusProperty("pciDeviceID", nullptr, 0, &length, &status);
  EXPECT_EQ(status.code, -52019);
  EXPECT_EQ(length, 4u);

  tStatus clean;
  uint32_t id = 0;
  it.getBusProperty("pciDeviceID", &id, sizeof id, nullptr, &clean);
  EXPECT_EQ(clean.code, 0);
  EXPECT_EQ(id, 0x7A2Bu);
}

TEST_F(Enumeration, ReadPropertyFailures) {
  tStatus status;
  tDeviceInterfaceIterator it(kDeviceInterface, &status);
  char buffer[8];
  uint64_t length = 99;
  it.getBusProperty("absent", buffer, sizeof buffer, &length, &status);
  EXPECT_EQ(status.code, -52006);
  EXPECT_STREQ(status.file, "linuxDevEnumHelper");
  EXPECT_EQ(status.line, 87u);
  EXPECT_EQ(length, 99u);

  it.next();
  it.next();
  ASSERT_TRUE(it.isEnd());
  tStatus past;
  it.getBusProperty("pciDeviceID", buffer, sizeof buffer, &length, &past);
  EXPECT_EQ(past.code, -52006);
  EXPECT_STREQ(past.file, "tDeviceInterfaceIterator");
  EXPECT_EQ(past.line, 171u);
}

// An entry that opens but cannot be read (here a folder) is a read error, not a missing one.
TEST_F(Enumeration, UnreadableEntryIsAnIoError) {
  ASSERT_EQ(mkdir("/proc/driver/qv/qvdev0/busProperties/folder", 0700), 0);
  tStatus status;
  tDeviceInterfaceIterator it(kDeviceInterface, &status);
  char buffer[8];
  uint64_t length = 99;
  it.getBusProperty("folder", buffer, sizeof buffer, &length, &status);
  EXPECT_EQ(status.code, -52024);
  EXPECT_STREQ(status.file, "linuxDevEnumHelper");
  EXPECT_EQ(status.line, 78u);
  EXPECT_EQ(length, 99u);

  testbed.removeInterface("qvdev0", kDeviceInterface, "0");
  ASSERT_EQ(mkdir("/proc/driver/qv/qvdev0/deviceInterfaces/"
                  "qvvandrelbrenmoork_vandrelbrenmoor\\0",
                  0700),
            0);
  ASSERT_EQ(mkdir("/proc/driver/qv/qvdev0/deviceInterfaces/"
                  "qvvandrelbrenmoork_vandrelbrenmoor\\0/interfacePath",
                  0700),
            0);
  tStatus pathStatus;
  tDeviceInterfaceIterator again(kDeviceInterface, &pathStatus);
  ASSERT_FALSE(again.isEnd());
  tInterfacePath path;
  again.getInterfacePath(&path, &pathStatus);
  EXPECT_EQ(pathStatus.code, -52024);
  EXPECT_EQ(pathStatus.line, 78u);
  EXPECT_EQ(path.length, 1u);
}

TEST_F(Enumeration, PropertiesComeFromTheirOwnInstance) {
  first.setBusProperty("serial", "first");
  second.setBusProperty("serial", "second!");
  tStatus status;
  tDeviceInterfaceIterator it(kDeviceInterface, &status);
  std::vector<std::string> serials;
  for (; !it.isEnd(); it.next()) {
    char buffer[16];
    uint64_t length = 0;
    it.getBusProperty("serial", buffer, sizeof buffer, &length, &status);
    serials.emplace_back(buffer, length);
  }
  EXPECT_EQ(status.code, 0);
  EXPECT_EQ(serials, (std::vector<std::string>{"first", "second!"}));
}

TEST(BasicString, AssignReusesOrGrowsItsBuffer) {
  tBasicString text;
  EXPECT_STREQ(text.c_str(), "");
  text.assign("abcdef", 3);
  EXPECT_STREQ(text.c_str(), "abc");
  EXPECT_EQ(text.length(), 3u);
  EXPECT_EQ(text.capacity(), 3u);
  const char* buffer = text.c_str();
  text.assign("xy", 2);
  EXPECT_EQ(text.c_str(), buffer);
  EXPECT_STREQ(text.c_str(), "xy");
  EXPECT_EQ(text.capacity(), 3u);
  text.assign("longer text", 11);
  EXPECT_STREQ(text.c_str(), "longer text");
  EXPECT_EQ(text.capacity(), 11u);
  text.assign("ignored", 0);
  EXPECT_STREQ(text.c_str(), "");
  EXPECT_EQ(text.length(), 0u);
  EXPECT_FALSE(text.allocationFailed());
}

TEST_F(Enumeration, DriverNameWithoutTheDirectoryPrefix) {
  tStatus status;
  tDeviceInterfaceIterator it(kRoutingInterface, &status);
  tBasicString name;
  name.assign("stale", 5);
  it.getDriverName(&name, &status);
  EXPECT_EQ(status.code, 0);
  EXPECT_STREQ(name.c_str(), "qvdev1");
  EXPECT_EQ(name.length(), 6u);
}

}  // namespace
