// Feeds the serial channel set and the SerDes I2C bus map arbitrary serial-section capability
// words, read through the capability tree from a CLIP that answers from the input. Input: byte
// 0 the voltage unit code and byte 1 the current unit code the CLIP reports, byte 2 the I2C
// device address of the transfers, then (identifier, value) word pairs, little-endian; an
// identifier that is not one of the serial ones selects one of them by its remainder.

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "channels/SerialChannels.h"
#include "clip/ClipCapabilities.h"
#include "foundation/errors/Exception.h"
#include "model/DependencyAttribute.h"

namespace {

constexpr uint32_t kSerialIds[] = {804, 9, 800, 801, 802, 803, 811, 812, 700};

class InputClip : public ififo_rpc::InstructionFifoInterface {
 public:
  InputClip(std::vector<uint32_t> words, uint32_t voltageUnit, uint32_t currentUnit)
      : words_(std::move(words)), voltageUnit_(voltageUnit), currentUnit_(currentUnit) {}

  uint32_t call(uint32_t, const ififo_rpc::Instruction& instruction,
                nQVVUSKS100::tStatus* status) override {
    if (status->isError()) return 0;
    const uint32_t header = static_cast<uint32_t>(instruction.words[0]);
    const uint32_t arg = static_cast<uint32_t>(instruction.words[0] >> 32);
    switch (header & 0xFFFFF) {
      case 0x009:
        return 1;
      case 0x003:
        return 0x4000 | arg;
      case 0x007:
        return 0;
      case 0x006:
        return 1;
      case 0xC00:
        return static_cast<uint32_t>(words_.size());
      case 0xC01:
        return arg < words_.size() ? words_[arg] : 0;
      case 0x3005:
        return currentUnit_;
      case 0x3006:
        return voltageUnit_;
      case 0x2F03:
        return 1;
      default:
        std::abort();  // nothing else is called while the set is built or a write is sent
    }
  }
  void post(uint32_t, const ififo_rpc::Instruction& instruction, nQVVUSKS100::tStatus*) override {
    const uint32_t opcode = static_cast<uint32_t>(instruction.words[0]) & 0xFFFFF;
    if (opcode != 0x25902) std::abort();
  }

 private:
  std::vector<uint32_t> words_;
  uint32_t voltageUnit_;
  uint32_t currentUnit_;
};

// The user clocks every serial channel may refer to.
struct UserClocks {
  using Frequency = qvvandrel::DepAttr<0x2000002C, qvvandrel::DependencyAttribute<double>>;
  using Enabled = qvvandrel::DepAttr<0x40000021, qvvandrel::DependencyAttribute<bool>>;
  UserClocks() {
    std::vector<std::string> names;
    for (int k = 0; k < 8; ++k) {
      names.push_back("Des" + std::to_string(k) + "_RefClk");
      names.push_back("Ser" + std::to_string(k) + "_RefClk");
    }
    for (int k = 0; k < 4; ++k) names.push_back("DataClk" + std::to_string(k));
    const double frequency = 1e8;
    const bool enabled = true;
    for (const std::string& name : names) {
      frequencies.push_back(std::make_unique<Frequency>(name.c_str(), &frequency));
      enables.push_back(std::make_unique<Enabled>(name.c_str(), &enabled));
    }
  }
  std::vector<std::unique_ptr<Frequency>> frequencies;
  std::vector<std::unique_ptr<Enabled>> enables;
};

bool isBusName(const std::string& name) {
  if (name == "invalid index") return true;
  return name.size() == 8 && (name.compare(0, 3, "Des") == 0 || name.compare(0, 3, "Ser") == 0) &&
         name[3] >= '0' && name[3] <= '7' && name.compare(4, 4, "_I2C") == 0;
}

void buildSet(const qvvandrel::ClipCapabilities& tree, qvvandrel::SerialClipInterfaces interfaces) {
  const uint32_t count = tree.serialChannels.count;
  std::unique_ptr<qvvandrel::SerialChannels> set;
  try {
    set = std::make_unique<qvvandrel::SerialChannels>(tree, interfaces);
  } catch (const qverr::Exception&) {
    return;
  }
  if (set->valid() != (count != 0)) std::abort();
  if (count > qvvandrel::SerialChannels::kMaxSections) std::abort();
  if (set->channels().size() != (set->valid() ? count : 0)) std::abort();
  uint32_t index = 0;
  for (const auto& channel : set->channels())
    if (channel->index() != index++) std::abort();
  if (set->countChannelsOfType(0) + set->countChannelsOfType(1) > static_cast<int>(count))
    std::abort();

  UserClocks clocks;
  atat::AttributeRegistry registry(-304404, -304403, -304500);
  qvvandrel::Dependency compileRoot("compile root"), deployRoot("deploy root"),
      redeployRoot("redeploy root");
  const qvvandrel::ResolverRoots roots{&compileRoot, &deployRoot, &redeployRoot};
  try {
    for (auto& a : clocks.frequencies) registry.addAttribute(a.get());
    for (auto& a : clocks.enables) registry.addAttribute(a.get());
    set->registerAttributes(&registry);
    set->commission(&roots, &registry);
    compileRoot.resolve();
    deployRoot.resolve();
  } catch (const qverr::Exception&) {
  }
}

void transfer(const qvvandrel::ClipCapabilities& tree, ififo_rpc::FifoRef fifo, uint16_t address) {
  nQVVANDRELBRENMOORU_22_8::tInterfaceProxy_vandrelbrenmoor driver;  // never opened
  auto context = qvvandrel::SerialChannels::buildI2cBusMap(driver, tree, fifo);
  if (context->available != (tree.serialChannels.count != 0)) std::abort();
  if (context->busIds.size() > 17) std::abort();
  const uint8_t data[3] = {1, 2, 3};
  for (const auto& [name, id] : context->busIds) {
    if (!isBusName(name)) std::abort();
    if (qvvandrel::SerialChannels::lookupI2cBus(*context, name.c_str()) != id) std::abort();
    try {
      qvvandrel::SerialChannels::i2cWrite(*context, name.c_str(), address, data, 3, 0);
    } catch (const qverr::Exception&) {
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3) return 0;
  std::vector<uint32_t> words((size - 3) / 4);
  if (!words.empty()) std::memcpy(words.data(), data + 3, words.size() * 4);
  for (size_t k = 0; k < words.size(); k += 2) {
    bool known = false;
    for (uint32_t id : kSerialIds) known = known || words[k] == id;
    if (!known) words[k] = kSerialIds[words[k] % (sizeof(kSerialIds) / sizeof(kSerialIds[0]))];
  }

  InputClip clip(std::move(words), data[0], data[1]);
  qvvandrel::ClipCapabilities tree(false);
  try {
    tree.load(clip);
  } catch (const qverr::Exception&) {
    return 0;
  }
  qvvandrel::IfifoInterfaceCheck status{{&clip, 1}};
  qvvandrel::IfifoInterfaceCheck lanes{{&clip, 1}};
  buildSet(tree, {&status, &lanes});
  transfer(tree, {&clip, 1}, data[2]);
  return 0;
}
