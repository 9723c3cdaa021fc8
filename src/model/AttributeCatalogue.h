#pragma once

#include <cstddef>
#include <cstdint>
#include <list>
#include <string>
#include <tuple>

#include "attributes/ValueEnumerations.h"
#include "model/DependencyAttribute.h"

namespace qvvandrel {

class Coefficients;

// The value types of the catalogued dependency attributes, in the order of CatalogueType.
using CatalogueValueTypes = std::tuple<
    double, bool, int, unsigned int, unsigned long, std::string, const std::list<Coefficients>*,
    oobx::attribute::RefClkSrc, oobx::attribute::BaseboardRefClkSrc, oobx::attribute::SampleClkSrc,
    oobx::attribute::QVA100_RXClockSource, oobx::attribute::TriggerType,
    oobx::attribute::TriggerSensitivity, oobx::attribute::StartTriggerSync,
    oobx::attribute::DacDigitalUpconverterMode, oobx::attribute::CableSenseMode,
    oobx::attribute::Coupling, oobx::attribute::DioConfiguration, oobx::attribute::Csi2NumLanes,
    oobx::attribute::StreamDataFormat, qvajel_TriggerType, qvajel_Edge, qvajel_SessionType>;

enum class CatalogueType : std::uint8_t {
  kDouble,
  kBool,
  kInt,
  kUnsignedInt,
  kUnsignedLong,
  kString,
  kCoefficientList,
  kRefClkSrc,
  kBaseboardRefClkSrc,
  kSampleClkSrc,
  kQva100RxClockSource,
  kTriggerType,
  kTriggerSensitivity,
  kStartTriggerSync,
  kDacDigitalUpconverterMode,
  kCableSenseMode,
  kCoupling,
  kDioConfiguration,
  kCsi2NumLanes,
  kStreamDataFormat,
  kQvajelTriggerType,
  kQvajelEdge,
  kQvajelSessionType,
};

inline constexpr std::size_t kCatalogueTypeCount = std::tuple_size_v<CatalogueValueTypes>;

// One identifier of the catalogue: its value type and the feature that builds and owns it.
struct CatalogueEntry {
  std::uint32_t id;
  CatalogueType type;
  const char* owner;
};

inline constexpr std::size_t kCatalogueSize = 123;

namespace catalogue_detail {
using enum CatalogueType;
inline constexpr const char* kReferenceClock = "qvvandrel::ReferenceClock";
inline constexpr const char* kSampleClock = "qvvandrel::SampleClock";
inline constexpr const char* kUserClock = "qvvandrel::UserClock";
inline constexpr const char* kSyncApi = "qvvandrel::SyncAPI";
inline constexpr const char* kMoskAdjustment = "qvvandrel::MoskAdjustment";
inline constexpr const char* kMoskGenerator = "qvvandrel::MoskGenerator";
inline constexpr const char* kMoskStartTrigger = "qvvandrel::MoskStartTrigger";
inline constexpr const char* kStartTriggerAttributes = "qvvandrel::StartTriggerAttributes";
inline constexpr const char* kStartTriggerSource = "qvvandrel::StartTriggerSource";
inline constexpr const char* kDacDuc = "qvvandrel::DacDuc";
inline constexpr const char* kAdcInterleaving = "qvvandrel::AdcInterleaving";
inline constexpr const char* kExternalAnalogTrigger = "qvvandrel::ExternalAnalogTrigger";
inline constexpr const char* kCableSense = "qvvandrel::CableSense::Instance";
inline constexpr const char* kDeviceConstants = "qvvandrel::DeviceConstants";
inline constexpr const char* kAnalogTrigger = "qvvandrel::AnalogTrigger";
inline constexpr const char* kAoChannels = "qvvandrel::AoChannels";
inline constexpr const char* kScaling = "qvvandrel::Scaling";
inline constexpr const char* kAiDsp = "qvvandrel::InstanceList<qvvandrel::AiDSPInstance, 2>";
inline constexpr const char* kAoDsp = "qvvandrel::InstanceList<qvvandrel::AoDSPInstance, 2>";
inline constexpr const char* kDspInstances = "the AI and AO DSP instances";
inline constexpr const char* kDelayBuffers =
    "qvvandrel::InstanceList<qvvandrel::DelayBufferInstance, 2>";
inline constexpr const char* kStream = "qvvandrel::Stream";
inline constexpr const char* kAiChannels = "qvvandrel::config::ai::Channels";
inline constexpr const char* kPfiChannels = "qvvandrel::config::pfi::Channels";
inline constexpr const char* kDiChannels = "qvvandrel::config::di::Channels";
inline constexpr const char* kDoutChannels = "qvvandrel::config::dout::Channels";
inline constexpr const char* kDioVoltage = "qvvandrel::DioVoltage";
inline constexpr const char* kDioConfigMode = "qvvandrel::DioConfigMode";
inline constexpr const char* kSiChannel = "qvvandrel::SiChannel";
inline constexpr const char* kSoChannel = "qvvandrel::SoChannel";

// Every identifier that is a dependency attribute, grouped by owning feature. Identifiers
// with a type code in hexadecimal, public identifiers (no type code, no display name) in
// decimal.
inline constexpr CatalogueEntry kAttributeCatalogue[kCatalogueSize] = {
    {0x1000000B, kRefClkSrc, kReferenceClock},
    {0x10000018, kBaseboardRefClkSrc, kReferenceClock},
    {0x4000000A, kBool, kReferenceClock},
    {0x20000018, kDouble, kReferenceClock},
    {4885, kDouble, kReferenceClock},
    {10882, kDouble, kReferenceClock},
    {12110, kBool, kReferenceClock},
    {12111, kBool, kReferenceClock},
    {12240, kBool, kReferenceClock},
    {12241, kBool, kReferenceClock},
    {8792, kBool, kReferenceClock},
    {8627, kString, kReferenceClock},
    {8793, kString, kReferenceClock},
    {8798, kString, kReferenceClock},

    {0x10000013, kSampleClkSrc, kSampleClock},
    {0x10000010, kInt, kSampleClock},
    {0x10000015, kInt, kSampleClock},
    {0x1000001A, kInt, kSampleClock},
    {0x20000015, kDouble, kSampleClock},
    {0x20000016, kDouble, kSampleClock},
    {0x20000017, kDouble, kSampleClock},
    {0x2000001A, kDouble, kSampleClock},
    {10734, kDouble, kSampleClock},
    {10735, kDouble, kSampleClock},
    {10736, kUnsignedLong, kSampleClock},
    {10737, kUnsignedLong, kSampleClock},
    {8790, kUnsignedLong, kSampleClock},
    {8791, kUnsignedLong, kSampleClock},
    {12238, kBool, kSampleClock},

    {0x40000020, kBool, kUserClock},
    {0x40000021, kBool, kUserClock},
    {0x2000002C, kDouble, kUserClock},
    {0x10000032, kQva100RxClockSource, kUserClock},
    {0x10000034, kInt, kUserClock},
    {0x30000015, kString, kUserClock},

    {12237, kQvajelSessionType, kSyncApi},
    {6468, kBool, kSyncApi},
    {8581, kUnsignedInt, kSyncApi},
    {8848, kUnsignedInt, kSyncApi},
    {8849, kUnsignedInt, kSyncApi},
    {8794, kDouble, kSyncApi},
    {8796, kDouble, kSyncApi},

    {0x10000012, kInt, kMoskAdjustment},
    {8982, kDouble, kMoskAdjustment},
    {12380, kDouble, kMoskAdjustment},
    {12377, kBool, kMoskAdjustment},

    {6469, kUnsignedInt, kMoskGenerator},
    {6470, kUnsignedInt, kMoskGenerator},
    {6471, kUnsignedInt, kMoskGenerator},
    {8546, kUnsignedInt, kMoskGenerator},
    {8551, kDouble, kMoskGenerator},
    {12226, kDouble, kMoskGenerator},

    {0x10000007, kInt, kMoskStartTrigger},
    {0x10000020, kInt, kMoskStartTrigger},
    {5011, kQvajelTriggerType, kMoskStartTrigger},
    {5124, kQvajelEdge, kMoskStartTrigger},
    {5127, kString, kMoskStartTrigger},
    {8622, kString, kMoskStartTrigger},
    {8633, kUnsignedInt, kMoskStartTrigger},

    {0x10000009, kTriggerType, kStartTriggerAttributes},
    {0x10000016, kTriggerSensitivity, kStartTriggerAttributes},
    {0x10000021, kStartTriggerSync, kStartTriggerAttributes},
    {0x40000007, kBool, kStartTriggerAttributes},

    {0x30000000, kString, kStartTriggerSource},

    {0x10000022, kDacDigitalUpconverterMode, kDacDuc},
    {0x40000009, kBool, kDacDuc},

    {0x10000019, kInt, kAdcInterleaving},

    {0x20000004, kDouble, kExternalAnalogTrigger},
    {0x4000000B, kBool, kExternalAnalogTrigger},
    {0x20000021, kDouble, kExternalAnalogTrigger},

    {0x10000025, kCableSenseMode, kCableSense},

    {0x10000005, kInt, kDeviceConstants},
    {0x10000006, kInt, kDeviceConstants},
    {0x10000023, kInt, kDeviceConstants},

    {0x10000008, kInt, kAnalogTrigger},
    {0x40000002, kBool, kAnalogTrigger},
    {0x20000002, kDouble, kAnalogTrigger},
    {0x20000003, kDouble, kAnalogTrigger},

    {0x2000001E, kDouble, kAoChannels},
    {0x2000001B, kDouble, kAoChannels},
    {0x40000008, kBool, kAoChannels},

    {0x50000005, kCoefficientList, kScaling},
    {0x20000011, kDouble, kScaling},
    {0x20000012, kDouble, kScaling},
    {0x2000001C, kDouble, kScaling},
    {0x2000001D, kDouble, kScaling},

    {0x4000000F, kBool, kAiDsp},
    {0x40000019, kBool, kAiDsp},

    {0x4000001B, kBool, kAoDsp},
    {0x4000001C, kBool, kAoDsp},
    {0x4000001E, kBool, kAoDsp},

    {0x2000002A, kDouble, kDspInstances},
    {0x2000002B, kDouble, kDspInstances},

    {0x20000019, kDouble, kDelayBuffers},

    {0x10000000, kInt, kStream},
    {0x10000001, kInt, kStream},
    {0x10000003, kStreamDataFormat, kStream},
    {0x20000013, kDouble, kStream},
    {0x30000002, kString, kStream},
    {0x40000001, kBool, kStream},
    {0x4000000E, kBool, kStream},
    {0x4000001F, kBool, kStream},
    {0x50000000, kUnsignedLong, kStream},
    {0x50000001, kUnsignedLong, kStream},
    {0x50000002, kUnsignedLong, kStream},
    {0x50000006, kUnsignedLong, kStream},

    {0x40000000, kBool, kAiChannels},
    {0x10000011, kCoupling, kAiChannels},
    {0x1000000E, kInt, kAiChannels},
    {0x10000014, kInt, kAiChannels},
    {0x2000000F, kDouble, kAiChannels},
    {0x1000001C, kInt, kAiChannels},
    {0x2000001F, kDouble, kAiChannels},
    {0x20000010, kDouble, kAiChannels},

    {0x40000012, kBool, kPfiChannels},
    {0x40000013, kBool, kPfiChannels},
    {0x20000031, kDouble, kPfiChannels},

    {0x40000010, kBool, kDiChannels},

    {0x40000011, kBool, kDoutChannels},

    {0x20000032, kDouble, kDioVoltage},

    {0x10000031, kDioConfiguration, kDioConfigMode},

    {0x10000035, kCsi2NumLanes, kSiChannel},

    {0x10000036, kCsi2NumLanes, kSoChannel},
};

}  // namespace catalogue_detail

using catalogue_detail::kAttributeCatalogue;

// The catalogue's entry of an identifier; an identifier outside the catalogue does not
// compile.
consteval const CatalogueEntry& catalogueEntry(std::uint32_t id) {
  for (const CatalogueEntry& entry : kAttributeCatalogue) {
    if (entry.id == id) return entry;
  }
  throw "identifier not in the attribute catalogue";
}

template <CatalogueType Type>
using CatalogueValueType =
    std::tuple_element_t<static_cast<std::size_t>(Type), CatalogueValueTypes>;

// The dependency attribute class of a catalogued identifier, with its catalogued value type.
// Identifiers outside the catalogue use DepAttr with the value type their feature gives.
template <std::uint32_t Id>
using CatalogueAttribute =
    DepAttr<Id, DependencyAttribute<CatalogueValueType<catalogueEntry(Id).type>>>;

}  // namespace qvvandrel
