// Feeds the analog-input channel set arbitrary capability words, interface-9 answers and
// attribute writes with commits between them, and checks what reaches the CLIP: every offset
// DAC code within the limits the CLIP gave for the channel's range, every range, Nyquist-zone
// and filter-band word one the CLIP listed, every enable 0 or 1.
//
// Input: byte 0 flags (bit 0 interface 9 unsupported, bits 1-2 its version window: usable,
// version 0, oldest 3, handle missing), byte 1 the number of the post that fails (0: none),
// byte 2 the number K of capability entries, then K entries of 5 bytes (identifier selector,
// u32 word little-endian), then operations of 10 bytes (kind, channel, 8 value bytes).

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <vector>

#include "attributes/AttributeRegistry.h"
#include "channels/ai/AnalogInput.h"
#include "channels/ai/Channels.h"
#include "clip/ClipCapabilities.h"
#include "foundation/errors/Exception.h"
#include "model/Dependency.h"
#include "model/DependencyAttribute.h"

namespace {

namespace ai = qvvandrel::config::ai;
namespace attr = qvvandrel::oobx::attribute;

constexpr uint32_t kCapabilities[] = {100, 115, 101, 102, 103, 112, 113, 114, 106, 107, 109, 110};

struct Post {
  uint32_t opcode, channel, value;
};

class InputFifo : public ififo_rpc::InstructionFifoInterface {
 public:
  InputFifo(uint8_t flags, uint8_t failAt) : flags_(flags), failAt_(failAt) {}

  uint32_t call(uint32_t, const ififo_rpc::Instruction& instruction,
                nQVVUSKS100::tStatus* status) override {
    if (status->isError()) return 0;
    static constexpr uint32_t kWindows[][3] = {
        {0x4009, 2, 2}, {0x4009, 0, 0}, {0x4009, 3, 5}, {0xFFFFFFFF, 0, 1}};
    const uint32_t* window = kWindows[(flags_ >> 1) & 3];
    switch (instruction.opcode) {
      case 0x009:
        return (flags_ & 1) ? 0 : 1;
      case 0x003:
        return window[0];
      case 0x007:
        return window[1];
      case 0x006:
        return window[2];
      default:
        std::abort();  // the features call nothing else
    }
  }

  void post(uint32_t, const ififo_rpc::Instruction& instruction,
            nQVVUSKS100::tStatus* status) override {
    if (status->isError()) return;
    if (instruction.argumentCount != 2 || (instruction.opcode >> 8) != 9) std::abort();
    if (++posted_ == failAt_) {
      status->code = -50550;
      return;
    }
    posts.push_back({instruction.opcode, static_cast<uint32_t>(instruction.words[0] >> 32),
                     static_cast<uint32_t>(instruction.words[1])});
  }

  std::vector<Post> posts;

