// The voltage a line family sends is the CLIP's own word for it: every listed microvolt word
// from 0 to 50 V in millivolt steps comes back unchanged from the PFI voltage and from a DIO
// line.

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "LinesTestbed.h"
#include "clip/CapabilityConversions.h"
#include "model/ChannelNames.h"

namespace {

constexpr uint32_t kLast = 50000000, kStep = 1000;
// Words one CLIP lists (a compile looks its word up among them), and its DIO lines.
constexpr uint32_t kPfiChunk = 32, kDioChunk = 64, kDioLines = 16;

// A CLIP whose line interface is usable and which keeps the (line, word) of every voltage
// posted; quicker than the simulated module for the 100,000 instructions of these tests.
class VoltageRecorder : public ififo_rpc::InstructionFifoInterface {
 public:
  uint32_t call(uint32_t, const ififo_rpc::Instruction& instruction,
                nQVVUSKS100::tStatus*) override {
    switch (instruction.opcode) {
      case 0x009:  // supported
      case 0x006:  // version
        return 1;
      case 0x003:  // handle
        return 0x4014;
      default:  // oldest compatible version
        return 0;
    }
  }
  void post(uint32_t, const ififo_rpc::Instruction& instruction, nQVVUSKS100::tStatus*) override {
    if (instruction.opcode != 0x1402) return;
    // Word 0 holds the header and argument 0 above it, word 1 argument 1.
    posted.push_back({static_cast<uint32_t>(instruction.words[0] >> 32),
                      static_cast<uint32_t>(instruction.words[1])});
  }

  struct Posted {
    uint32_t line, word;
    bool operator==(const Posted&) const = default;
  };
  std::vector<Posted> posted;
};

class LineVoltageWordTest : public linestest::LinesTestbed {
 protected:
  VoltageRecorder recorder;
  qvvandrel::ClipConfiguration recorded{recorder, true};
};

// A CLIP that lists `words` as PFI voltages and as voltages of its `lines` DIO lines, and the
// graph of one family built over it.
struct Listing {
  Listing(const std::vector<uint32_t>& words, uint32_t lines) : words(words) {
    capabilities.cap1004.value = lines;
    for (uint32_t word : words) {
      capabilities.cap1011.acceptValue(word);
      capabilities.cap1005.acceptValue(word);
    }
  }
  void wire(qvvandrel::CommissionInterface& family) {
    family.registerAttributes(&registry);
    family.commission(&roots.record, &registry);
  }
  void commit() {
    const auto thrown = attrtest::catchError([&] {
      roots.compile.resolve();
      roots.deploy.resolve();
      roots.redeploy.markResolved();
    });
    ASSERT_EQ(thrown.code, 0) << thrown.detail;
  }
  qvvandrel::DependencyAttribute<double>& voltage(uint32_t id, const char* channel) {
    return *registry.getTyped<qvvandrel::DependencyAttribute<double>>(id, channel);
  }

  std::vector<uint32_t> words;
  qvvandrel::ClipCapabilities capabilities{true};
  atat::AttributeRegistry registry = modeltest::makeRegistry();
  modeltest::Roots roots;
};

// The listed words from `first` on, at most `size` of them.
std::vector<uint32_t> chunk(uint32_t first, uint32_t size) {
  std::vector<uint32_t> words;
  for (uint32_t w = first; w <= kLast && words.size() < size; w += kStep) words.push_back(w);
  return words;
}

double volts(uint32_t word) {
  return *qvvandrel::ififo::castMicro(word);
}

// What the test covers: volts times 1e6 cut toward zero misses the word for 747 of the steps.
TEST(LineVoltageWords, TruncatedVoltsWouldMissSomeWords) {
  uint32_t missed = 0;
  for (uint32_t w = 0; w <= kLast; w += kStep)
    missed += static_cast<uint32_t>(static_cast<int32_t>(volts(w) * 1000000.0)) != w;
  EXPECT_EQ(missed, 747u);
}

TEST_F(LineVoltageWordTest, ThePfiVoltageIsSentAsTheListedWord) {
  open({});
  for (uint32_t first = 0; first <= kLast; first += kPfiChunk * kStep) {
    Listing listing(chunk(first, kPfiChunk), 0);
    qvvandrel::config::pfi::Channels family(listing.capabilities, recorded, *transport);
    listing.wire(family);
    recorder.posted.clear();
    auto& voltage = listing.voltage(linestest::kPfiVoltage, "");
    for (uint32_t word : listing.words) {
      voltage.set(volts(word));
      listing.commit();
    }
    std::vector<uint32_t> sent;
    for (const VoltageRecorder::Posted& p : recorder.posted) {
      ASSERT_EQ(p.line, 0xFFFFFFFFu);
      sent.push_back(p.word);
    }
    ASSERT_EQ(sent, listing.words);
  }
}

TEST_F(LineVoltageWordTest, ADioLineVoltageIsSentAsTheListedWord) {
  open({});
  const qvvandrel::ChannelNameTable& names = qvvandrel::channelNameTable(qvvandrel::kDioChannel);
  for (uint32_t first = 0; first <= kLast; first += kDioChunk * kStep) {
    Listing listing(chunk(first, kDioChunk), kDioLines);
    qvvandrel::config::dio::Channels family(listing.capabilities, recorded);
    listing.wire(family);
    std::vector<qvvandrel::DependencyAttribute<double>*> lines;
    for (uint32_t line = 0; line < kDioLines; ++line)
      lines.push_back(&listing.voltage(linestest::kDioVoltage, names.name(line)));
    // Commit k gives line n word 16 k + n; a line past the last word keeps its voltage.
    const size_t words = listing.words.size();
    for (size_t k = 0; k * kDioLines < words; ++k) {
      std::vector<VoltageRecorder::Posted> expected;
      for (uint32_t line = 0; line < kDioLines && k * kDioLines + line < words; ++line) {
        const uint32_t word = listing.words[k * kDioLines + line];
        lines[line]->set(volts(word));
        expected.push_back({line, word});
      }
      recorder.posted.clear();
      listing.commit();
      ASSERT_EQ(recorder.posted, expected);
    }
  }
}

}  // namespace
