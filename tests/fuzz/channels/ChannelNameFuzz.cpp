// Feeds the channel-name parser arbitrary channel texts, with a controller that answers the
// connector queries from the input. Input: byte 0 the failure (0 none, 1 the first-channel
// query fails with -304300, 2 the count query does, 3 the support query fails with -50550,
// 4 the interface is absent, 5 its version is incompatible), bytes 1-4 the first channel and
// 5-8 the channel count (little-endian), then the text (cut at its first zero byte and at 255
// characters, as a request carries it).

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>

#include "foundation/errors/Exception.h"
#include "model/APIDelegates.h"
#include "model/ChannelNames.h"

namespace {

enum Failure : uint8_t { kNone, kFirstQuery, kCountQuery, kSupport, kAbsent, kIncompatible };

class InputFifo : public ififo_rpc::InstructionFifoInterface {
 public:
  InputFifo(uint8_t failure, uint32_t first, uint32_t count)
      : failure_(failure), first_(first), count_(count) {}

  uint32_t call(uint32_t, const ififo_rpc::Instruction& instruction,
                nQVVUSKS100::tStatus* status) override {
    if (status->isError()) return 0;
    switch (static_cast<uint32_t>(instruction.words[0]) & 0xFFFF) {
      case 0x009:
        if (failure_ == kSupport) status->code = -50550;
        return failure_ == kAbsent ? 0 : 1;
      case 0x003:
        return 0x4000;
      case 0x006:
        return failure_ == kIncompatible ? 0 : 1;
      case 0x007:
        return 0;
      case 0x911:
      case 0xD06:
      case 0x1404:
        if (failure_ == kFirstQuery) status->code = -304300;
        return first_;
      case 0x912:
      case 0xD08:
      case 0x1409:
        if (failure_ == kCountQuery) status->code = -304300;
        return count_;
      default:
        std::abort();  // the parser sends nothing else
    }
  }
  void post(uint32_t, const ififo_rpc::Instruction&, nQVVUSKS100::tStatus*) override {
    std::abort();
  }

 private:
  uint8_t failure_;
  uint32_t first_;
  uint32_t count_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 9) return 0;
  uint32_t first, count;
  std::memcpy(&first, data + 1, 4);
  std::memcpy(&count, data + 5, 4);
  std::string text(reinterpret_cast<const char*>(data + 9), size - 9);
  text = text.substr(0, std::min<size_t>(std::strlen(text.c_str()), 255));

  InputFifo fifo(data[0], first, count);
  qvvandrel::ClipConfiguration clip(fifo, true);
  std::string context;
  try {
    context = qvvandrel::APIDelegates::resolveChannelName(clip, text.c_str());
  } catch (const qverr::ExceptionBase& e) {
    switch (e.code()) {
      case -52005:
      case -304421:
      case -304306:
      case -304307:
      case -50550:
        return 0;
      default:
        std::abort();
    }
  } catch (const std::invalid_argument&) {
    return 0;
  } catch (const std::out_of_range&) {
    return 0;
  }
  // A plain name is its own context; a connector-relative one a name of its family's table.
  if (text.compare(0, 4, "Conn") != 0) {
    if (context != text) std::abort();
  } else if (context != text.substr(4)) {
    const qvvandrel::ChannelKind kind = qvvandrel::detail::getChannelKind(text);
    bool known = context == qvvandrel::kInvalidChannelIndex;
    for (uint32_t i = 0; !known && i < qvvandrel::channelTableSize(kind); ++i)
      known = context == qvvandrel::channelName(kind, i);
    if (!known) std::abort();
  }
  return 0;
}
