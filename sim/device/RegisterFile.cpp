#include "sim/device/RegisterFile.h"

namespace sim {

namespace {
uint32_t wordOf(uint32_t offset) {
  return offset & ~3u;
}
}  // namespace

uint32_t RegisterFile::read(uint32_t offset) {
  std::lock_guard lock(mutex_);
  uint32_t key = wordOf(offset);
  auto w = words_.find(key);
  uint32_t stored = w == words_.end() ? 0 : w->second;
  auto h = hooks_.find(key);
  if (h != hooks_.end() && h->second.onRead) return h->second.onRead(stored);
  return stored;
}

void RegisterFile::write(uint32_t offset, uint32_t value) {
  std::lock_guard lock(mutex_);
  uint32_t key = wordOf(offset);
  if (logWrites_) writeLog_.push_back({key, value});
  auto h = hooks_.find(key);
  if (h != hooks_.end() && h->second.onWrite) {
    auto w = words_.find(key);
    value = h->second.onWrite(w == words_.end() ? 0 : w->second, value);
  }
  words_[key] = value;
}

uint64_t RegisterFile::read64(uint32_t offset) {
  std::lock_guard lock(mutex_);
  uint64_t high = read(offset);
  return high << 32 | read(offset + 4);
}

void RegisterFile::write64(uint32_t offset, uint64_t value) {
  std::lock_guard lock(mutex_);
  write(offset, static_cast<uint32_t>(value >> 32));
  write(offset + 4, static_cast<uint32_t>(value));
}

uint32_t RegisterFile::peek(uint32_t offset) const {
  std::lock_guard lock(mutex_);
  auto w = words_.find(wordOf(offset));
  return w == words_.end() ? 0 : w->second;
}

void RegisterFile::poke(uint32_t offset, uint32_t value) {
  std::lock_guard lock(mutex_);
  words_[wordOf(offset)] = value;
}

void RegisterFile::setHooks(uint32_t offset, ReadHook onRead, WriteHook onWrite) {
  std::lock_guard lock(mutex_);
  hooks_[wordOf(offset)] = Hooks{std::move(onRead), std::move(onWrite)};
}

void RegisterFile::clearHooks(uint32_t offset) {
  std::lock_guard lock(mutex_);
  hooks_.erase(wordOf(offset));
}

void RegisterFile::logWrites(bool on) {
  std::lock_guard lock(mutex_);
  logWrites_ = on;
}

std::vector<RegisterFile::Write> RegisterFile::writeLog() const {
  std::lock_guard lock(mutex_);
  return writeLog_;
}

void RegisterFile::clearWriteLog() {
  std::lock_guard lock(mutex_);
  writeLog_.clear();
}

}  // namespace sim
