#pragma once

#include <cstdint>

// Enumerations that serve as attribute value types. Each is a 32-bit signed enumeration with
// a fixed underlying type, so that any value read from the CLIP or a host request is defined;
// public requests carry them as int32. Which values are allowed, and what they mean, is fixed
// by the feature that owns each attribute (its range, or a list read from the CLIP); a feature
// that names values adds them here.

namespace qvvandrel::oobx::attribute {

// Dependency attributes.
enum RefClkSrc : std::int32_t {
  kRefClkSrcUnknown = 0,  // the empty text: no source, or an unrecognised one
  kRefClkSrcOnboard = 1,
  kRefClkSrcPxiClk10 = 2,
  kRefClkSrcClkIn = 3,
  kRefClkSrcNone = 4,
  kRefClkSrcDral7 = 5,
  kRefClkSrcPxiClk100 = 6,
};
enum BaseboardRefClkSrc : std::int32_t {
  kBaseboardRefClkSrcOwn = 0,    // the baseboard's own reference
  kBaseboardRefClkSrcDral7 = 1,  // taken from the DRAL trigger bus line 7
};
enum SampleClkSrc : std::int32_t {
  kSampleClkSrcFixed = 0,     // the one timebase rate the CLIP reports
  kSampleClkSrcVariable = 1,  // any timebase rate within the CLIP's limits
};
enum QVA100_RXClockSource : std::int32_t {};
enum TriggerType : std::int32_t {};
enum TriggerSensitivity : std::int32_t {};
enum StartTriggerSync : std::int32_t {};
enum DacDigitalUpconverterMode : std::int32_t {};
enum CableSenseMode : std::int32_t {};
enum Coupling : std::int32_t {};
// The configuration of a digital, DIO or PFI line: whether the line is an input or an output.
// The names are this library's; the CLIP and the FPGA know only the numbers.
enum DioConfiguration : std::int32_t {
  kDioConfigurationInput = 0,
  kDioConfigurationOutput = 1,
};
// A serial channel's MIPI CSI-2 lanes, by count.
enum Csi2NumLanes : std::int32_t { kCsi2OneLane = 1, kCsi2TwoLanes = 2, kCsi2FourLanes = 4 };
enum StreamDataFormat : std::int32_t {};

// Plain attributes only.
enum BusType : std::int32_t {};
enum IoModuleRefClkPinSrc : std::int32_t {};
enum AoChannelStatus : std::int32_t {};
enum SiPoCSource : std::int32_t {};
enum SoPoCSink : std::int32_t {};

}  // namespace qvvandrel::oobx::attribute

// The host's own enumerations of the public attributes.
enum qvajel_TriggerType : std::int32_t {};
enum qvajel_Edge : std::int32_t {};
enum qvajel_SessionType : std::int32_t {};
