#include "clocks/UserClock.h"

#include <algorithm>
#include <cmath>
#include <initializer_list>
#include <utility>

#include "attributes/AttributeRegistry.h"
#include "attributes/RaiseWithDetails.h"
#include "clip/InterfaceMethods.h"
#include "clocks/UserClockErrors.h"
#include "foundation/errors/Exception.h"
#include "model/ClockNames.h"

namespace qvvandrel {

namespace {

using user_clock::location;

constexpr qverr::StatusLocation kModuleUnknown =
    location(196, qverr::constant::kIncompatibleDevice);
constexpr qverr::StatusLocation kRxBanksInvalid =
    location(190, qverr::constant::kInvalidPllCapabilities);
constexpr qverr::StatusLocation kVcoPeriodUnrepresentable =
    location(1046, qverr::constant::kRefClkRangeUnsupported);

// Instructions of the PLL interface (0x12), the synchronisation interface (3) and the clock
// interface (2).
constexpr std::uint32_t kSetPllDivider = 0x1200;
constexpr std::uint32_t kSetFractionNumerator = 0x1202;
constexpr std::uint32_t kSetFractionDenominator = 0x1204;
constexpr std::uint32_t kSetOutputDivider = 0x1206;
constexpr std::uint32_t kSetOutputSource = 0x1208;
constexpr std::uint32_t kSetFixedFraction = 0x120A;
constexpr std::uint32_t kSetVcoRange = 0x120C;
constexpr std::uint32_t kSetVcoPeriod = 0x30A;
constexpr std::uint32_t kSetTxClock = 0x207;
constexpr std::uint32_t kSetRxBank = 0x209;
// What 0x1200 sets.
constexpr std::uint32_t kRDivider = 0;
constexpr std::uint32_t kNDivider = 1;
constexpr std::uint32_t kPDivider = 2;
constexpr std::uint32_t kBandCodeA = 3;
constexpr std::uint32_t kBandCodeB = 4;
constexpr std::uint32_t kBandCodeChip = 2;
// The fraction instructions address N's fraction.
constexpr std::uint32_t kFraction = 1;

// The RX bank names end at RxBank15; further banks could only share one name.
constexpr int kMaxRxBanks = 16;
constexpr double kFemtosecondsPerSecond = 1e15;
constexpr double kInt64Range = 0x1p63;

std::string txClockDefault(const ClipCapabilities& capabilities) {
  const std::vector<unsigned int>& numbers = capabilities.cap212.values;
  return numbers.empty() ? "CLK0" : userClockName(numbers.front());
}

int rxBankCountDefault(const ClipCapabilities& capabilities) {
  return capabilities.cap214.value ? static_cast<int>(*capabilities.cap214.value) : 0;
}

// The default frequency of a data clock the CLIP gives none for: by the module's product code.
double moduleDefaultFrequency(UserClock::KernelInterface& kernel) {
  nQVVUSKS100::tStatus ignored;
  const std::uint32_t identifier = kernel.command0600(&ignored);
  if (identifier >> 16 == 0x1FA7) {
    const std::uint32_t product = identifier & 0xFFFF;
    if (product >= 0x4D10 && product <= 0x4D12) return 800e6;
    if (product >= 0x4D13 && product <= 0x4D15) return 1.2e9;
    if (product >= 0x4D40 && product <= 0x4D42) return 1.5e9;
    if (product >= 0x4D43 && product <= 0x4D45) return 2.5e9;
  }
  atat::detail::raiseWithMessage(qverr::kIncompatibleDevice, kModuleUnknown, "Invalid module ID");
}

// N's integer part as the PLL takes it; the compile keeps it within the PLL's limits.
std::uint32_t integerPart(double n) {
  const double whole = std::trunc(n);
  if (!(whole >= 0.0 && whole <= UINT32_MAX)) qverr::throwError(qverr::kInternalError);
  return static_cast<std::uint32_t>(whole);
}

}  // namespace

UserClock::UserClock(const ClipCapabilities& capabilities, KernelInterface& kernel,
                     ClipConfiguration& clip)
    : compileResolver_(this),
      deployResolver_(this),
      capabilities_(capabilities),
      clip_(clip),
      referenceSourceLink_(&compileResolver_),
      referenceRateLink_(&compileResolver_),
      userClockCountGetter_(
          [tree = &capabilities] { return static_cast<int>(tree->userClocks.count); }),
      userClockCountSetter_(qverr::kAttributeNotSettable),
      userClockCount_(kUserClockCountId, nullptr, true,
                      initialValue(static_cast<int>(capabilities.userClocks.count)), nullptr,
                      &userClockCountGetter_, &userClockCountSetter_),
      txClockSelect_(nullptr, initialValue(txClockDefault(capabilities))),
      rxBankCount_(nullptr, initialValue(rxBankCountDefault(capabilities))) {
  available_ = parsePllSection();
  if (!available_) return;
  if (capabilities_.serialChannels.count == 0) {
    for (std::uint32_t k = 0; k < capabilities_.userClocks.count; ++k) {
      addClock(static_cast<std::uint8_t>(k), userClockName(k), 0.0);
    }
  } else {
    addSerialChannelClocks(kernel);
  }
  for (unsigned int number : capabilities_.cap212.values) {
    txClockNames_.emplace_back(userClockName(number));
  }
  const int banks = rxBankCount_.getDefault();
  if (!capabilities_.cap213.values.empty() && banks > 0) {
    // Each bank needs a name of its own; the CLIP's count sizes nothing beyond them.
    if (banks > kMaxRxBanks) {
      user_clock::raiseInvalidPllCapabilities(
          kRxBanksInvalid, "Unhandled RX clock bank count: ", static_cast<std::uint32_t>(banks));
    }
    const QVA100_RXClockSource first = capabilities.cap213.values.front();
    for (int bank = 0; bank < banks; ++bank) {
      rxClockSelects_.push_back(
          std::make_unique<RxClockSelect>(rxBankName(static_cast<std::uint32_t>(bank)), &first));
    }
  }
}

void UserClock::addClock(std::uint8_t id, const char* name, double frequency) {
  const bool bypass = false;
  const bool enabled = true;
  clockIds_.push_back(id);
  frequencies_.push_back(std::make_unique<Frequency>(name, &frequency));
  bypasses_.push_back(std::make_unique<Bypass>(name, &bypass));
  enables_.push_back(std::make_unique<Enabled>(name, &enabled));
}

void UserClock::addSerialChannelClocks(KernelInterface& kernel) {
  const SerialChannelSection& serial = capabilities_.serialChannels.section;
  std::vector<std::uint8_t> dataClocks;
  for (std::uint32_t channel = 0; channel < capabilities_.serialChannels.count; ++channel) {
    if (const boost::optional<unsigned int> dataClock = serial.dataClockNumber.at(channel)) {
      const auto id = static_cast<std::uint8_t>(*dataClock);
      if (std::find(dataClocks.begin(), dataClocks.end(), id) == dataClocks.end()) {
        dataClocks.push_back(id);
      }
    }
    // A channel that names no SerDes chip or clock adds no clock.
    const boost::optional<unsigned int> serDes = serial.serDesNumber.at(channel);
    const boost::optional<unsigned int> clock = serial.serDesBusID.at(channel);
    if (!serDes || !clock) continue;
    const auto id = static_cast<std::uint8_t>(*clock);
    if (std::find(clockIds_.begin(), clockIds_.end(), id) != clockIds_.end()) continue;
    const auto type = serial.type.at(channel);
    addClock(id, refClkName(type && *type == 0, *serDes), 0.0);
  }
  const ififo_rpc::section::Value<unsigned int>& defaults =
      capabilities_.userClocks.section.defaultFreqKHz;
  for (std::size_t j = 0; j < dataClocks.size(); ++j) {
    const boost::optional<unsigned int> kilohertz = defaults.at(dataClocks[j]);
    const double frequency = kilohertz && *kilohertz != 0
                                 ? static_cast<double>(std::uint64_t{*kilohertz} * 1000)
                                 : moduleDefaultFrequency(kernel);
    addClock(dataClocks[j], dataClockName(static_cast<std::uint32_t>(j)), frequency);
  }
}

template <typename F>
void UserClock::forEachOwnAttribute(F&& f) {
  for (auto& attribute : frequencies_) f(*attribute);
  for (auto& attribute : bypasses_) f(*attribute);
  for (auto& attribute : enables_) f(*attribute);
  if (!capabilities_.cap212.values.empty()) f(txClockSelect_);
  if (!capabilities_.cap213.values.empty()) {
    f(rxBankCount_);
    for (auto& attribute : rxClockSelects_) f(*attribute);
  }
}

void UserClock::collectAttributes(atat::AttributeRegistry* registry) {
  if (!available_) return;
  for (auto& attribute : frequencies_) registry->addAttribute(attribute.get());
  for (auto& attribute : bypasses_) registry->addAttribute(attribute.get());
  for (auto& attribute : enables_) registry->addAttribute(attribute.get());
  registry->addAttribute(&userClockCount_);
  if (!capabilities_.cap212.values.empty()) registry->addAttribute(&txClockSelect_);
  if (!capabilities_.cap213.values.empty()) {
    registry->addAttribute(&rxBankCount_);
    for (auto& attribute : rxClockSelects_) registry->addAttribute(attribute.get());
  }
}

void UserClock::connect(const ResolverRoots* roots, atat::AttributeRegistry* registry) {
  if (!available_) return;
  if (referenceSourceLink_.isLinked() || referenceRateLink_.isLinked()) raiseAlreadyLinked();
  referenceSourceLink_.link(*registry, kReferenceSourceId, "");
  referenceRateLink_.link(*registry, kReferenceRateId, "");
  wireResolvers(*roots, compileResolver_, deployResolver_);
  forEachOwnAttribute([this](auto& attribute) { wireOwnAttribute(compileResolver_, attribute); });
}

void UserClock::deploy(bool /*force*/) {
  if (!available_) return;
  const PllSection& plls = capabilities_.plls.section;
  const ififo_rpc::FifoRef& pllFifo = clip_.interface18.fifo;
  for (const PllSettings& r : pllSettings_) {
    const std::uint32_t p = r.pllIndex & 0xFF;
    clip_.interface18.requireInterface18();
    const auto post = [&](std::uint32_t opcode, std::initializer_list<std::uint32_t> args) {
      ififo_rpc::postInstructionRaising(pllFifo, opcode, args);
    };
    if (plls.rDividerIntMax.at(p)) post(kSetPllDivider, {p, kRDivider, r.rDivider});
    post(kSetPllDivider, {p, kNDivider, integerPart(r.nDivider)});
    if (plls.pDividerIntMax.at(p)) post(kSetPllDivider, {p, kPDivider, r.pDivider});
    if (plls.nDividerFracNumMax.at(p))
      post(kSetFractionNumerator, {p, kFraction, r.nDividerFracNum});
    if (plls.nDividerFracDenMax.at(p)) {
      post(kSetFractionDenominator, {p, kFraction, r.nDividerFracDen});
    }
    if (plls.nDividerFracFixedMin.at(p))
      post(kSetFixedFraction, {p, kFraction, r.nDividerFracFixed});
    if (plls.vcoMinFreqKHz.at(p).size() >= 2) post(kSetVcoRange, {p, r.vcoRange});
    const auto chip = plls.chipType.at(p);
    if (chip && *chip == kBandCodeChip) {
      post(kSetPllDivider, {p, kBandCodeA, r.nBandCodeA});
      post(kSetPllDivider, {p, kBandCodeB, r.nBandCodeB});
    }
  }
  if (!pllSettings_.empty() && isVcoPeriodAvailable()) deployVcoPeriod();
  for (std::size_t k = 0; k < outputSettings_.size(); ++k) {
    clip_.interface18.requireInterface18();
    ififo_rpc::postInstructionRaising(pllFifo, kSetOutputDivider,
                                      {clockIds_[k], outputSettings_[k].divider});
    ififo_rpc::postInstructionRaising(pllFifo, kSetOutputSource,
                                      {clockIds_[k], outputSettings_[k].source});
  }
  if (txClockIndex_ >= 0) {
    clip_.interface2.requireInterface2();
    ififo_rpc::postInstructionRaising(clip_.interface2.fifo, kSetTxClock,
                                      {static_cast<std::uint32_t>(txClockIndex_)});
  }
  if (!capabilities_.cap213.values.empty()) {
    for (std::size_t bank = 0; bank < rxClockSelects_.size(); ++bank) {
      clip_.interface2.requireInterface2();
      ififo_rpc::postInstructionRaising(
          clip_.interface2.fifo, kSetRxBank,
          {static_cast<std::uint32_t>(bank),
           static_cast<std::uint32_t>(rxClockSelects_[bank]->getCoerced())});
    }
  }
}

bool UserClock::isVcoPeriodAvailable() {
  InterfaceClient& interface3 = clip_.interface3;
  if (!interface3.ioModulePresent) return false;
  // Here a failed or negative check only means the CLIP cannot take the period.
  if (!interface3.done) {
    nQVVUSKS100::tStatus status;
    if (!ififo_rpc::isInterfaceSupported(interface3.fifo, 3, &status) || status.isError()) {
      return false;
    }
    if (!interface3.satisfies(3, &IfifoInterfaceCheck::oldestAtMostVersionOr2, &status)) {
      return false;
    }
    interface3.done = true;
  }
  nQVVUSKS100::tStatus status;
  const bool available =
      ififo_rpc::isInstructionAvailable(interface3.fifo, 3, kSetVcoPeriod, &status);
  return available && !status.isError();
}

void UserClock::deployVcoPeriod() {
  const DependencyAttribute<double>* rate = referenceRateLink_.attribute();
  if (rate == nullptr) qverr::throwError(qverr::kInternalError);
  const PllSettings& r = pllSettings_.front();
  const double referenceRate = rate->getCoerced();
  const double vco = static_cast<double>(r.refMultiplier) * referenceRate *
                     static_cast<double>(r.nDividerMultiplier) * r.nDivider /
                     static_cast<double>(r.rDivider);
  const double femtoseconds = 1.0 / vco * kFemtosecondsPerSecond;
  // Only a period that is a 64-bit count of femtoseconds can be sent.
  if (!(femtoseconds >= -kInt64Range && femtoseconds < kInt64Range)) {
    atat::detail::raiseWithDetails(qverr::kRefClkRangeUnsupported, kVcoPeriodUnrepresentable,
                                   [&](atat::elaboration::Cursor cursor) {
                                     atat::elaboration::appendUsageDouble(
                                         cursor, "kUsageTypeRequestedValue", referenceRate);
                                   });
  }
  const auto period = static_cast<std::int64_t>(femtoseconds);
  ififo_rpc::postInstructionRaising(clip_.interface3.fifo, kSetVcoPeriod,
                                    {static_cast<std::uint32_t>(period)});
}

void UserClock::raiseNoDividerSolution(const std::vector<std::uint32_t>& clocks,
                                       const std::vector<double>& frequencies) const {
  namespace elaboration = atat::elaboration;
  qverr::Status status;
  status.setCode(clocks.size() == 1 ? qverr::kUserClockFreqInvalid
                                    : qverr::kUserClockFreqCombinationUnsupported);
  elaboration::Cursor cursor =
      elaboration::openTranslatorElaboration(status, atat::kTranslatorName);
  for (std::size_t i = 0; i < clocks.size(); ++i) {
    if (i > 0) cursor = elaboration::appendUsageString(cursor, "kUsageTypeBlankLine", "");
    const char* name =
        clocks[i] < frequencies_.size() ? frequencies_[clocks[i]]->getChannelName() : "";
    cursor = userClockIdentifier(cursor, name);
    cursor = elaboration::appendUsageDouble(cursor, "kUsageTypeRequestedValue",
                                            i < frequencies.size() ? frequencies[i] : 0.0);
  }
  throw qverr::Exception(std::move(status));
}

atat::elaboration::Cursor UserClock::userClockIdentifier(atat::elaboration::Cursor cursor,
                                                         const char* channelName) {
  return atat::elaboration::appendNamedAttributeIdAndChannel(
      cursor, kFrequencyId, channelName ? channelName : "", "vandrel_kUsageTypeUserClock");
}

}  // namespace qvvandrel
