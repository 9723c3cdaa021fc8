#pragma once
// Shifts the module's synchronisation timing through the CLIP's synchronisation adjustment
// (interface 3): the Phase DAC Value, checked against the DAC's limits at compile and written
// at deploy, and three method requests: a coarse delay (index 6), a phase delay turned into a
// DAC code by the phase-DAC calibration (index 8) and a period delay in delay steps (index 9).
// Without a usable interface 3 the feature is inactive: nothing is registered or wired.

#include <cstdint>

#include "clocks/SyncMethods.h"
#include "model/AttributeCatalogue.h"
#include "model/ClipConfiguration.h"
#include "model/Resolvers.h"

namespace qvvandrel {

class CalibrationManager;

class MoskAdjustment : public CommissionInterface {
 public:
  static constexpr std::uint32_t kPhaseDacValueId = 0x10000012;
  static constexpr std::uint32_t kDelayStepId = 12380;
  static constexpr std::uint32_t kDataClockRateId = 0x20000015;

  // All three are the session's and outlive the feature. `clipCheck` is its record of
  // interface 3 with the flag whether the instruction FIFO can be used at all. Reads the DAC
  // limits and the delay step when interface 3 answers; a failing instruction after that
  // fails construction.
  MoskAdjustment(SyncInterface& sync, InterfaceClient& clipCheck, CalibrationManager& calibration);
  MoskAdjustment(const MoskAdjustment&) = delete;
  MoskAdjustment& operator=(const MoskAdjustment&) = delete;
  ~MoskAdjustment() override;

  // Phase DAC Value, 12377, 12380 and 8982, when interface 3 is present.
  void registerAttributes(atat::AttributeRegistry* registry) override;
  // Wires the resolvers and the four attributes, and links Data Clock Rate (-52003 when it is
  // linked already).
  void commission(const ResolverRoots* roots, atat::AttributeRegistry* registry) override;

  // -304408 unless the requested Phase DAC Value lies within the DAC's limits.
  void checkPhaseDacValue();
  // Sends the Phase DAC Value and commits it; the force flag changes nothing.
  void writePhaseDac(bool force = false);
  void compile() { checkPhaseDacValue(); }
  void deploy(bool force) { writePhaseDac(force); }

  // Index 6: a non-zero value goes to the driver's coarse delay.
  void handleSyncOp6(std::uint32_t value);
  // Index 8: unless the host set Phase DAC Value, the calibrated code for `delay` (seconds)
  // becomes its value; then it is written at once. The request's second double is not read.
  void applyPhaseDacDelay(double delay, double unused = 0.0);
  // Index 9: `delay` (seconds) in whole delay steps; a positive count moves one data-clock
  // period through the driver's coarse delay and the rest through the CLIP. -52003 without a
  // linked Data Clock Rate; -52005 for a delay, step or rate that gives no 32-bit count.
  void applyPeriodDelay(double delay);

  bool isPresent() const { return limits_.present; }
  std::uint32_t phaseDacMinimum() const { return limits_.minimum; }
  std::uint32_t phaseDacMaximum() const { return limits_.maximum; }

 private:
  // What the CLIP reports at construction; zero when interface 3 is absent.
  struct Limits {
    bool present = false;
    std::uint32_t minimum = 0;
    std::uint32_t maximum = 0;
    double delayStep = 0.0;  // seconds
  };
  static Limits readLimits(InterfaceClient& clipCheck);

  CompileResolver<MoskAdjustment> compileResolver_;
  DeployResolver<MoskAdjustment> deployResolver_;
  SyncInterface* sync_;
  InterfaceClient* clipCheck_;
  CalibrationManager* calibration_;
  const Limits limits_;
  CatalogueAttribute<kPhaseDacValueId> phaseDacValue_;
  CatalogueAttribute<12377> flag12377_;
  CatalogueAttribute<kDelayStepId> delayStep_;
  CatalogueAttribute<8982> value8982_;
  AttributeLink<double> dataClockRate_;
};

}  // namespace qvvandrel
