#pragma once
// The values a CLIP property may take: those the CLIP lists in one list capability. A
// property's compile step checks the requested value against them and finds the CLIP's own
// code word for the value it keeps.

#include <cstdint>
#include <string>
#include <type_traits>
#include <vector>

#include "attributes/Ranges.h"
#include "clip/CapabilityHandlers.h"
#include "foundation/errors/Exception.h"
#include "model/DependencyAttribute.h"

namespace qvvandrel {

namespace detail {

// The features' ranges: the attribute templates' ranges, filled from what the CLIP lists.
template <typename T, typename Comparison = atat::DefaultComparison<T>>
class DiscreteRange : public atat::DiscreteRange<T, Comparison> {
 public:
  using atat::DiscreteRange<T, Comparison>::DiscreteRange;
};

// Clock names and other texts, matched without case; a member is handed back in its own
// spelling.
template <typename Comparison>
class DiscreteRange<std::string, Comparison> : public atat::StringRange<Comparison> {
 public:
  using atat::StringRange<Comparison>::StringRange;
  DiscreteRange(std::int32_t errorCode, const std::vector<std::string>& values)
      : atat::StringRange<Comparison>(errorCode) {
    for (const std::string& value : values) this->addValue(value);
  }
};

template <typename T>
class EnumRange : public atat::EnumRange<T> {
 public:
  using atat::EnumRange<T>::EnumRange;
  EnumRange(std::uint32_t attributeId, std::int32_t errorCode, const std::vector<T>& values)
      : atat::EnumRange<T>(attributeId, errorCode) {
    for (const T& value : values) this->addValue(value);
  }
};

}  // namespace detail

// The code word of a value no listed word converts to.
inline constexpr std::uint32_t kNoCodeWord = 0xFFFFFFFF;

// Adds the attribute a compile step failed for to the error's details: its identifier with its
// display name, and the channel text the host used (the node's label) or else its channel name,
// under `channelTag` (nothing when both are empty).
void nameAttributeInError(qverr::ExceptionBase& error, std::uint32_t id, const std::string& label,
                          const char* channelName,
                          const char* channelTag = "kUsageTypeChannelName");

// Whether a failed compile names the attribute's channel after its identifier.
enum class ChannelInError : std::uint8_t { kNamed, kOmitted };

// The distinct converted values of a list the CLIP reports (doubles within the comparison's
// tolerance), sorted, made once per property and read by all its channels: a list capability,
// or one section instance's list of a section field. The tree is the session's and outlives
// the range.
template <typename T>
class ClipCapabilityRange {
 public:
  using Capability = ififo_rpc::ListCapability<T>;
  using SectionField = ififo_rpc::section::ListValue<T>;
  using RangeType = std::conditional_t<std::is_enum_v<T>, detail::EnumRange<T>,
                                       detail::DiscreteRange<T, atat::DefaultComparison<T>>>;

  // Integers and doubles, coerced by `type`.
  ClipCapabilityRange(const Capability& capability, std::int32_t errorCode,
                      atat::CoarseCoercionType type) requires(!std::is_enum_v<T>)
      : converter_(&capability.converter),
        rawWords_(&capability.rawValues),
        range_(errorCode, type) {
    fill(capability.values);
  }
  // The list of section instance `k` (none when the section has no instance k).
  ClipCapabilityRange(const SectionField& field, std::uint32_t k, std::int32_t errorCode,
                      atat::CoarseCoercionType type) requires(!std::is_enum_v<T>)
      : converter_(&field.converter), rawWords_(&field.rawAt(k)), range_(errorCode, type) {
    fill(field.at(k));
  }
  // Enumeration members; the details of a rejection name the attribute `attributeId`.
  ClipCapabilityRange(const Capability& capability, std::uint32_t attributeId,
                      std::int32_t errorCode) requires(std::is_enum_v<T>)
      : converter_(&capability.converter),
        rawWords_(&capability.rawValues),
        range_(attributeId, errorCode) {
    fill(capability.values);
  }
  ClipCapabilityRange(const ClipCapabilityRange&) = delete;
  ClipCapabilityRange& operator=(const ClipCapabilityRange&) = delete;

  RangeType& range() { return range_; }

  // The first listed raw word, in the CLIP's order, whose conversion equals `value`;
  // kNoCodeWord when none does. Converts each word again through the list's own function
  // (an empty one raises std::bad_function_call).
  std::uint32_t codeWordOf(const T& value) const {
    for (std::uint32_t word : *rawWords_) {
      const boost::optional<T> converted = (*converter_)(word);
      if (converted && atat::DefaultComparison<T>::compare(*converted, value) == 0) return word;
    }
    return kNoCodeWord;
  }

  // A property's compile: coerces the attribute's desired value, stores the result as its
  // coerced value alone (desired value and authorship stay) and returns the result's code
  // word. A failure leaves the attribute as it was and names it in the error's details: its
  // identifier, and its channel unless `channel` says to leave it out.
  std::uint32_t compile(DependencyAttribute<T>& attribute,
                        ChannelInError channel = ChannelInError::kNamed) {
    try {
      const T coerced = range_.coerce(attribute.getDesired());
      const std::uint32_t code = codeWordOf(coerced);
      attribute.setCoerced(coerced);
      return code;
    } catch (qverr::ExceptionBase& error) {
      if (channel == ChannelInError::kNamed) {
        nameAttributeInError(error, attribute.getId(), attribute.label(),
                             attribute.getChannelName());
      } else {
        nameAttributeInError(error, attribute.getId(), std::string(), nullptr);
      }
      throw;
    }
  }

 private:
  void fill(const std::vector<T>& values) {
    for (const T& value : values) range_.addValue(value);
  }

  const ififo_rpc::Converter<T>* converter_;
  const std::vector<std::uint32_t>* rawWords_;
  RangeType range_;
};

}  // namespace qvvandrel