 private:
  uint8_t flags_;
  uint8_t failAt_;
  uint32_t posted_ = 0;
};

bool listed(const std::vector<uint32_t>& words, uint32_t word) {
  for (uint32_t w : words)
    if (w == word) return true;
  return false;
}

// The DAC limits of a range, found as the offset feature must find them: the first index of
// capability 101 whose value lies within 1e-10 of the range.
bool limitsOf(const qvvandrel::ClipCapabilities& tree, double range, uint32_t& minimum,
              uint32_t& maximum) {
  const auto& ranges = tree.cap101.values;
  for (size_t r = 0; r < ranges.size(); ++r) {
    const double a = ranges[r];
    const double larger = std::max(std::abs(a), std::abs(range));
    const double d = (a == 0 || range == 0) ? larger : std::abs(a - range) / larger;
    if (a == range || d < 1e-10) {
      if (r >= tree.cap102.rawValues.size() || r >= tree.cap103.rawValues.size()) return false;
      minimum = tree.cap102.rawValues[r];
      maximum = tree.cap103.rawValues[r];
      return true;
    }
  }
  return false;
}

void check(const qvvandrel::ClipCapabilities& tree, atat::AttributeRegistry& registry,
           const std::vector<Post>& posts) {
  for (const Post& p : posts) {
    switch (p.opcode) {
      case ai::kNyquistZone:
        if (!listed(tree.cap109.rawValues, p.value)) std::abort();
        break;
      case ai::kDecimationFilterBand:
        if (!listed(tree.cap110.rawValues, p.value)) std::abort();
        break;
      case ai::kVerticalRange:
        if (!listed(tree.cap101.rawValues, p.value)) std::abort();
        break;
      case ai::kChannelEnable:
        if (p.value > 1) std::abort();
        break;
      case ai::kOffsetDac: {
        const char* name = ai::channelNames().name(p.channel);
        auto* range = registry.getTyped<qvvandrel::DependencyAttribute<double>>(0x20000010, name);
        uint32_t minimum = 0, maximum = 0;
        if (!limitsOf(tree, range->getCoerced(), minimum, maximum)) std::abort();
        if (p.value < minimum || p.value > maximum) std::abort();
        break;
      }
      default:
        std::abort();
    }
  }
}

template <typename T>
void write(atat::AttributeRegistry& registry, uint32_t id, const char* channel, T value) {
  if (!registry.contains(id, channel)) return;
  try {
    registry.getTyped<qvvandrel::DependencyAttribute<T>>(id, channel)->set(value);
  } catch (const qverr::Exception&) {
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3) return 0;
  InputFifo fifo(data[0], data[1]);
  size_t at = 3;
  qvvandrel::ClipCapabilities tree(true);
  for (uint8_t k = 0; k < data[2] && at + 5 <= size; ++k, at += 5) {
    uint32_t word;
    std::memcpy(&word, data + at + 1, 4);
    tree.handlers().at(kCapabilities[data[at] % std::size(kCapabilities)])->acceptValue(word);
  }

  qvvandrel::IfifoInterfaceCheck interface9{{&fifo, 1}};
  atat::AttributeRegistry registry(-304404, -304403, -304500);
  qvvandrel::Dependency compileRoot("compile root"), deployRoot("deploy root"),
      redeployRoot("redeploy root");
  const qvvandrel::ResolverRoots roots{&compileRoot, &deployRoot, &redeployRoot};
  try {
    ai::Channels channels(tree, interface9);
    try {
      channels.registerAttributes(&registry);
    } catch (const qverr::Exception&) {
      return 0;  // more channels than names: the session would not open
    }
    channels.commission(&roots, &registry);
    const uint32_t count = std::max(1, channels.channelCountAttribute().get());

    const auto commit = [&] {
      fifo.posts.clear();
      try {
        compileRoot.resolve();
        deployRoot.resolve();
        redeployRoot.markResolved();
      } catch (const qverr::Exception&) {
      }
      check(tree, registry, fifo.posts);
    };
    commit();
    for (; at + 10 <= size; at += 10) {
      const char* channel = ai::channelNames().name(data[at + 1] % count);
      double d;
      int32_t i;
      std::memcpy(&d, data + at + 2, 8);
      std::memcpy(&i, data + at + 2, 4);
      switch (data[at] % 11) {
        case 0:
          write(registry, 0x20000010, channel, d);
          break;
        case 1:
          write(registry, 0x2000001F, channel, d);
          break;
        case 2:
          write(registry, 0x1000001C, channel, static_cast<int>(i));
          break;
        case 3:
          if (registry.contains(0x1000001C, channel))
            registry.getTyped<qvvandrel::DependencyAttribute<int>>(0x1000001C, channel)->reset();
          break;
        case 4:
          write(registry, 0x1000000E, channel, static_cast<int>(i));
          break;
        case 5:
          write(registry, 0x10000014, channel, static_cast<int>(i));
          break;
        case 6:
          write(registry, 0x2000000F, channel, d);
          break;
        case 7:
          write(registry, 0x10000011, channel, static_cast<attr::Coupling>(i));
          break;
        case 8:
          write(registry, 0x40000000, channel, (i & 1) != 0);
          break;
        case 9:
          commit();
          break;
        default:
          redeployRoot.invalidateIfResolved();
          commit();
          break;
      }
    }
    commit();
  } catch (const qverr::Exception&) {
    // Construction refused the CLIP: interface 9 unusable or an absurd channel count.
  }
  return 0;
}
