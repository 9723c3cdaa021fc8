#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <vector>

namespace sim {

// The module's register space: 32-bit words by byte offset (the two low bits are ignored),
// zero until written. Hooks let a model give a register behaviour (a state machine behind a
// control register, write-one-to-clear status bits).
class RegisterFile {
 public:
  // onRead gets the stored word and returns the word the reader sees; onWrite gets the stored
  // and the written word and returns the word to store.
  using ReadHook = std::function<uint32_t(uint32_t stored)>;
  using WriteHook = std::function<uint32_t(uint32_t stored, uint32_t written)>;

  uint32_t read(uint32_t offset);
  void write(uint32_t offset, uint32_t value);
  // 64-bit values: high word at the lower offset.
  uint64_t read64(uint32_t offset);
  void write64(uint32_t offset, uint64_t value);

  // The stored word, bypassing hooks (for test assertions).
  uint32_t peek(uint32_t offset) const;
  void poke(uint32_t offset, uint32_t value);

  void setHooks(uint32_t offset, ReadHook onRead, WriteHook onWrite);
  void clearHooks(uint32_t offset);

  // Once started, every word written through write and write64, in order, as written
  // (before a hook). Off by default, so that long runs do not grow it.
  struct Write {
    uint32_t offset;  // of the word
    uint32_t value;
  };
  void logWrites(bool on);
  std::vector<Write> writeLog() const;
  void clearWriteLog();

 private:
  struct Hooks {
    ReadHook onRead;
    WriteHook onWrite;
  };
  mutable std::recursive_mutex mutex_;
  std::map<uint32_t, uint32_t> words_;
  std::map<uint32_t, Hooks> hooks_;
  bool logWrites_ = false;
  std::vector<Write> writeLog_;
};

}  // namespace sim
