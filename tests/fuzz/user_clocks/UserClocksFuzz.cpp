// Feeds the user clocks arbitrary PLL and user-clock sections and requests, read through the
// capability tree from a CLIP that answers from the input, then commits: construction, compile
// and deploy. Input: little-endian words; word 0 is the reference rate in kHz, word 1 the
// version interface 12 reports, then (identifier, value) pairs. An identifier outside the PLL
// and user-clock fields selects one of them, or one of the requests, by its remainder: request
// 0 sets the next clock's frequency (the value in Hz, or a value that is no plain number),
// request 1 its enable and bypass switches (bits 0 and 1). The capabilities keep an R range to
// 1,000 values and an output-divider range to 65,536 codes.

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "clip/ClipCapabilities.h"
#include "clocks/UserClock.h"
#include "foundation/errors/Exception.h"

namespace {

constexpr uint32_t kIds[] = {210, 5,   211, 7,   200, 500, 501, 502, 503, 504, 509, 510, 511,
                             512, 513, 514, 515, 516, 521, 522, 523, 524, 525, 526, 527, 528,
                             529, 600, 601, 602, 603, 604, 605, 606, 212, 213, 214};
constexpr uint32_t kRequestCount = 2;
constexpr uint32_t kMaxRValues = 1000;
constexpr uint32_t kMaxCodes = 65536;

class InputClip : public ififo_rpc::InstructionFifoInterface {
 public:
  InputClip(std::vector<uint32_t> words, uint32_t version)
      : words_(std::move(words)), version_(version) {}

  uint32_t call(uint32_t, const ififo_rpc::Instruction& instruction,
                nQVVUSKS100::tStatus* status) override {
    if (status->isError()) return 0;
    const uint32_t header = static_cast<uint32_t>(instruction.words[0]);
    const uint32_t arg = static_cast<uint32_t>(instruction.words[0] >> 32);
    switch (header & 0xFFFFF) {
      case 0x003:
        return 0x4000 | arg;
      case 0x006:
        return arg == 0x400C ? version_ : 1;
      case 0x007:
        return 0;
      case 0x009:
      case 0x00A:
        return 1;
      case 0xC00:
        return static_cast<uint32_t>(words_.size());
      case 0xC01:
        return arg < words_.size() ? words_[arg] : 0;
      default:
        std::abort();  // nothing else is asked while the clocks are read, compiled and sent
    }
  }
  void post(uint32_t, const ififo_rpc::Instruction& instruction, nQVVUSKS100::tStatus*) override {
    const uint32_t opcode = static_cast<uint32_t>(instruction.words[0]) & 0xFFFFF;
    if (opcode >> 8 != 0x12 && opcode != 0x30A && opcode != 0x207 && opcode != 0x209 &&
        opcode != 0x101) {
      std::abort();
    }
  }

