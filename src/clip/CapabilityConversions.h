#pragma once
// How a 32-bit capability word becomes a typed value: an empty result means the word is not a
// valid value. Words are never sign-extended.

#include <cstdint>
#include <type_traits>

#include <boost/optional.hpp>

#include "clip/ClipEnumerations.h"

namespace ififo_rpc {

// The plain cast: the word as T (bool: non-zero; int: the word's bits as signed; an
// enumeration: the member with the word's value, unchecked). Always a value.
template <typename T>
struct Cast {
  boost::optional<T> operator()(unsigned int word) const {
    if constexpr (std::is_same_v<T, bool>) {
      return word != 0;
    } else if constexpr (std::is_enum_v<T>) {
      return static_cast<T>(static_cast<std::underlying_type_t<T>>(word));
    } else {
      return static_cast<T>(word);
    }
  }
};

}  // namespace ififo_rpc

namespace qvvandrel::ififo {

// Doubles travel in millionths or in thousands.
boost::optional<double> castMicro(unsigned int word);
boost::optional<double> castKilo(unsigned int word);

// Reference-clock source codes: 0 -> 4 "None", 1 -> 1 "Onboard", 2 -> 2 "PXI_Clk10" on a PXI
// backplane (the flag) else 5 "DRAL7", 3 -> 3 "ClkIn", 4 -> 6 "PXI_Clk100"; 5 and above none.
boost::optional<oobx::attribute::RefClkSrc> castRefClkSrc(unsigned int word, bool flag);

// Enumerations with a fixed set of members from 0: any larger word gives none.
boost::optional<oobx::attribute::Coupling> castCoupling(unsigned int word);
boost::optional<oobx::attribute::SampleClkSrc> castSampleClkSrc(unsigned int word);
boost::optional<ClipAnalogInput::Interleaving> castInterleaving(unsigned int word);
boost::optional<oobx::attribute::DacDigitalUpconverterMode> castDacDigitalUpconverterMode(
    unsigned int word);
boost::optional<oobx::attribute::DioConfiguration> castDioConfiguration(unsigned int word);
boost::optional<oobx::attribute::QVA100_RXClockSource> castQVA100_RXClockSource(unsigned int word);

}  // namespace qvvandrel::ififo
