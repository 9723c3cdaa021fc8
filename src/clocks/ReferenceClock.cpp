#include "clocks/ReferenceClock.h"

#include <utility>

#include "attributes/AttributeRegistry.h"
#include "attributes/Elaboration.h"
#include "attributes/RaiseWithDetails.h"
#include "clip/InterfaceMethods.h"
#include "clocks/AttributeValidation.h"
#include "foundation/errors/ErrorCodes.h"
#include "foundation/errors/Exception.h"

namespace qvvandrel {

namespace {

using namespace oobx::attribute;
using atat::elaboration::Cursor;

constexpr const char* kSource = "qvvandrelbrenmooru/source/ReferenceClock";
constexpr qverr::StatusLocation kUnknownExportRequest{kSource, 131, qverr::kComponent,
                                                      qverr::constant::kInvalidAttributeValue};
constexpr qverr::StatusLocation kExportConflict{kSource, 158, qverr::kComponent,
                                                qverr::constant::kInvalidAttributeValue};
constexpr qverr::StatusLocation kRateOutOfRange{kSource, 203, qverr::kComponent,
                                                qverr::constant::kInvalidAttributeValue};

constexpr const char* kDral7 = "DRAL7";
constexpr double kTenMegahertz = 1e7;

// Texts in the order a text is looked up.
constexpr std::pair<const char*, RefClkSrc> kSourceTexts[] = {
    {"", kRefClkSrcUnknown},           {"Onboard", kRefClkSrcOnboard},
    {"PXI_Clk10", kRefClkSrcPxiClk10}, {"PXI_Clk100", kRefClkSrcPxiClk100},
    {"DRAL7", kRefClkSrcDral7},        {"ClkIn", kRefClkSrcClkIn},
    {"None", kRefClkSrcNone},
};

RefClkSrc defaultSource(const ClipCapabilities& capabilities) {
  const auto& sources = capabilities.cap200.values;
  return sources.empty() ? kRefClkSrcOnboard : sources.front();
}

template <typename... Attributes>
void wireAll(Dependency& compileResolver, Attributes&... attributes) {
  (wireOwnAttribute(compileResolver, attributes), ...);
}

Cursor appendIdentifier(Cursor cursor, std::uint32_t id) {
  return atat::elaboration::appendUsageInt32WithAttributeName(
      cursor, "kUsageTypeAttributeIdentifier", static_cast<std::int32_t>(id));
}

}  // namespace

std::string refClkSrcToString(const RefClkSrc& source) {
  for (const auto& [text, value] : kSourceTexts)
    if (value == source) return text;
  return std::string();
}

RefClkSrc refClkSrcFromString(const std::string& text) {
  for (const auto& [name, value] : kSourceTexts)
    if (text == name) return value;
  return kRefClkSrcUnknown;
}

ReferenceClock::ReferenceClock(const ClipCapabilities& capabilities, bool pxiBackplane,
                               KernelInterface& kernel, ClipConfiguration& clip)
    : capabilities_(&capabilities),
      pxiBackplane_(pxiBackplane),
      kernel_(&kernel),
      interface2_(&clip.interface2),
      moduleHalf_(!capabilities.cap200.values.empty()),
      baseboardHalf_(!pxiBackplane),
      source_(nullptr, initialValue(defaultSource(capabilities))),
      rate_(nullptr, initialValue(kTenMegahertz)),
      sourceAlias_(nullptr, nullptr, &refClkSrcFromString, &refClkSrcToString),
      rate10882_(nullptr, initialValue(kTenMegahertz)),
      rate4885_(nullptr, initialValue(kTenMegahertz)),
      flag12110_(nullptr, initialValue(false)),
      flag12240_(nullptr, initialValue(false)),
      text8627_(nullptr, initialValue(std::string())),
      flag12241_(nullptr, initialValue(false)),
      text8793_(nullptr, initialValue(std::string(pxiBackplane ? "PXI_Clk10" : kDral7))),
      flag8792_(nullptr, initialValue(pxiBackplane)),
      text8798_(nullptr, initialValue(std::string())),
      flag12111_(nullptr, initialValue(false)),
      baseboardSource_(nullptr, initialValue(kBaseboardRefClkSrcOwn)),
      baseboardExported_(nullptr, initialValue(false)),
      pllLockedGetter_([this] { return isBaseboardPllLocked(); }),
      pllLockedSetter_(qverr::kAttributeNotSettable),
      baseboardPllLocked_(kBaseboardPllLockedId, nullptr, true, initialValue(false), nullptr,
                          &pllLockedGetter_, &pllLockedSetter_),
      sources_(capabilities.cap200, kSourceId, qverr::kInvalidAttributeValue),
      baseboardSourceRange_(kBaseboardSourceId, qverr::kInvalidAttributeValue,
                            {kBaseboardRefClkSrcOwn, kBaseboardRefClkSrcDral7}),
      compileResolver_(this),
      deployResolver_(this) {}

void ReferenceClock::collectAttributes(atat::AttributeRegistry* registry) {
  if (moduleHalf_) {
    for (iattr::AttributeBaseInterface* attribute :
         std::initializer_list<iattr::AttributeBaseInterface*>{
             &source_, &rate_, &sourceAlias_, &rate10882_, &rate4885_, &flag12110_, &flag12240_,
             &text8627_, &flag12241_, &text8793_, &flag8792_, &flag12111_, &text8798_}) {
      registry->addAttribute(attribute);
    }
  }
  if (baseboardHalf_) {
    registry->addAttribute(&baseboardSource_);
    registry->addAttribute(&baseboardExported_);
    registry->addAttribute(&baseboardPllLocked_);
  }
}

void ReferenceClock::connect(const ResolverRoots* roots, atat::AttributeRegistry* registry) {
  wireResolvers(*roots, compileResolver_, deployResolver_);
  if (moduleHalf_) {
    wireAll(compileResolver_, source_, rate_);
    sourceAlias_.connectTarget(*registry);
    wireAll(compileResolver_, rate10882_, rate4885_, flag12110_, flag12240_, text8627_, flag12241_,
            text8793_, flag8792_, flag12111_, text8798_);
  }
  if (baseboardHalf_) wireAll(compileResolver_, baseboardSource_, baseboardExported_);
}

void ReferenceClock::compile() {
  if (pxiBackplane_) {
    const std::string sink = text8627_.getDesired();
    flag12241_.setCoerced(sink.empty() || sink == "None");
    flag12111_.setCoerced(false);
  } else {
    compileBaseboard();
  }
  if (!moduleHalf_) return;
  clipCode_ = sources_.compile(source_);
  compileRate();
}

void ReferenceClock::setSourceInternally(RefClkSrc source) {
  source_.setDesired(source);
}

void ReferenceClock::compileBaseboard() {
  try {
    baseboardSourceRange_.coerce(baseboardSource_.getCoerced());
  } catch (qverr::ExceptionBase& error) {
    nameAttributeInError(error, kBaseboardSourceId, std::string(), nullptr);
    throw;
  }

  // The baseboard's own reference exported onto DRAL7.
  const std::string exportRequest = text8798_.getDesired();
  if (exportRequest == kDral7) {
    baseboardExported_.setCoerced(true);
    // A source the host chose keeps; otherwise the module follows the baseboard onto DRAL7.
    if (!source_.wasSetByUser() || source_.getDesired() == kRefClkSrcOnboard) {
      setSourceInternally(kRefClkSrcDral7);
    }
    text8798_.setCoerced(kDral7);
  } else if (exportRequest.empty()) {
    const bool exported = baseboardExported_.getDesired();
    baseboardExported_.setCoerced(exported);
    text8798_.setCoerced(exported ? kDral7 : "");
  } else {
    atat::detail::raiseWithDetails(
        qverr::kInvalidAttributeValue, kUnknownExportRequest, [&](Cursor cursor) {
          atat::elaboration::appendUsageBool(cursor, "kUsageTypeRequestedValue",
                                             baseboardExported_.getDesired());
        });
  }

  // The baseboard's reference taken from DRAL7.
  const std::string importRequest = text8627_.getDesired();
  if (importRequest == kDral7 && text8798_.getCoerced() != kDral7) {
    baseboardSource_.setCoerced(kBaseboardRefClkSrcDral7);
  } else if (importRequest.empty() || importRequest == "None") {
    baseboardSource_.setCoerced(baseboardSource_.getDesired());
  }
  if (sourceAlias_.lastWritten() == kDral7) {
    baseboardSource_.setCoerced(kBaseboardRefClkSrcDral7);
    setSourceInternally(kRefClkSrcDral7);
  }

  if (baseboardExported_.getCoerced() &&
      baseboardSource_.getCoerced() == kBaseboardRefClkSrcDral7) {
    atat::detail::raiseWithDetails(
        qverr::kInvalidAttributeValue, kExportConflict, [&](Cursor cursor) {
          cursor = appendIdentifier(cursor, kBaseboardSourceId);
          cursor = atat::elaboration::appendUsageEnumValue(cursor, "kUsageTypeRequestedValue",
                                                           kBaseboardSourceId,
                                                           baseboardSource_.getDesired());
          cursor = appendIdentifier(cursor, kBaseboardExportedId);
          cursor = atat::elaboration::appendUsageBool(cursor, "kUsageTypeRequestedValue",
                                                      baseboardExported_.getDesired());
          atat::elaboration::appendUsageBool(cursor, "kUsageTypePossibleValues", false);
        });
  }
  flag12111_.setCoerced(baseboardExported_.getCoerced());
  flag12241_.setCoerced(baseboardSource_.getCoerced() == kBaseboardRefClkSrcOwn);
}

void ReferenceClock::compileRate() {
  const RefClkSrc requested = source_.getDesired();
  const double rate = requested == kRefClkSrcClkIn       ? rate_.getDesired()
                      : requested == kRefClkSrcPxiClk100 ? 1e8
                                                         : kTenMegahertz;
  rate_.setCoerced(rate);
  const double minimum = capabilities_->cap201.value.value_or(kTenMegahertz);
  const double maximum = capabilities_->cap202.value.value_or(kTenMegahertz);
  if (rate < minimum || rate > maximum) {
    raiseOutsideRange(kRateId, rate, minimum, maximum, kRateOutOfRange);
  }
  rate10882_.setCoerced(rate);
  rate4885_.setCoerced(rate);
  flag12240_.setCoerced(requested == kRefClkSrcUnknown || requested == kRefClkSrcNone);

  bool shared = false;
  switch (source_.getCoerced()) {
    case kRefClkSrcPxiClk10:
    case kRefClkSrcDral7:
    case kRefClkSrcPxiClk100:
      shared = pxiBackplane_ || baseboardSource_.getCoerced() != kBaseboardRefClkSrcOwn;
      break;
    case kRefClkSrcClkIn:
      shared = true;
      break;
    default:
      break;
  }
  flag12110_.setCoerced(shared);
}

void ReferenceClock::deploy() {
  if (baseboardHalf_) {
    const bool exported = baseboardExported_.getCoerced();
    std::uint32_t mode = 0;
    switch (baseboardSource_.getCoerced()) {
      case kBaseboardRefClkSrcOwn:
        mode = exported ? 1 : 0;
        break;
      case kBaseboardRefClkSrcDral7:
        // Exporting while importing is refused at compile; nothing half-set reaches the driver.
        if (exported) qverr::throwError(qverr::kInvalidParameter);
        mode = 4;
        break;
      default:
        qverr::throwError(qverr::kInvalidParameter);
    }
    qverr::ThrowingStatusRecord status;
    kernel_->command050C(mode, &status);
  }
  if (moduleHalf_) {
    interface2_->requireInterface2();
    ififo_rpc::postInstructionRaising(interface2_->fifo, kSetSource, {clipCode_});
    const std::uint32_t routing = clipCode_ == 2 ? 1 : clipCode_ == 4 ? 2 : 0;
    qverr::ThrowingStatusRecord status;
    kernel_->command0605(routing, &status);
  }
}

bool ReferenceClock::isBaseboardPllLocked() {
  qverr::ThrowingStatusRecord status;
  return kernel_->command050D(&status);
}

}  // namespace qvvandrel
