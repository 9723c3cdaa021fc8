#include "clip/CapabilityConversions.h"

#include <iterator>

namespace qvvandrel::ififo {

namespace {

template <typename T, unsigned int kLast>
boost::optional<T> castUpTo(unsigned int word) {
  if (word > kLast) return boost::none;
  return static_cast<T>(word);
}

}  // namespace

boost::optional<double> castMicro(unsigned int word) {
  return static_cast<double>(word) / 1000000.0;
}

boost::optional<double> castKilo(unsigned int word) {
  return static_cast<double>(word) * 1000.0;
}

boost::optional<oobx::attribute::RefClkSrc> castRefClkSrc(unsigned int word, bool flag) {
  static constexpr int32_t kSources[] = {4, 1, 2, 3, 6};
  if (word >= std::size(kSources)) return boost::none;
  if (word == 2 && !flag) return static_cast<oobx::attribute::RefClkSrc>(5);
  return static_cast<oobx::attribute::RefClkSrc>(kSources[word]);
}

boost::optional<oobx::attribute::Coupling> castCoupling(unsigned int word) {
  return castUpTo<oobx::attribute::Coupling, 1>(word);
}

boost::optional<oobx::attribute::SampleClkSrc> castSampleClkSrc(unsigned int word) {
  return castUpTo<oobx::attribute::SampleClkSrc, 1>(word);
}

boost::optional<ClipAnalogInput::Interleaving> castInterleaving(unsigned int word) {
  return castUpTo<ClipAnalogInput::Interleaving, 2>(word);
}

boost::optional<oobx::attribute::DacDigitalUpconverterMode> castDacDigitalUpconverterMode(
    unsigned int word) {
  return castUpTo<oobx::attribute::DacDigitalUpconverterMode, 3>(word);
}

boost::optional<oobx::attribute::DioConfiguration> castDioConfiguration(unsigned int word) {
  return castUpTo<oobx::attribute::DioConfiguration, 1>(word);
}

boost::optional<oobx::attribute::QVA100_RXClockSource> castQVA100_RXClockSource(unsigned int word) {
  return castUpTo<oobx::attribute::QVA100_RXClockSource, 1>(word);
}

}  // namespace qvvandrel::ififo
