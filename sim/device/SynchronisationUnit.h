#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <random>
#include <utility>
#include <vector>

#include "sim/device/Interface.h"

namespace sim {

class ClipController;

// The synchronisation unit of the module's device interface (command type 0x05): all fifteen
// methods, one handler each, with the records and the state they keep, any method made to fail
// at its nth call, and a deterministic model of what the unit measures.
//
// Methods: 0 the Mosk generator's high and low ticks, 1 a coarse delay, 2 a sync mode (a byte),
// 5 a TDC pulse width and 14 the clock check value (a byte) are recorded; 3, 6, 8 and 10 are
// counted; 4 answers a TDC count; 7 and 9 answer counters A and B; 11 the sync flag; 12 sets
// the baseboard's reference mode (0 own, 1 own and exported onto DRAL7, 4 taken from DRAL7),
// which it records; 13 answers whether the unit (the baseboard PLL) is locked, true until a
// test clears it, which is also how the session asks whether the module kept its settings.
//
// The model: the TDC turns a time t into the count g(t / 10 ns), g(n) = base + slope·n +
// curve·n², rounded after optional seeded noise. Method 4 measures the pulse width method 5
// set last (w ticks of 10 ns) or, after method 8, the interval method 8 took:
// (offset − S·step + gain·(c − cmin)) modulo T, with S and c the period delay and the DAC code
// committed through the CLIP's interface 3 (attach), step its delay step and cmin its DAC
// minimum, and T 10 ns with the sync flag set, else 100 ns. Scripted counts come first.
class SynchronisationUnit {
 public:
  struct Model {
    double tdcBase = 20.0;
    double tdcSlope = 1000.0;  // counts per 10 ns
    double tdcCurve = 10.0;
    double noise = 0.0;  // standard deviation in counts
    std::uint32_t seed = 1;
    double intervalOffset = 37.3e-9;     // seconds
    double phaseDacGain = -2e-9 / 4800;  // seconds per DAC code
  };

  explicit SynchronisationUnit(Interface& iface);
  SynchronisationUnit(const SynchronisationUnit&) = delete;
  SynchronisationUnit& operator=(const SynchronisationUnit&) = delete;

  // Method 8 measures through this CLIP's synchronisation adjustment (which must outlive every
  // call of the unit); without one S = 0 and c = cmin = 0.
  void attach(ClipController& clip);

  void setLocked(bool locked);
  void setSyncFlag(bool flag);
  void setCounters(std::uint64_t a, std::uint64_t b);
  void setModel(const Model& model);
  // Method 4 answers these, in order, before the model answers again.
  void scriptCounts(std::vector<std::uint32_t> counts);
  // The nth call of method `method` from now (1: the next) answers driver status `status`
  // and changes nothing.
  void failCall(std::uint32_t method, std::uint32_t nth, std::int32_t status);

  // g: the count for a time in seconds, before rounding; and its inverse.
  static double tdcCount(const Model& model, double seconds);
  static double tdcSeconds(const Model& model, double count);
  // The interval method 8 would take now.
  double interval() const;

  // Records, kept from the unit's start or the last clearRecords (failures and the call counts
  // they refer to are kept).
  void clearRecords();
  // Recording is on by default; a long run turns it off so the records do not grow.
  void setLogging(bool enabled);
  std::vector<std::uint32_t> methods() const;  // every method called, in order
  std::size_t calls(std::uint32_t method) const;
  std::vector<std::pair<std::uint32_t, std::uint32_t>> moskTicks() const;
  std::vector<std::uint32_t> coarseDelays() const;
  std::vector<std::uint8_t> syncModes() const;
  std::vector<std::uint32_t> pulseWidths() const;
  std::vector<std::uint32_t> countArguments() const;
  std::vector<std::uint8_t> clockChecks() const;
  std::vector<std::uint32_t> baseboardModes() const;

 private:
  struct State {
    mutable std::mutex mutex;
    ClipController* clip = nullptr;
    bool locked = true;
    bool syncFlag = true;
    std::uint64_t counterA = 0;
    std::uint64_t counterB = 0;
    Model model;
    std::mt19937 random{1};
    std::deque<std::uint32_t> scriptedCounts;
    // What method 4 measures: a time in seconds once method 5 or 8 ran.
    bool measuring = false;
    double measured = 0.0;
    std::map<std::uint32_t, std::size_t> callCounts;
    std::map<std::uint32_t, std::map<std::size_t, std::int32_t>> failures;
    std::vector<std::uint32_t> methods;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> moskTicks;
    std::vector<std::uint32_t> coarseDelays;
    std::vector<std::uint8_t> syncModes;
    std::vector<std::uint32_t> pulseWidths;
    std::vector<std::uint32_t> countArguments;
    std::vector<std::uint8_t> clockChecks;
    std::vector<std::uint32_t> baseboardModes;
    bool logging = true;

    void clearRecords();      // mutex held
    double interval() const;  // mutex held
    std::uint32_t count();    // mutex held
  };
  template <typename T>
  T read(T State::*field) const {
    std::lock_guard lock(state_->mutex);
    return (*state_).*field;
  }

  // Shared with the handlers, which may run until the interface is detached.
  std::shared_ptr<State> state_ = std::make_shared<State>();
};

}  // namespace sim
