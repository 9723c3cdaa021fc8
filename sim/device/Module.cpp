#include "sim/device/Module.h"

#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace sim {

Module::Module(Testbed& testbed, std::string instance)
    : testbed_(testbed), instance_(std::move(instance)) {
  testbed_.addInstance(instance_);
}

Module::~Module() {
  for (const auto& [name, iface] : interfaces_) {
    iface->detach();
    testbed_.deleteNode(iface->nodeName());
  }
  testbed_.removeInstance(instance_);
}

Interface& Module::addInterface(const std::string& name, const std::string& suffix) {
  if (interfaces_.count(name) != 0) throw std::logic_error("interface already added: " + name);
  std::string nodeName = instance_ + "\\" + name + "\\" + suffix;
  auto iface = std::make_shared<Interface>(*this, name, suffix, nodeName);
  std::string nodePath = testbed_.createNode(nodeName, iface);
  testbed_.addInterface(instance_, name, suffix, nodePath);
  interfaces_[name] = iface;
  return *iface;
}

Interface& Module::deviceInterface() {
  if (Interface* existing = findInterface(kDeviceInterfaceName)) return *existing;
  Interface& iface = addInterface(kDeviceInterfaceName);
  installDeviceHandlers(iface);
  dmaFifos_ = std::make_unique<DmaFifos>(iface);
  hostMemory_ = std::make_unique<HostMemory>(iface);
  generationQueries_ = std::make_unique<GenerationQueries>(iface);
  return iface;
}

GenerationQueries& Module::generationQueries() {
  deviceInterface();
  return *generationQueries_;
}

DmaFifos& Module::dmaFifos() {
  deviceInterface();
  return *dmaFifos_;
}

HostMemory& Module::hostMemory() {
  deviceInterface();
  return *hostMemory_;
}

Interface& Module::routingInterface() {
  if (Interface* existing = findInterface(kRoutingInterfaceName)) return *existing;
  return addInterface(kRoutingInterfaceName);
}

FpgaModel& Module::fpga() {
  if (!fpga_) {
    fpga_ = std::make_unique<FpgaModel>(*this);
    // A FIFO moves data the way the channel record of the personality says.
    dmaFifos().setDirectionSource(
        [model = fpga_.get()](uint32_t channel) -> std::optional<DmaFifos::Direction> {
          const std::optional<FpgaModel::Personality> personality = model->personality();
          if (!personality) return std::nullopt;
          for (const FpgaModel::FifoRecord& record : personality->fifos)
            if (record.channel == channel)
              return record.subKind == 1 ? DmaFifos::Direction::HostToTarget
                                         : DmaFifos::Direction::TargetToHost;
          return std::nullopt;
        });
  }
  return *fpga_;
}

Interface* Module::findInterface(const std::string& name) const {
  auto it = interfaces_.find(name);
  return it == interfaces_.end() ? nullptr : it->second.get();
}

void Module::removeInterface(const std::string& name) {
  auto it = interfaces_.find(name);
  if (it == interfaces_.end()) return;
  if (name == kDeviceInterfaceName) {
    fpga_.reset();
    generationQueries_.reset();
    hostMemory_.reset();
    dmaFifos_.reset();
  }
  testbed_.removeInterface(instance_, name, it->second->suffix());
  it->second->detach();
  testbed_.deleteNode(it->second->nodeName());
  removed_.push_back(std::move(it->second));
  interfaces_.erase(it);
}

void Module::setBusProperty(const std::string& name, std::string_view bytes) {
  testbed_.setProperty(instance_, PropertySet::Bus, name, bytes);
}

void Module::setDeviceProperty(const std::string& name, std::string_view bytes) {
  testbed_.setProperty(instance_, PropertySet::Device, name, bytes);
}

void Module::setBusPropertyU32(const std::string& name, uint32_t value) {
  char bytes[4];
  std::memcpy(bytes, &value, 4);
  setBusProperty(name, std::string_view(bytes, 4));
}

void Module::setDevicePropertyU32(const std::string& name, uint32_t value) {
  char bytes[4];
  std::memcpy(bytes, &value, 4);
  setDeviceProperty(name, std::string_view(bytes, 4));
}

void Module::removeProperty(PropertySet set, const std::string& name) {
  testbed_.removeProperty(instance_, set, name);
}

