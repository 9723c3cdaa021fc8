#include "model/DspFrequencyShift.h"

#include <cmath>

#include "attributes/Elaboration.h"
#include "attributes/RaiseWithDetails.h"
#include "foundation/errors/ErrorCodes.h"

namespace qvvandrel {
namespace {

constexpr qverr::StatusLocation kMagnitudeRejectedLocation{
    "qvvandrel/dsp/FrequencyShift", 37, qverr::kComponent, qverr::constant::kInvalidAttributeValue};

[[noreturn]] void raiseMagnitudeRejected(const DependencyAttribute<double>& magnitude, double x) {
  atat::detail::raiseWithDetails(
      qverr::kInvalidAttributeValue, kMagnitudeRejectedLocation,
      [&](atat::elaboration::Cursor cursor) {
        cursor = atat::elaboration::appendUsageDouble(cursor, "kUsageTypeInvalidInput", x);
        cursor = atat::writeCommentItem(
            cursor, "The frequency shift magnitude must be a finite number below 32768 in size.");
        atat::elaboration::appendAttributeIdAndChannel(cursor, magnitude.getId(),
                                                       magnitude.getChannelName());
      });
}

}  // namespace

std::uint64_t dspFrequencyShiftWord(const DependencyAttribute<double>& magnitude, double x) {
  // Also false for NaN.
  if (!(std::fabs(x) < kDspMagnitudeLimit)) raiseMagnitudeRejected(magnitude, x);
  const auto fraction = static_cast<std::int64_t>(x * 281474976710656.0);  // 2^48
  return static_cast<std::uint64_t>(fraction) << 16;
}

void compileDspFrequencyShifts(const std::vector<DspFrequencyShiftEntry>& entries,
                               const DependencyAttribute<double>* sampleRate,
                               std::vector<std::uint64_t>& words) {
  words.resize(entries.size());
  for (std::size_t k = 0; k < entries.size(); ++k) {
    DependencyAttribute<double>& magnitude = *entries[k].magnitude;
    if (magnitude.wasSetByUser()) {
      words[k] = dspFrequencyShiftWord(magnitude, magnitude.getDesired());
      continue;
    }
    const double rate = sampleRate != nullptr ? sampleRate->getCoerced() : kDefaultDspSampleRate;
    const double x = entries[k].shift->getCoerced() / rate;
    // Checked before it is stored: a rate of 0 must not leave an infinite magnitude behind.
    words[k] = dspFrequencyShiftWord(magnitude, x);
    magnitude.setCoerced(x);
  }
}

}  // namespace qvvandrel
