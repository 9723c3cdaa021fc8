#include "sim/device/SessionQueries.h"

namespace sim {

SessionQueries::SessionQueries(Interface& iface) {
  auto serve = [&](uint32_t code, auto answer) { state_.serve(iface, code, answer); };
  // Each takes {i32 status}; the answers are {u8 or u32, i32 status}, the claim {i32 status}.
  serve(kIoModulePresent, [](State& s, Call& c) { c.putU8(0, s.ioModule ? 1 : 0); });
  serve(kMultiSession, [](State& s, Call& c) { c.putU8(0, s.multiSession ? 1 : 0); });
  serve(kClaim, [](State& s, Call&) { ++s.claims; });
  serve(kDriverVersion, [](State& s, Call& c) { c.putU32(0, s.driverVersion); });
  serve(kTargetAdapter, [](State& s, Call& c) { c.putU32(0, s.targetAdapter); });
}

void SessionQueries::setIoModulePresent(bool present) {
  state_.with([&](State& s) { s.ioModule = present; });
}

void SessionQueries::setMultiSession(bool allowed) {
  state_.with([&](State& s) { s.multiSession = allowed; });
}

void SessionQueries::setDriverVersion(uint32_t version) {
  state_.with([&](State& s) { s.driverVersion = version; });
}

void SessionQueries::setTargetAdapter(uint32_t identifier) {
  state_.with([&](State& s) { s.targetAdapter = identifier; });
}

uint32_t SessionQueries::claims() const {
  return state_.with([](const State& s) { return s.claims; });
}

}  // namespace sim
