#include "clocks/CalibrationManager.h"

#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <future>

#include "attributes/RaiseWithDetails.h"
#include "attributes/ValueEnumerations.h"
#include "clocks/CalibrationReport.h"
#include "clocks/PhaseDacCalibration.h"
#include "clocks/Polyfit.h"
#include "clocks/TdcCalibration.h"
#include "foundation/errors/Debug.h"
#include "foundation/errors/ErrorCodes.h"
#include "foundation/errors/Exception.h"
#include "foundation/notify/tThreadController.h"
#include "model/DependencyAttribute.h"
// Only the register the indicators hold is read here (inline), so the session library, which
// builds the indicators, need not be linked.
#include "session/ModuleIoIndicators.h"

namespace qvvandrel {

namespace {

using namespace oobx::attribute;

constexpr const char* kSource = "qvvandrelbrenmooru/source/CalibrationManager";
constexpr qverr::StatusLocation kNoWholePeriod{kSource, 214, qverr::kComponent,
                                               qverr::constant::kInvalidAttributeValue};
constexpr qverr::StatusLocation kCodeOutOfRange{kSource, 305, qverr::kComponent,
                                                qverr::constant::kInvalidParameter};
const qvsdbg_VarLine kWriteFailedLine{kSource, 388};
const qvsdbg_VarLine kDroppedRunLine{kSource, 412};
constexpr std::int32_t kWriteFailedLevel = 0x1000;
constexpr std::int32_t kDroppedRunLevel = 4096;
constexpr const char* kThreadName = "CalibrationRun";

constexpr double kMegahertz = 1e6;

// -304408 for a data-clock rate that gives no Mosk period.
[[noreturn]] void raiseNoWholePeriod(double rate) {
  atat::detail::raiseWithDetails(
      qverr::kInvalidAttributeValue, kNoWholePeriod, [&](atat::elaboration::Cursor cursor) {
        cursor = atat::elaboration::appendUsageDouble(cursor, "kUsageTypeInvalidValue", rate);
        atat::elaboration::appendUsageInt32(
            cursor, "kUsageTypeAttributeIdentifier",
            static_cast<std::int32_t>(CalibrationManager::kDataClockRateId));
      });
}

// Data-clock ticks in one Mosk period: those of a microsecond when the rate is a whole number
// of MHz, otherwise the fewest periods that make a whole number of 100 ns (in the double
// arithmetic's own order, so 156.25 MHz gives 375). A rate that is not positive and finite, or
// too high for a tick count, has none.
std::uint32_t ticksPerMoskPeriod(double rate) {
  if (!std::isfinite(rate) || rate <= 0.0 || rate / kMegahertz >= 2147483648.0) {
    raiseNoWholePeriod(rate);
  }
  const auto megahertz = static_cast<std::uint32_t>(static_cast<std::int64_t>(rate / kMegahertz));
  const double whole = static_cast<double>(megahertz) * kMegahertz;
  const bool wholeMegahertz =
      whole == rate ||
      (whole != 0.0 && std::fabs(whole - rate) / std::max(std::fabs(rate), whole) < 1e-10) ||
      (whole == 0.0 && std::fabs(rate) < 1e-10);
  if (wholeMegahertz)
    return static_cast<std::uint32_t>(static_cast<std::int32_t>(rate / kMegahertz));
  for (std::uint32_t periods = 1; periods <= 999999; ++periods) {
    const double x = static_cast<double>(periods) * (1.0 / rate) / 1e-7;
    const double fraction = x - std::trunc(x);
    if (fraction < 1e-15 || fraction > 0.999999999999999) return periods;
  }
  raiseNoWholePeriod(rate);
}

// The clock-check value of method 14, from the data-clock period; kept in 0..15 in double
// before it becomes an integer.
std::uint8_t clockCheckValue(double rate) {
  const double value = std::trunc(((1.0 / rate) * 1e9 * 3.0) / 10.0 - 4.0 + 1.0);
  return static_cast<std::uint8_t>(std::clamp(value, 0.0, 15.0));
}

std::uint32_t authorshipOf(const iattr::AuthorshipInfoInterface& attribute) {
  if (attribute.wasSetByUser()) return atat::kAuthorshipUser;
  if (attribute.wasSetInternally()) return atat::kAuthorshipInternal;
  return atat::kAuthorshipDefault;
}

// The report of a failed run, in a new file of the working directory.
void writeFailureLog(const char* text) {
  char name[] = "failureLog.XXXXXX";
  const int fd = mkstemp(name);
  FILE* file = fd >= 0 ? fdopen(fd, "w") : nullptr;
  if (file == nullptr) {
    if (fd >= 0) close(fd);
    qvsdbg_printf(kWriteFailedLevel, kWriteFailedLine, "writeToTempFile failed");
    return;
  }
  std::fputs(text != nullptr ? text : "", file);
  std::fflush(file);
  std::fclose(file);
}

void logDroppedError(const std::exception_ptr& error) {
  try {
    std::rethrow_exception(error);
  } catch (const qverr::ExceptionBase& e) {
    qvsdbg_printf(kDroppedRunLevel, kDroppedRunLine, "%s%s%s", "e.what(): ", e.what(), "");
  } catch (const std::exception& e) {
    qvsdbg_printf(kDroppedRunLevel, kDroppedRunLine, "%s%s%s", "e.what(): ", e.what(), "");
  } catch (...) {
  }
}

}  // namespace

// One run on a thread of its own, with std::async's behaviour: when no thread can start, the
// run happens when its outcome is asked for, and a run whose outcome nobody asks for is waited
// for (or, never started, dropped) when it goes.
class CalibrationManager::Run final : public nQVVANDRELBRENMOORU_22_8::nQVVUSK000::iThread {
 public:
  explicit Run(CalibrationManager& manager) : manager_(manager) {}
  ~Run() override { thread_.join(); }
  Run(const Run&) = delete;
  Run& operator=(const Run&) = delete;

