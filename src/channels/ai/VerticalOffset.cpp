#include "channels/ai/VerticalOffset.h"

#include <algorithm>
#include <cmath>
#include <memory>

#include "attributes/AttributeRegistry.h"
#include "attributes/RaiseWithDetails.h"
#include "channels/ai/AnalogInput.h"
#include "clocks/AttributeValidation.h"
#include "foundation/errors/ErrorCodes.h"

namespace qvvandrel::config::ai {

namespace {

using Comparison = atat::DefaultComparison<double>;
namespace elaboration = atat::elaboration;

constexpr std::uint32_t kRangeId = CatalogueAttribute<0x20000010>::kId;

// The DAC description of a range is found with a coarser tolerance than the ranges are told
// apart with.
bool sameRange(double a, double b) {
  return atat::compareWithTolerance(a, b, 1e-10) == 0;
}

// a - b between two codes, as the signed 32-bit difference of their unsigned words.
std::int32_t codeDifference(std::uint32_t a, std::uint32_t b) {
  return static_cast<std::int32_t>(a - b);
}

// The offset a DAC code gives: the further below the zero code, the larger.
double offsetOf(std::uint32_t code, const OffsetEntry& entry, double k) {
  return -static_cast<double>(codeDifference(code, entry.zeroCode)) / k;
}

elaboration::Cursor appendLimit(elaboration::Cursor cursor, const char* tag, std::uint32_t value) {
  return elaboration::appendUsageUInt32(cursor, tag, value);
}
elaboration::Cursor appendLimit(elaboration::Cursor cursor, const char* tag, double value) {
  return elaboration::appendUsageDouble(cursor, tag, value);
}

// -304408: the requested value of attribute `id` of `channel` lies outside [minimum, maximum],
// reported where the range checks report theirs.
template <typename V>
[[noreturn]] void raiseOutsideLimits(std::uint32_t id, const char* channel, V requested, V minimum,
                                     V maximum) {
  atat::detail::raiseWithDetails(
      qverr::kInvalidAttributeValue, kAttributeOutsideRangeLocation,
      [&](elaboration::Cursor cursor) {
        cursor = appendLimit(cursor, "kUsageTypeRequestedValue", requested);
        cursor = elaboration::appendUsageString(cursor, "kUsageTypeChannelName", channel);
        cursor = appendLimit(cursor, "kUsageTypeMinValue", minimum);
        cursor = appendLimit(cursor, "kUsageTypeMaxValue", maximum);
        elaboration::appendUsageInt32WithAttributeName(cursor, "kUsageTypeAttributeIdentifier",
                                                       static_cast<std::int32_t>(id));
      });
}

}  // namespace

VerticalOffset::Instance::Instance(IfifoInterfaceCheck& interface9, const Table& table,
                                   std::uint32_t channel)
    : interface9_(&interface9),
      table_(&table),
      channel_(channel),
      offset_(channelNames().name(channel), nullptr),
      dac_(channelNames().name(channel), nullptr) {}

void VerticalOffset::Instance::registerAttributes(atat::AttributeRegistry* registry) {
  registry->addAttribute(&offset_);
  registry->addAttribute(&dac_);
}

void VerticalOffset::Instance::commission(const ResolverRoots* roots,
                                          atat::AttributeRegistry* registry) {
  wireResolvers(*roots, compileResolver_, deployResolver_);
  rangeLink_.link(*registry, kRangeId, channelNames().name(channel_));
  wireOwnAttribute(compileResolver_, offset_);
  wireOwnAttribute(compileResolver_, dac_);
}

const OffsetEntry& VerticalOffset::Instance::entryFor(double range) const {
  auto entry = std::find_if(table_->begin(), table_->end(),
                            [range](const OffsetEntry& e) { return sameRange(e.range, range); });
  if (entry == table_->end()) qverr::throwError(qverr::kInternalError);
  // Without a scale no offset has a code.
  if (entry->numerator == 0 || entry->denominator == 0) qverr::throwError(qverr::kInternalError);
  return *entry;
}

void VerticalOffset::Instance::compile() {
  if (!rangeLink_.isLinked()) qverr::throwError(qverr::kInternalError);
  const OffsetEntry& entry = entryFor(rangeLink_.attribute()->getCoerced());
  const double k = static_cast<double>(static_cast<std::int32_t>(entry.numerator)) /
                   static_cast<double>(static_cast<std::int32_t>(entry.denominator));
  if (dac_.wasSetByUser()) {
    compileFromDac(entry, k);
  } else {
    compileFromOffset(entry, k);
  }
}

void VerticalOffset::Instance::compileFromDac(const OffsetEntry& entry, double k) {
  const int requested = dac_.getDesired();
  const auto code = static_cast<std::uint32_t>(requested);
  if (code < entry.minimumCode || code > entry.maximumCode) {
    raiseOutsideLimits(dac_.getId(), dac_.getChannelName(), code, entry.minimumCode,
                       entry.maximumCode);
  }
  dac_.setCoerced(requested);
  offset_.setCoerced(offsetOf(code, entry, k));
}

void VerticalOffset::Instance::compileFromOffset(const OffsetEntry& entry, double k) {
  // The offsets whose codes reach the two limits; k may be negative.
  const double toMaximum = codeDifference(entry.zeroCode, entry.maximumCode) / k;
  const double toMinimum = codeDifference(entry.zeroCode, entry.minimumCode) / k;
  const double lowest = std::min(toMaximum, toMinimum);
  const double highest = std::max(toMaximum, toMinimum);
  const double requested = offset_.getDesired();
  const auto refuse = [&] {
    raiseOutsideLimits(offset_.getId(), offset_.getChannelName(), requested, lowest, highest);
  };
  if (std::isnan(requested) || Comparison::compare(requested, lowest) < 0 ||
      Comparison::compare(requested, highest) > 0) {
    refuse();
  }
  // Within the tolerance of a limit the code can still land one step past it.
  const double code = std::trunc(static_cast<double>(entry.zeroCode) - requested * k + 0.5);
  if (!(code >= entry.minimumCode && code <= entry.maximumCode)) refuse();
  const auto word = static_cast<std::uint32_t>(code);
  dac_.setCoerced(static_cast<int>(word));
  offset_.setCoerced(offsetOf(word, entry, k));
}

void VerticalOffset::Instance::deploy() {
  interface9_->requireInterface9();
  post(*interface9_, kOffsetDac, channel_, static_cast<std::uint32_t>(dac_.getCoerced()));
}

VerticalOffset::VerticalOffset(const ClipCapabilities& capabilities,
                               IfifoInterfaceCheck& interface9) {
  const std::vector<double>& ranges = capabilities.cap101.values;
  const auto describesEveryRange = [&](const auto& list) {
    return !list.rawValues.empty() && list.rawValues.size() == ranges.size();
  };
  if (!describesEveryRange(capabilities.cap103) || !describesEveryRange(capabilities.cap102) ||
      !describesEveryRange(capabilities.cap112) || !describesEveryRange(capabilities.cap113) ||
      !describesEveryRange(capabilities.cap114)) {
    return;
  }
  for (std::size_t r = 0; r < ranges.size(); ++r) {
    table_.push_back({ranges[r], capabilities.cap102.rawValues[r], capabilities.cap103.rawValues[r],
                      capabilities.cap112.rawValues[r], capabilities.cap113.rawValues[r],
                      capabilities.cap114.rawValues[r]});
  }
  const boost::optional<std::uint32_t> count = channelCount(capabilities);
  for (std::uint32_t channel = 0; count && channel < *count; ++channel) {
    add(std::make_unique<Instance>(interface9, table_, channel));
  }
}

}  // namespace qvvandrel::config::ai
