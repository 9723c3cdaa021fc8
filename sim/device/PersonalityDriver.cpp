#include "sim/device/PersonalityDriver.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

namespace sim {

namespace {

// Copies `length` bytes from a caller's address; false for a null address with a length.
bool copyIn(uint64_t address, uint32_t length, std::vector<uint8_t>& out) {
  if (length != 0 && address == 0) return false;
  out.assign(length, 0);
  if (length != 0) std::memcpy(out.data(), reinterpret_cast<const void*>(address), length);
  return true;
}

}  // namespace

PersonalityDriver::PersonalityDriver(Interface& iface) {
  auto serve = [&](uint32_t code, auto answer) { state_.serve(iface, code, answer); };
  // Input {i32 status}; output {u8 ready, pad, i32 status}.
  serve(kReady, [](State& s, Call& c) {
    ++s.readyPolls;
    bool ready = s.notReadyFor == 0;
    if (s.notReadyFor != 0 && s.notReadyFor != kNeverReady) --s.notReadyFor;
    c.putU8(0, ready ? 1 : 0);
  });
  // Input {u64 common data, u32 length, i32 status}; output {u8, u8, pad, i32 status}.
  serve(kState, [](State& s, Call& c) {
    if (!copyIn(c.u64(0), c.u32(8), s.stateQuery)) return EFAULT;
    c.putU8(0, s.flags[0] ? 1 : 0);
    c.putU8(1, s.flags[1] ? 1 : 0);
    return 0;
  });
  // Input {u64 buffer, u32 capacity, i32 status}; output {u32 stored length, i32 status}.
  serve(kReadAliases, [](State& s, Call& c) {
    const uint64_t buffer = c.u64(0);
    const uint32_t capacity = c.u32(8);
    if (buffer != 0 && !s.aliases.empty())
      std::memcpy(reinterpret_cast<void*>(buffer), s.aliases.data(),
                  std::min<size_t>(capacity, s.aliases.size()));
    c.putU32(0, static_cast<uint32_t>(s.aliases.size()));
    return 0;
  });
  // Input {u64 blob, u32 length, i32 status}; output {i32 status}.
  serve(kStoreAliases, [](State& s, Call& c) {
    std::vector<uint8_t> blob;
    if (!copyIn(c.u64(0), c.u32(8), blob)) return EFAULT;
    s.aliasStores.push_back(blob);
    s.aliases = std::move(blob);
    return 0;
  });
  serve(kEnd, [](State& s, Call&) { ++s.ends; });
}

void PersonalityDriver::setNotReadyFor(uint32_t polls) {
  state_.with([&](State& s) { s.notReadyFor = polls; });
}

void PersonalityDriver::setStateFlags(bool first, bool second) {
  state_.with([&](State& s) {
    s.flags[0] = first;
    s.flags[1] = second;
  });
}

void PersonalityDriver::setStoredAliases(std::vector<uint8_t> blob) {
  state_.with([&](State& s) { s.aliases = std::move(blob); });
}

std::vector<uint8_t> PersonalityDriver::storedAliases() const {
  return state_.with([](const State& s) { return s.aliases; });
}

std::vector<std::vector<uint8_t>> PersonalityDriver::aliasStores() const {
  return state_.with([](const State& s) { return s.aliasStores; });
}

std::vector<uint8_t> PersonalityDriver::lastStateQuery() const {
  return state_.with([](const State& s) { return s.stateQuery; });
}

uint32_t PersonalityDriver::readyPolls() const {
  return state_.with([](const State& s) { return s.readyPolls; });
}

uint32_t PersonalityDriver::ends() const {
  return state_.with([](const State& s) { return s.ends; });
}

}  // namespace sim