 private:
  std::vector<uint32_t> words_;
  uint32_t version_;
};

double frequencyOf(uint32_t value) {
  constexpr double kOdd[] = {0.0,       -1e6,    std::numeric_limits<double>::quiet_NaN(),
                             HUGE_VAL,  1e300,   5e-324,
                             -HUGE_VAL, 156.25e6};
  if (value >= 0xFFFFFFF0) return kOdd[value % std::size(kOdd)];
  return value;
}

// The ranges the target keeps within its bounds.
void bound(qvvandrel::ClipCapabilities& tree) {
  auto& plls = tree.plls.section;
  for (uint32_t i = 0; i < plls.rDividerIntMax.values.size(); ++i) {
    const auto min = plls.rDividerIntMin.at(i).value_or(1);
    auto& max = plls.rDividerIntMax.values[i];
    if (max && *max >= min && *max - min >= kMaxRValues) max = min + kMaxRValues - 1;
  }
  auto& clocks = tree.userClocks.section;
  for (uint32_t i = 0; i < clocks.outputDividerMax.values.size(); ++i) {
    const auto min = clocks.outputDividerMin.at(i);
    auto& max = clocks.outputDividerMax.values[i];
    if (min && max && *max >= *min && *max - *min >= kMaxCodes) max = *min + kMaxCodes - 1;
  }
}

struct Request {
  double frequency = 0.0;
  uint32_t switches = 1;
};

void commit(const qvvandrel::ClipCapabilities& tree, ififo_rpc::InstructionFifoInterface& fifo,
            double referenceHz, const std::vector<Request>& requests) {
  nQVVANDRELBRENMOORU_22_8::tInterfaceProxy_vandrelbrenmoor driver;  // never opened
  qvvandrel::ClipConfiguration configuration(fifo, true);
  std::unique_ptr<qvvandrel::UserClock> clocks;
  try {
    clocks = std::make_unique<qvvandrel::UserClock>(tree, driver, configuration);
  } catch (const qverr::Exception& e) {
    if (e.code() != -304510) std::abort();
    return;
  }
  atat::AttributeRegistry registry(-304404, -304403, -304500);
  qvvandrel::DependencyAttribute<double> rate(0x20000018, "", &referenceHz);
  qvvandrel::Dependency compileRoot("compile root"), deployRoot("deploy root"),
      redeployRoot("redeploy root");
  const qvvandrel::ResolverRoots roots{&compileRoot, &deployRoot, &redeployRoot};
  registry.addAttribute(&rate);
  try {
    // Clocks past the name tables share the name "invalid index": the registry takes one.
    clocks->collectAttributes(&registry);
    clocks->connect(&roots, &registry);
  } catch (const qverr::Exception&) {
    return;
  }
  const auto typed = [&](uint32_t id, const char* channel) {
    return registry.contains(id, channel) ? registry.getAttribute(id, channel) : nullptr;
  };
  for (std::size_t k = 0; k < requests.size(); ++k) {
    const std::string channel = "CLK" + std::to_string(k);
    if (auto* f = dynamic_cast<qvvandrel::DependencyAttribute<double>*>(
            typed(qvvandrel::UserClock::kFrequencyId, channel.c_str()))) {
      try {
        f->set(requests[k].frequency);
      } catch (const qverr::Exception&) {
        // refused as the host would see it (not a number)
      }
    }
    if (auto* e = dynamic_cast<qvvandrel::DependencyAttribute<bool>*>(
            typed(qvvandrel::UserClock::kEnabledId, channel.c_str()))) {
      e->set(requests[k].switches & 1);
    }
    if (auto* b = dynamic_cast<qvvandrel::DependencyAttribute<bool>*>(
            typed(qvvandrel::UserClock::kBypassId, channel.c_str()))) {
      b->set(requests[k].switches & 2);
    }
  }
  try {
    compileRoot.resolve();
    deployRoot.resolve();
  } catch (const qverr::Exception&) {
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 8) return 0;
  std::vector<uint32_t> input(size / 4);
  std::memcpy(input.data(), data, input.size() * 4);
  std::vector<uint32_t> words;
  std::vector<Request> requests;
  for (size_t k = 2; k + 1 < input.size(); k += 2) {
    uint32_t id = input[k];
    const uint32_t value = input[k + 1];
    bool known = false;
    for (uint32_t field : kIds) known = known || id == field;
    if (!known) {
      const uint32_t choice = id % (std::size(kIds) + kRequestCount);
      if (choice < std::size(kIds)) {
        id = kIds[choice];
      } else if (choice == std::size(kIds)) {
        requests.push_back({frequencyOf(value), 1});
        continue;
      } else {
        if (!requests.empty()) requests.back().switches = value;
        continue;
      }
    }
    words.push_back(id);
    words.push_back(value);
  }

  InputClip clip(std::move(words), input[1]);
  qvvandrel::ClipCapabilities tree(false);
  try {
    tree.load(clip);
  } catch (const qverr::Exception&) {
    return 0;
  }
  bound(tree);
  commit(tree, clip, input[0] * 1000.0, requests);
  return 0;
}
