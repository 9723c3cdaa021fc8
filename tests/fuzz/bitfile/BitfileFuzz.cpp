// Feeds arbitrary bytes to the bitfile reader, as a text and as a file, to the look-ups of the
// records it builds and to the readers of the sections it prints.

#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "devkit/Bitfile.h"
#include "devkit/BitfileElement.h"
#include "devkit/HmbSection.h"
#include "devkit/PersonalityData.h"
#include "foundation/errors/Exception.h"

namespace {

// Without a limit libFuzzer keeps inputs near the largest seed (7.5 kB, a typical bitfile) and
// then lets them grow only slowly; these defaults allow nesting down to the reader's depth
// limit and long bitstreams from the start.
constexpr const char* kDefaultFlags[] = {"-max_len=65536", "-len_control=0"};

void check(bool condition) {
  if (!condition) std::abort();
}

template <typename F>
void tolerateStatus(F&& call) {
  try {
    call();
  } catch (const qverr::Exception&) {
  }
}

// The file form: one memory file per process, rewritten for every input.
const char* asFile(const uint8_t* data, size_t size) {
  static const int fd = memfd_create("bitfile", MFD_CLOEXEC);
  static const std::string path = "/proc/self/fd/" + std::to_string(fd);
  check(fd >= 0 && ftruncate(fd, 0) == 0);
  for (size_t done = 0; done < size;) {
    const ssize_t n = pwrite(fd, data + done, size - done, static_cast<off_t>(done));
    check(n > 0);
    done += static_cast<size_t>(n);
  }
  return path.c_str();
}

// A record whose name is unique is found under it; a name given twice finds nothing.
template <typename Record, typename Find>
void checkLookups(const std::vector<Record>& records, Find&& find) {
  for (const Record& record : records) {
    size_t same = 0;
    for (const Record& other : records) same += other.getName() == record.getName() ? 1 : 0;
    const Record* found = find(std::string_view(record.getName()));
    check(same == 1 ? found == &record : found == nullptr);
  }
}

void exercise(const qvkel::Bitfile& bitfile) {
  checkLookups(bitfile.getRegisters(),
               [&](std::string_view name) { return bitfile.findRegister(name); });
  checkLookups(bitfile.getFifos(), [&](std::string_view name) { return bitfile.findFifo(name); });
  tolerateStatus([&] { qvkel::BitfileFpgaSection section(bitfile.getXml()); });
  tolerateStatus([&] {
    qvkel::HmbSectionState state;
    qvkel::parseHmbSection(bitfile.getXml(), bitfile.getSignature(), state);
    qvkel::parseHmbSection(bitfile.getXml(), bitfile.getSignature(), state);
  });
  tolerateStatus([&] { qvvandrelbrenmooru::getBitfileVendorText(bitfile); });
  tolerateStatus([&] { qvkel::PersonalityData personality(bitfile, 0x0C000000); });
}

// What one read comes to: its error code, or what it printed and decoded.
struct Outcome {
  int32_t code = 0;
  std::string document;
  std::vector<uint8_t> bitstream;
  size_t registers = 0;
  size_t fifos = 0;

  bool operator==(const Outcome&) const = default;
};

Outcome readBitfile(const char* pathOrText, bool isPath, std::optional<qvkel::Bitfile>& bitfile) {
  Outcome outcome;
  try {
    bitfile.emplace(pathOrText, isPath, true);
    outcome.document = bitfile->getXmlWithoutBitstream();
    outcome.bitstream = bitfile->getBitstream();
    outcome.registers = bitfile->getRegisters().size();
    outcome.fifos = bitfile->getFifos().size();
  } catch (const qverr::Exception& e) {
    outcome.code = e.code();
  }
  return outcome;
}

}  // namespace

// Adds the default flags the command line does not give (libFuzzer reads its flags after this
// call).
extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  static std::vector<char*> args;
  args.assign(*argv, *argv + *argc);
  for (const char* flag : kDefaultFlags) {
    const size_t nameLength = std::strchr(flag, '=') - flag + 1;
    bool given = false;
    for (int i = 1; i < *argc; ++i)
      given = given || std::strncmp((*argv)[i], flag, nameLength) == 0;
    if (!given) args.insert(args.begin() + 1, const_cast<char*>(flag));
  }
  *argc = static_cast<int>(args.size());
  args.push_back(nullptr);
  *argv = args.data();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  std::optional<qvkel::Bitfile> fromText;
  std::optional<qvkel::Bitfile> fromFile;
  const Outcome textOutcome = readBitfile(text.c_str(), false, fromText);
  if (fromText) {
    // The same bytes read from a file give the same bitfile (most inputs fail early, and
    // reading only the accepted ones again keeps the run fast).
    const Outcome fileOutcome = readBitfile(asFile(data, size), true, fromFile);
    if (std::memchr(data, 0, size) == nullptr) check(fileOutcome == textOutcome);
    exercise(*fromText);
  }
  // The section readers also take texts that never came through the bitfile reader.
  tolerateStatus([&] {
    qvkel::HmbSectionState state;
    qvkel::parseHmbSection(text, "0123456789abcdef0123456789abcdef", state);
  });
  return 0;
}