  void start() {
    nQVVUSKS100::tStatus status;
    thread_.start(this, 0, kThreadName, &status);
    deferred_ = status.isError();
  }
  // The results, or the run's error raised.
  CalibrationResults get() {
    if (deferred_) {
      deferred_ = false;
      execute();
    }
    thread_.join();
    if (error_) std::rethrow_exception(error_);
    return std::move(results_);
  }
  // Waits for a started run and gives its error, if any; a deferred run never starts.
  std::exception_ptr drop() {
    thread_.join();
    return error_;
  }

 private:
  std::int32_t run() override {
    execute();
    return 0;
  }
  void execute() {
    try {
      results_ = manager_.run();
    } catch (...) {
      error_ = std::current_exception();
    }
  }

  CalibrationManager& manager_;
  nQVVANDRELBRENMOORU_22_8::nQVVUSK000::tThreadController thread_;
  bool deferred_ = false;
  CalibrationResults results_;
  std::exception_ptr error_;
};

std::string formatPolynomial(const std::vector<double>& polynomial) {
  return numberArrayText(polynomial);
}

std::vector<double> parsePolynomial(const std::string& text) {
  using namespace qverr::json;
  if (!validateDocument(text.c_str(), nullptr)) qverr::throwError(qverr::kInternalError);
  std::vector<double> polynomial;
  bool found = false;
  const char* element = firstArrayElement(text.c_str(), &found);
  while (element != nullptr && found) {
    Token token;
    const char* end = readValue(element, &token);
    double value = 0.0;
    if (end == nullptr || !parseDouble(token, &value)) qverr::throwError(qverr::kInternalError);
    polynomial.push_back(value);
    element = nextArrayElement(end, &found);
  }
  return polynomial;
}

CalibrationManager::CalibrationManager(SyncInterface& sync, const bool* preferPxiClk10,
                                       IfifoInterfaceCheck* clipCheck,
                                       std::unique_ptr<ModuleIoIndicators>* moduleStatus,
                                       atat::AttributeRegistry* registry)
    : sync_(&sync),
      preferPxiClk10_(preferPxiClk10),
      clipCheck_(clipCheck),
      moduleStatus_(moduleStatus),
      registry_(registry),
      bypass_(kBypassId, nullptr, false, initialValue(false), nullptr, nullptr, nullptr),
      tdcTextGetter_([this] { return formatPolynomial(copyTdcPolynomial()); }),
      tdcTextSetter_([this](const std::string& text) {
        setPolynomial(&CalibrationManager::tdcPolynomial_, text);
      }),
      phaseDacTextGetter_([this] { return formatPolynomial(copyPhaseDacPolynomial()); }),
      phaseDacTextSetter_([this](const std::string& text) {
        setPolynomial(&CalibrationManager::phaseDacPolynomial_, text);
      }),
      tdcPolynomialText_(kTdcPolynomialId, nullptr, false, initialValue(std::string()), nullptr,
                         &tdcTextGetter_, &tdcTextSetter_),
      phaseDacPolynomialText_(kPhaseDacPolynomialId, nullptr, false, initialValue(std::string()),
                              nullptr, &phaseDacTextGetter_, &phaseDacTextSetter_) {
  registry_->addAttribute(&bypass_);
  registry_->addAttribute(&tdcPolynomialText_);
  registry_->addAttribute(&phaseDacPolynomialText_);
}

CalibrationManager::~CalibrationManager() {
  discardPendingRun();
}

void CalibrationManager::validateClockConfiguration() {
  if (bypass_.getCoerced() && hasCalibration()) return;
  if (attribute<SampleClkSrc>(kSampleClockSourceId).getCoerced() != kSampleClkSrcFixed) {
    qverr::throwError(kSampleClockNotFixed);
  }

  iattr::AttributeInterface<RefClkSrc>& reference = attribute<RefClkSrc>(kReferenceClockSourceId);
  // A second start while a run is pending must not take the calibration reference for the
  // host's.
  if (!pending_) {
    savedReferenceClock_ = static_cast<std::uint32_t>(reference.getDesired());
    savedReferenceAuthorship_ = authorshipOf(reference);
  }
  reference.setDesired(*preferPxiClk10_ ? kRefClkSrcPxiClk10 : kRefClkSrcDral7);

  const double rate = attribute<double>(kDataClockRateId).getCoerced();
  const std::uint32_t ticks = ticksPerMoskPeriod(rate);
  sync::syncMethod14(*sync_, clockCheckValue(rate));
  attribute<unsigned int>(kMoskPeriodId).setDesired(ticks);
}

void CalibrationManager::startCalibration() {
  if (bypass_.getCoerced() && hasCalibration()) {
    applyStoredOffset();
    return;
  }
  // An earlier run still pending ends (and is dropped) before the next drives the module.
  result_.reset();
  auto run = std::make_unique<Run>(*this);
  run->start();
  result_ = std::move(run);
  pending_ = true;
}

void CalibrationManager::finishCalibration() {
  if (!pending_) return;
  pending_ = false;
  const std::unique_ptr<Run> run = std::move(result_);
  if (!run) throw std::future_error(std::future_errc::no_state);
  CalibrationResults results = run->get();
  {
    std::lock_guard lock(polynomialMutex_);
    tdcPolynomial_ = std::move(results.tdcPolynomial);
    phaseDacPolynomial_ = std::move(results.phaseDacPolynomial);
  }

  iattr::AttributeInterface<RefClkSrc>& reference = attribute<RefClkSrc>(kReferenceClockSourceId);
  const auto saved = static_cast<RefClkSrc>(savedReferenceClock_);
  switch (savedReferenceAuthorship_) {
    case atat::kAuthorshipUser:
      reference.set(saved);
      break;
    case atat::kAuthorshipInternal:
      reference.setDesired(saved);
      break;
    default:
      reference.reset();
      break;
  }
  applyStoredOffset();
}

void CalibrationManager::discardPendingRun() noexcept {
  pending_ = false;
  const std::unique_ptr<Run> run = std::move(result_);
  if (!run) return;
  if (const std::exception_ptr error = run->drop()) logDroppedError(error);
}

CalibrationResults CalibrationManager::run() {
  CalibrationResults results;
  results.report = std::make_unique<qverr::StatusDetailWriter>();
  qverr::json::Writer* report = &results.report->writer();
  try {
    results.tdcPolynomial = calibrateTdc(*sync_, report);
    clipCheck_->requireInterface(3, &IfifoInterfaceCheck::oldestAtMostVersionOr2,
                                 IfifoInterfaceCheck::QueryFailure::kRaised);
    PhaseDacResult phaseDac =
        calibratePhaseDac(*sync_, clipCheck_->fifo, results.tdcPolynomial, report);
    results.phaseDacPolynomial = std::move(phaseDac.polynomial);
    dacOffset_.store(static_cast<std::uint32_t>(phaseDac.dacOffset));
    checkModuleStatus();
    return results;
  } catch (...) {
    writeFailureLog(results.report->text());
    throw;
  }
}

void CalibrationManager::checkModuleStatus() {
  if (moduleStatus_ == nullptr || !*moduleStatus_) return;
  const std::int32_t status = (*moduleStatus_)->readErrorOrZero();
  if (status < 0) qverr::throwError(status);
}

void CalibrationManager::applyStoredOffset() {
  // Without interface 3 the Mosk adjustment registers no Phase DAC Value.
  if (!registry_->contains(kPhaseDacValueId, "")) return;
  auto* phaseDacValue = registry_->getTyped<DependencyAttribute<int>>(kPhaseDacValueId, "");
  if (!phaseDacValue->wasSetByUser()) {
    phaseDacValue->setCoerced(static_cast<int>(dacOffset_.load()));
  }
  phaseDacValue->invalidateIfResolved();
}

bool CalibrationManager::hasCalibration() const {
  std::lock_guard lock(polynomialMutex_);
  return !tdcPolynomial_.empty() && !phaseDacPolynomial_.empty();
}

std::vector<double> CalibrationManager::copyTdcPolynomial() const {
  std::lock_guard lock(polynomialMutex_);
  return tdcPolynomial_;
}

std::vector<double> CalibrationManager::copyPhaseDacPolynomial() const {
  std::lock_guard lock(polynomialMutex_);
  return phaseDacPolynomial_;
}

void CalibrationManager::setPolynomial(std::vector<double> CalibrationManager::*polynomial,
                                       const std::string& text) {
  std::vector<double> parsed = parsePolynomial(text);
  std::lock_guard lock(polynomialMutex_);
  this->*polynomial = std::move(parsed);
}

double CalibrationManager::evaluateTdcPolynomial(std::uint32_t count) const {
  return evaluatePolynomial(copyTdcPolynomial(), static_cast<double>(count));
}

std::int32_t CalibrationManager::phaseDacFromDelay(double delay) const {
  double value = evaluatePolynomial(copyPhaseDacPolynomial(), delay);
  if (value < 0.0) value = 0.0;
  const double code = std::trunc(value + static_cast<double>(dacOffset_.load()));
  // Never negative; NaN fails the comparison.
  if (!(code < 2147483648.0)) qverr::raise(qverr::kInvalidParameter, kCodeOutOfRange);
  return static_cast<std::int32_t>(code);
}

}  // namespace qvvandrel
