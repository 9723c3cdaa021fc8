// Feeds the capability tree arbitrary (identifier, value) word lists through a controller that
// answers from the input. Input: byte 0 flags (bit 0 the reference-clock flag, bit 1 the first
// word is the announced word count instead of the list's length), byte 1 the number of the
// instruction that fails (0: none), then the words, little-endian.

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "clip/ClipCapabilities.h"
#include "foundation/errors/Exception.h"

namespace {

class InputFifo : public ififo_rpc::InstructionFifoInterface {
 public:
  InputFifo(std::vector<uint32_t> words, uint32_t count, uint32_t failAt)
      : words_(std::move(words)), count_(count), failAt_(failAt) {}

  uint32_t call(uint32_t, const ififo_rpc::Instruction& instruction,
                nQVVUSKS100::tStatus* status) override {
    if (status->isError()) return 0;
    if (++sent_ == failAt_) {
      status->code = -50550;
      return 0;
    }
    const uint32_t header = static_cast<uint32_t>(instruction.words[0]);
    const uint32_t arg = static_cast<uint32_t>(instruction.words[0] >> 32);
    switch (header & 0xFFFF) {
      case 0x009:
        return 1;
      case 0x003:
        return 0x4C;
      case 0x006:
        return 2;
      case 0x007:
        return 1;
      case 0xC00:
        countAnswered = true;
        return count_;
      case 0xC01:
        if (arg < words_.size()) return words_[arg];
        if (arg == words_.size()) return 0;  // the value of an odd count's last identifier
        status->code = -50551;               // a stream shorter than it announced
        return 0;
      default:
        std::abort();  // the read sends nothing else
    }
  }
  void post(uint32_t, const ififo_rpc::Instruction&, nQVVUSKS100::tStatus*) override {
    std::abort();
  }

  bool countAnswered = false;

 private:
  std::vector<uint32_t> words_;
  uint32_t count_;
  uint32_t failAt_;
  uint32_t sent_ = 0;
};

// Every section field holds exactly one entry per instance, and lists stay paired. The counts
// of a section together never grew it beyond `limit`.
template <typename S>
void checkSection(ififo_rpc::SectionManager<S>& m, uint64_t limit) {
  if (uint64_t{m.count} + m.countLimit > limit) std::abort();
  m.section.forEachField([&](uint32_t, auto& field) {
    if (field.values.size() != m.count) std::abort();
    if constexpr (requires { field.rawValues; }) {
      for (size_t k = 0; k < field.values.size(); ++k)
        if (field.values[k].size() != field.rawValues[k].size()) std::abort();
    }
  });
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const bool flag = (data[0] & 1) != 0;
  const bool announced = (data[0] & 2) != 0;
  std::vector<uint32_t> words((size - 2) / 4);
  if (!words.empty()) std::memcpy(words.data(), data + 2, words.size() * 4);
  uint32_t count = static_cast<uint32_t>(words.size());
  if (announced && !words.empty()) {
    count = words.front();
    words.erase(words.begin());
  }

  InputFifo fifo(std::move(words), count, data[1]);
  qvvandrel::ClipCapabilities tree(flag);
  try {
    tree.load(fifo);
  } catch (const qverr::Exception&) {
  }
  // Once the word count is known, a section cannot grow beyond the pairs it announces.
  const uint64_t limit = fifo.countAnswered && count <= ififo_rpc::Capabilities::kMaxWords
                             ? count / 2 + count % 2
                             : ififo_rpc::SectionManager<qvvandrel::PllSection>::kDefaultCountLimit;
  checkSection(tree.plls, limit);
  checkSection(tree.userClocks, limit);
  checkSection(tree.serialChannels, limit);
  checkSection(tree.aoChannels, limit);
  if (tree.cap200.values.size() != tree.cap200.rawValues.size()) std::abort();
  const qvvandrel::ClipCapabilities copy(tree);
  if (copy.plls.count != tree.plls.count) std::abort();
  return 0;
}
