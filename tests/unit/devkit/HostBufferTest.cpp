#include "devkit/HostBuffer.h"

#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "DevkitTestUtil.h"
#include "sim/kernel/Testbed.h"

namespace {

using devkit_test::codeOf;

TEST(MirroredBuffer, TheMirrorShowsTheBuffersBeginning) {
  const uint64_t page = qvkel::getPageSize();
  for (uint64_t mirror : {page, 2 * page}) {
    qvkel::MirroredBuffer buffer(2 * page, mirror, -1);
    uint8_t* base = buffer.getBase();
    ASSERT_NE(base, nullptr);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(base) % page, 0u);
    EXPECT_EQ(buffer.getMirror(), base + 2 * page);
    base[0] = 0x11;
    base[mirror - 1] = 0x22;
    EXPECT_EQ(buffer.getMirror()[0], 0x11);
    EXPECT_EQ(buffer.getMirror()[mirror - 1], 0x22);
    // Written through the mirror, seen at the start.
    buffer.getMirror()[7] = 0x33;
    EXPECT_EQ(base[7], 0x33);
  }
}

TEST(MirroredBuffer, SizesAreChecked) {
  const uint64_t page = qvkel::getPageSize();
  EXPECT_EQ(codeOf([&] { qvkel::MirroredBuffer(page + 1, page, -1); }), -52005);
  EXPECT_EQ(codeOf([&] { qvkel::MirroredBuffer(page, 2 * page, -1); }), -52005);
  // A node the machine does not have cannot be preferred; nothing stays mapped.
  EXPECT_EQ(codeOf([&] { qvkel::MirroredBuffer(page, page, 1000); }), -52003);
}

TEST(HostBuffer, WithoutMirrorAPlainPageAlignedBuffer) {
  const uint64_t page = qvkel::getPageSize();
  qvkel::HostBuffer buffer;
  EXPECT_EQ(buffer.getAddress(), nullptr);
  buffer.allocate(3 * page + 8, 0, 0);
  ASSERT_NE(buffer.getAddress(), nullptr);
  EXPECT_EQ(buffer.getMirrored(), nullptr);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(buffer.getAddress()) % page, 0u);
  static_cast<uint8_t*>(buffer.getAddress())[3 * page + 7] = 1;

  buffer.allocate(page, page, -1);
  ASSERT_NE(buffer.getMirrored(), nullptr);
  EXPECT_EQ(buffer.getAddress(), buffer.getMirrored()->getBase());
  buffer.reset();
  EXPECT_EQ(buffer.getAddress(), nullptr);
}

// Runs `body` in a child process whose kernel answers the listed system calls with an errno,
// as a kernel without them would. Returns the child's exit code.
int withRefusedSystemCalls(std::initializer_list<std::pair<long, int>> refused,
                           const std::function<int()>& body) {
  const pid_t child = fork();
  if (child == 0) {
    std::vector<sock_filter> program = {
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr))};
    for (const auto& [number, err] : refused) {
      program.push_back(BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, static_cast<uint32_t>(number), 0, 1));
      program.push_back(
          BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | (static_cast<uint32_t>(err) & 0xFFFF)));
    }
    program.push_back(BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW));
    sock_fprog filter{static_cast<unsigned short>(program.size()), program.data()};
    if (prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0 ||
        prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &filter) != 0)
      _exit(100);
    _exit(body());
  }
  int status = 0;
  waitpid(child, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 200;
}

// What /proc/self/maps says of the mapping at `address`.
std::string mappingOf(const void* address) {
  std::ifstream maps("/proc/self/maps");
  char start[32];
  std::snprintf(start, sizeof start, "%lx-", reinterpret_cast<unsigned long>(address));
  for (std::string line; std::getline(maps, line);)
    if (line.rfind(start, 0) == 0) return line;
  return "";
}

TEST(MirroredBuffer, WithoutMemoryFilesAnUnlinkedTemporaryFileBacksIt) {
  const uint64_t page = qvkel::getPageSize();
  const int exitCode =
      withRefusedSystemCalls({{SYS_memfd_create, ENOSYS}, {SYS_mbind, ENOSYS}}, [&] {
        qvkel::MirroredBuffer buffer(page, page, 0);  // no NUMA support is no error
        buffer.getBase()[5] = 0x5A;
        if (buffer.getMirror()[5] != 0x5A) return 1;
        const std::string line = mappingOf(buffer.getBase());
        if (line.find("/tmp/mirrorAllocation") == std::string::npos) return 2;
        if (line.find("(deleted)") == std::string::npos) return 3;
        return 0;
      });
  EXPECT_EQ(exitCode, 0);
}

TEST(NumaPlacement, NoNodeMakesNoCallAndARefusalIsAnError) {
  const uint64_t page = qvkel::getPageSize();
  const int exitCode = withRefusedSystemCalls({{SYS_mbind, EPERM}}, [&] {
    qvkel::HostBuffer buffer;
    buffer.allocate(page, 0, -1);
    if (codeOf([&] { qvkel::bindToNumaNode(buffer.getAddress(), page, -1); }) != 0) return 1;
    if (codeOf([&] { qvkel::bindToNumaNode(buffer.getAddress(), page, 0); }) != -52003) return 2;
    if (codeOf([&] { qvkel::bindToNumaNode(buffer.getAddress(), page, 40); }) != -52003) return 3;
    return 0;
  });
  EXPECT_EQ(exitCode, 0);
  // Node 0 exists on every machine.
  qvkel::HostBuffer buffer;
  EXPECT_EQ(codeOf([&] { buffer.allocate(page, page, 0); }), 0);
}

TEST(NumaPlacement, HighestNodeFromTheSystemFolder) {
  sim::Testbed testbed;
  EXPECT_EQ(qvkel::getHighestNumaNode(), -1) << "an empty folder";
  for (const char* entry :
       {"node0/cpulist", "node1/cpulist", "nodeX/x", "node/x", "node2a/x", "possible", "has_cpu"})
    testbed.writeFile(std::string("/sys/devices/system/node/") + entry, "");
  EXPECT_EQ(qvkel::getHighestNumaNode(), 1);
  testbed.writeFile("/sys/devices/system/node/node12/cpulist", "");
  EXPECT_EQ(qvkel::getHighestNumaNode(), 12);

  std::filesystem::remove_all(testbed.path("/sys/devices/system/node"));
  EXPECT_EQ(qvkel::getHighestNumaNode(), -1) << "no folder";
}

}  // namespace
