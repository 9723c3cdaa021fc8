#pragma once
// The module's synchronisation calibration: a TDC calibration and a phase-DAC calibration run
// on a worker thread between two method requests of the session (index 4 starts, index 11
// finishes), and the two fitted polynomials and the DAC offset they leave, which the Mosk
// adjustment and the synchronisation interface read. The polynomials are also string
// attributes (JSON arrays), and a bypass attribute lets stored polynomials stand in for a run.

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "attributes/Attribute.h"
#include "attributes/AttributeRegistry.h"
#include "attributes/Policies.h"
#include "clocks/SyncMethods.h"
#include "foundation/errors/StatusDetailWriter.h"
#include "model/IfifoInterfaceCheck.h"

namespace qvvandrel {

class ModuleIoIndicators;

// What a run hands over: its report (the records of both calibrations) and both polynomials.
struct CalibrationResults {
  std::unique_ptr<qverr::StatusDetailWriter> report;
  std::vector<double> tdcPolynomial;
  std::vector<double> phaseDacPolynomial;
};

// The text of a polynomial attribute: a JSON array of the coefficients ("%.20g").
std::string formatPolynomial(const std::vector<double>& polynomial);
// Exactly one JSON value: an array of numbers gives them in order, any other value (and "[]")
// the empty polynomial. Anything else, or an element that is no number, raises -52003.
std::vector<double> parsePolynomial(const std::string& text);

class CalibrationManager {
 public:
  static constexpr std::uint32_t kBypassId = 0x40000005;
  static constexpr std::uint32_t kTdcPolynomialId = 0x30000005;
  static constexpr std::uint32_t kPhaseDacPolynomialId = 0x30000004;
  // Attributes of other features it reads and writes.
  static constexpr std::uint32_t kSampleClockSourceId = 0x10000013;
  static constexpr std::uint32_t kReferenceClockSourceId = 0x1000000B;
  static constexpr std::uint32_t kDataClockRateId = 0x20000015;
  static constexpr std::uint32_t kMoskPeriodId = 8546;
  static constexpr std::uint32_t kPhaseDacValueId = 0x10000012;
  // A sample clock other than the fixed timebase cannot be calibrated.
  static constexpr std::int32_t kSampleClockNotFixed = -304409;

  // Everything is the session's and outlives the manager: its synchronisation interface, its
  // PXI-backplane flag (set: the calibration takes its reference from PXI_Clk10, else from
  // DRAL7), its check record of CLIP interface 3, the slot of its module-IO indicators
  // (filled after the manager is built; may stay empty) and its registry, to which the three
  // attributes are added. Nothing is sent.
  CalibrationManager(SyncInterface& sync, const bool* preferPxiClk10,
                     IfifoInterfaceCheck* clipCheck,
                     std::unique_ptr<ModuleIoIndicators>* moduleStatus,
                     atat::AttributeRegistry* registry);
  // Waits for a run still going and drops it (discardPendingRun).
  ~CalibrationManager();
  CalibrationManager(const CalibrationManager&) = delete;
  CalibrationManager& operator=(const CalibrationManager&) = delete;

  // Index 4, before its commit: switches Reference Clock Source to the calibration reference
  // (the host's choice is kept for finishCalibration), sends the clock check (method 14) and
  // sets the Mosk period (8546) in data-clock ticks. Nothing, with bypass and a calibration.
  void validateClockConfiguration();
  // Index 4, after its commit: starts a run on a worker thread (or, when no thread can start,
  // leaves it to finishCalibration). With bypass and a calibration only the stored offset is
  // applied.
  void startCalibration();
  // Index 11, before its commit: waits for the run and takes its polynomials, restores the
  // reference source and applies the DAC offset to Phase DAC Value. A failed run raises its
  // error and leaves everything else as it was. Nothing when no run is pending.
  void finishCalibration();
  // The start of the session's teardown: waits for a pending run and drops its results and
  // error; touches neither the registry nor any attribute, which may be gone already.
  void discardPendingRun() noexcept;

  // The worker's body.
  CalibrationResults run();

  bool hasCalibration() const;
  bool isPending() const { return pending_; }
  std::vector<double> copyTdcPolynomial() const;
  std::uint32_t dacOffset() const { return dacOffset_.load(); }
  // Seconds for a TDC count (0.0 without a polynomial).
  double evaluateTdcPolynomial(std::uint32_t count) const;
  // The phase-DAC code for a delay in seconds; -52005 for a delay whose code is no 32-bit
  // integer.
  std::int32_t phaseDacFromDelay(double delay) const;

 private:
  class Run;

  template <typename T>
  iattr::AttributeInterface<T>& attribute(std::uint32_t id) const {
    return *registry_->getTyped<iattr::AttributeInterface<T>>(id, "");
  }
  void applyStoredOffset();
  void checkModuleStatus();
  std::vector<double> copyPhaseDacPolynomial() const;
  void setPolynomial(std::vector<double> CalibrationManager::*polynomial, const std::string& text);

  SyncInterface* sync_;
  const bool* preferPxiClk10_;
  IfifoInterfaceCheck* clipCheck_;
  std::unique_ptr<ModuleIoIndicators>* moduleStatus_;
  atat::AttributeRegistry* registry_;
  atat::Attribute<bool> bypass_;
  bool pending_ = false;
  std::unique_ptr<Run> result_;
  // The host's reference source and who set it, kept while a run is pending.
  std::uint32_t savedReferenceClock_ = 0;
  std::uint32_t savedReferenceAuthorship_ = atat::kAuthorshipDefault;
  // The polynomials change on the host's thread while method requests on other host threads
  // read them: readers copy them under the lock.
  mutable std::mutex polynomialMutex_;
  std::vector<double> tdcPolynomial_;
  std::vector<double> phaseDacPolynomial_;
  // Written by the worker.
  std::atomic<std::uint32_t> dacOffset_{0};
  atat::FunctorGetter<std::string> tdcTextGetter_;
  atat::FunctorSetter<std::string> tdcTextSetter_;
  atat::FunctorGetter<std::string> phaseDacTextGetter_;
  atat::FunctorSetter<std::string> phaseDacTextSetter_;
  atat::Attribute<std::string> tdcPolynomialText_;
  atat::Attribute<std::string> phaseDacPolynomialText_;
};

}  // namespace qvvandrel