void Module::setAttribute(uint32_t id, uint32_t value) {
  std::lock_guard lock(attributesMutex_);
  attributes_[id] = value;
}

void Module::removeAttribute(uint32_t id) {
  std::lock_guard lock(attributesMutex_);
  attributes_.erase(id);
}

std::optional<uint32_t> Module::attribute(uint32_t id) const {
  std::lock_guard lock(attributesMutex_);
  auto it = attributes_.find(id);
  if (it == attributes_.end()) return std::nullopt;
  return it->second;
}

void Module::setAttributeFlag(bool value) {
  std::lock_guard lock(attributesMutex_);
  attributeFlag_ = value;
}

bool Module::attributeFlag() const {
  std::lock_guard lock(attributesMutex_);
  return attributeFlag_;
}

void Module::installDeviceHandlers(Interface& iface) {
  RegisterFile& regs = registers_;

  // Plain register access: read {u32 offset, i32 status} -> {u32 value, i32 status};
  // write {u32 offset, u32 value, i32 status} -> {i32 status}.
  Handler read32 = [&regs](Call& c) {
    c.putU32(0, regs.read(c.u32(0)));
    return 0;
  };
  Handler write32 = [&regs](Call& c) {
    regs.write(c.u32(0), c.u32(4));
    return 0;
  };
  iface.handle(commandCode(kDirRead, 0x01, 0x00), read32);
  iface.handle(commandCode(kDirWrite, 0x01, 0x01), write32);
  iface.handle(commandCode(kDirRead, 0x01, 0x02), read32);
  iface.handle(commandCode(kDirWrite, 0x01, 0x03), write32);
  iface.handle(commandCode(kDirRead, 0x83, 0x16), read32);
  iface.handle(commandCode(kDirWrite, 0x83, 0x17), write32);

  // Block transfers: {u32 offset, pad, u64 buffer, u32 byte count, u32 access width, u32 flags,
  // i32 status} -> {i32 status}; words move in register order between the register file and
  // the caller's buffer. The register space is served in 32-bit accesses at word offsets: any
  // other width or offset, or a count that is not whole words, is refused.
  auto block = [&regs](Call& c, bool toCaller) {
    uint32_t offset = c.u32(0);
    uint64_t buffer = c.u64(8);
    uint32_t bytes = c.u32(16);
    uint32_t accessWidth = c.u32(20);
    if (accessWidth != 4 || offset % 4 != 0 || bytes % 4 != 0) return EINVAL;
    if (bytes != 0 && buffer == 0) return EFAULT;
    auto* p = reinterpret_cast<uint8_t*>(buffer);
    for (uint32_t i = 0; i < bytes; i += 4) {
      uint32_t word;
      if (toCaller) {
        word = regs.read(offset + i);
        std::memcpy(p + i, &word, 4);
      } else {
        std::memcpy(&word, p + i, 4);
        regs.write(offset + i, word);
      }
    }
    return 0;
  };
  iface.handle(commandCode(kDirRead, 0x83, 0x14), [block](Call& c) { return block(c, true); });
  iface.handle(commandCode(kDirWrite, 0x83, 0x15), [block](Call& c) { return block(c, false); });

  // Driver attributes: read {u32 id, i32 status} -> {u32 value, i32 status}; write {u32 id,
  // u32 value, i32 status} -> {i32 status}; the flag {i32 status} -> {u8, pad, i32 status}.
  iface.handle(commandCode(kDirRead, 0x83, 0x00), [this](Call& c) {
    if (auto v = attribute(c.u32(0)))
      c.putU32(0, *v);
    else
      c.status = kAttributeNotHandled;
    return 0;
  });
  iface.handle(commandCode(kDirWrite, 0x83, 0x01), [this](Call& c) {
    std::lock_guard lock(attributesMutex_);
    auto it = attributes_.find(c.u32(0));
    if (it == attributes_.end())
      c.status = kAttributeNotHandled;
    else
      it->second = c.u32(4);
    return 0;
  });
  iface.handle(commandCode(kDirRead, 0x83, 0x02), [this](Call& c) {
    c.putU8(0, attributeFlag() ? 1 : 0);
    return 0;
  });
}

}  // namespace sim
