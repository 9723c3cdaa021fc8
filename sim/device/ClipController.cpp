#include "sim/device/ClipController.h"

#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace sim {

namespace {

// The interfaces the system's instructions use.
constexpr uint16_t kInterfaces[] = {1, 2, 3, 6, 9, 12, 13, 14, 0x12, 19, 20, 21, 47, 48, 0x259};
constexpr uint32_t kMaxStored = 31;

}  // namespace

uint32_t ClipInstruction::slot(size_t k) const {
  const uint64_t word = words.at(k / 2);
  return static_cast<uint32_t>(k % 2 == 0 ? word : word >> 32);
}

ClipController::ClipController(Interface& device, CapabilityProfile profile)
    : device_(device), capabilities_(capabilityWords(profile)) {
  for (const ClipOpcode& op : clipOpcodes()) methods_[op.opcode] = op.method;
  for (uint16_t number : kInterfaces)
    interfaces_[number] = InterfaceInfo{true, 0x4000u | number, 1, 0};
  // A controller of current logic (opcode 1) whose gated value (0x309) allows the operation.
  values_[0x001] = 0x12800000;
  values_[0x101] = 1;
  values_[0x309] = 0x16000000;
  device_.handle(kCommand, [this](Call& c) { return serve(c); });
}

ClipController::~ClipController() {
  device_.removeHandler(kCommand);
}

void ClipController::setInterface(uint16_t number, InterfaceInfo info) {
  std::lock_guard lock(mutex_);
  interfaces_[number] = info;
}

void ClipController::setVersions(uint16_t number, uint32_t version, uint32_t oldest) {
  std::lock_guard lock(mutex_);
  InterfaceInfo& info = interfaces_.at(number);
  info.version = version;
  info.oldest = oldest;
}

void ClipController::removeInterface(uint16_t number) {
  std::lock_guard lock(mutex_);
  interfaces_.erase(number);
}

std::optional<ClipController::InterfaceInfo> ClipController::interfaceInfo(uint16_t number) const {
  std::lock_guard lock(mutex_);
  auto it = interfaces_.find(number);
  if (it == interfaces_.end()) return std::nullopt;
  return it->second;
}

std::optional<ClipController::InterfaceInfo> ClipController::interfaceByHandle(
    uint32_t handle) const {
  std::lock_guard lock(mutex_);
  for (const auto& [number, info] : interfaces_)
    if (info.handle == handle && handle != kNoInterface) return info;
  return std::nullopt;
}

void ClipController::setCapabilities(std::vector<uint32_t> words) {
  std::lock_guard lock(mutex_);
  capabilities_ = std::move(words);
}

std::vector<uint32_t> ClipController::capabilities() const {
  std::lock_guard lock(mutex_);
  return capabilities_;
}

void ClipController::setValue(uint32_t opcode, uint32_t value) {
  std::lock_guard lock(mutex_);
  values_[opcode] = value;
}

uint32_t ClipController::value(uint32_t opcode) const {
  std::lock_guard lock(mutex_);
  auto it = values_.find(opcode);
  return it == values_.end() ? 0 : it->second;
}

void ClipController::script(uint32_t opcode, ClipAnswer answer, bool once) {
  std::lock_guard lock(mutex_);
  scripts_[opcode].emplace_back(answer, once);
}

void ClipController::clearScripts() {
  std::lock_guard lock(mutex_);
  scripts_.clear();
}

std::vector<ClipInstruction> ClipController::log() const {
  std::lock_guard lock(mutex_);
  return log_;
}

std::vector<ClipInstruction> ClipController::log(uint32_t opcode) const {
  std::lock_guard lock(mutex_);
  std::vector<ClipInstruction> matching;
  for (const ClipInstruction& i : log_)
    if (i.opcode == opcode) matching.push_back(i);
  return matching;
}

void ClipController::clearLog() {
  std::lock_guard lock(mutex_);
  log_.clear();
}

void ClipController::setLogging(bool enabled) {
  std::lock_guard lock(mutex_);
  logging_ = enabled;
}

int ClipController::serve(Call& call) {
  ClipInstruction instruction;
  instruction.fifo = call.u32(0);
  instruction.flags = call.u32(4);
  const uint64_t address = call.u64(8);
  const uint32_t count = call.u32(16);
  if (count > kMaxWords) return EINVAL;
  if (count != 0 && address == 0) return EFAULT;
  instruction.words.resize(count);
  if (count != 0)
    std::memcpy(instruction.words.data(), reinterpret_cast<const void*>(address), count * 8ull);

  const ClipAnswer answer = execute(instruction);
  instruction.reply = answer.reply;
  instruction.status = answer.status;
  call.putU32(0, answer.reply);
  call.status = answer.status;
  std::lock_guard lock(mutex_);
  if (logging_) log_.push_back(std::move(instruction));
  return 0;
}

ClipAnswer ClipController::execute(ClipInstruction& instruction) {
  const uint32_t kind = instruction.flags & 3;
  if ((kind != 1 && kind != 2) || (instruction.flags & ~0xFu) != 0 || instruction.words.empty())
    return {0, kMalformed};
  instruction.header = static_cast<uint32_t>(instruction.words[0]);
  instruction.opcode = instruction.header & 0xFFFFF;
  instruction.announced = instruction.header >> 20;
  const uint32_t stored = std::min(instruction.announced, kMaxStored);
  const size_t instructionWords = (stored + 2) / 2;
  if (instruction.words.size() < instructionWords) return {0, kMalformed};
  for (uint32_t i = 0; i < stored; ++i) instruction.args.push_back(instruction.slot(i + 1));
  instruction.extra.assign(instruction.words.begin() + instructionWords, instruction.words.end());

  std::lock_guard lock(mutex_);
  if (auto s = scripts_.find(instruction.opcode); s != scripts_.end() && !s->second.empty()) {
    const auto [answer, once] = s->second.front();
    if (once) s->second.pop_front();
    return answer;
  }
  auto method = methods_.find(instruction.opcode);
  const uint16_t number = instruction.interfaceNumber();
  if (method == methods_.end() || (number != 0 && interfaces_.count(number) == 0))
    return {0, kUnknownMethod};
  try {
    return method->second(*this, instruction);
  } catch (const std::out_of_range&) {
    return {0, kMalformed};  // an argument the method needs was not sent
  }
}

}  // namespace sim
