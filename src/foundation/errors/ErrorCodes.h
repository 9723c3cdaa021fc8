#pragma once
// Status codes of the platform family and the symbolic names that error details carry.

#include <cstdint>

namespace qverr {

// Platform codes.
inline constexpr int32_t kMemoryFull = -52000;
inline constexpr int32_t kNotSupported = -52002;
inline constexpr int32_t kInternalError = -52003;
inline constexpr int32_t kBadCast = -52004;
inline constexpr int32_t kInvalidParameter = -52005;
inline constexpr int32_t kResourceNotFound = -52006;
inline constexpr int32_t kTimeout = -52007;
inline constexpr int32_t kOsFault = -52008;
inline constexpr int32_t kNoInterruptAcknowledge = -52010;
inline constexpr int32_t kAlreadyInProgress = -52011;
inline constexpr int32_t kEndOfData = -52012;
inline constexpr int32_t kObjectNameCollision = -52013;
inline constexpr int32_t kOwnerDead = -52014;
inline constexpr int32_t kDeadlock = -52015;
inline constexpr int32_t kAlreadyRunning = -52016;
inline constexpr int32_t kBufferTooSmall = -52019;
inline constexpr int32_t kResourceRemoved = -52020;
inline constexpr int32_t kConnectionAborted = -52023;
inline constexpr int32_t kIoError = -52024;
inline constexpr int32_t kInterrupted = -52025;
inline constexpr int32_t kPermissionDenied = -52026;
inline constexpr int32_t kBusy = -52031;
inline constexpr int32_t kBadSelector = -50003;

// Codes of shared families.
inline constexpr int32_t kDeviceEntryNotFound = -1074097793;
inline constexpr int32_t kSoftwareTooNewForFile = -1074097794;
inline constexpr int32_t kFileTooNewForSoftware = -1074097795;
inline constexpr int32_t kInvalidSampleNumber = -1074100511;
// The device kit's "not supported" (an operation, request or kind the target does not offer).
inline constexpr int32_t kOperationNotSupported = -63193;

// Device-family codes.
inline constexpr int32_t kIncompatibleDevice = -304010;
inline constexpr int32_t kIFifoUnsupportedInterface = -304306;
inline constexpr int32_t kIFifoInterfaceVersionMismatch = -304307;
inline constexpr int32_t kCableSensePulseFailed = -304333;
inline constexpr int32_t kInvalidAttributeValue = -304408;
inline constexpr int32_t kAttributeNotSettable = -304414;
inline constexpr int32_t kStringParsingInvalidChannel = -304421;
inline constexpr int32_t kAttributeContextMismatch = -304423;
inline constexpr int32_t kDspNotReady = -304426;
inline constexpr int32_t kInvalidStreamOperation = -304429;
inline constexpr int32_t kRefClkRangeUnsupported = -304434;
inline constexpr int32_t kUserClockFreqInvalid = -304435;
inline constexpr int32_t kBypassUnsupported = -304436;
inline constexpr int32_t kUserClockFreqCombinationUnsupported = -304437;
inline constexpr int32_t kCableSenseNotSupported = -304438;
inline constexpr int32_t kNoCableSenseChannelsEnabled = -304439;
inline constexpr int32_t kCableSenseInProgress = -304440;
inline constexpr int32_t kGenericInternalError = -304500;
inline constexpr int32_t kSessionCommandRefused = -304507;
inline constexpr int32_t kUserClockFreqNotFound = -304509;
inline constexpr int32_t kInvalidPllCapabilities = -304510;
inline constexpr int32_t kInvalidSerialChannelCapabilities = -304511;

// Names written into the "error_constant" member of a detail.
namespace constant {
inline constexpr const char* kMemoryFull = "qvvuskerr_memoryFull";
inline constexpr const char* kStatusMemoryFull = "nQVVUSKS100::tStatus::kMemoryFull";
inline constexpr const char* kInvalidParameter = "qvvuskerr_invalidParameter";
inline constexpr const char* kResourceNotFound = "qvvuskerr_resourceNotFound";
inline constexpr const char* kStatusResourceNotFound = "nQVVUSKS100::tStatus::kResourceNotFound";
inline constexpr const char* kOperationTimedOut = "qvvuskerr_operationTimedOut";
inline constexpr const char* kOsFault = "qvvuskerr_osFault";
inline constexpr const char* kStatusEndOfData = "nQVVUSKS100::tStatus::kEndOfData";
inline constexpr const char* kObjectNameCollision = "qvvuskerr_objectNameCollision";
inline constexpr const char* kBadSelector = "qvpalerr_badSelector";
inline constexpr const char* kJsonInvalidJson = "jsonErrorsInvalidJSON";
inline constexpr const char* kJsonNotAnObject = "jsonErrorsNotAnObject";
inline constexpr const char* kJsonNotAnArray = "jsonErrorsNotAnArray";
inline constexpr const char* kJsonTypeMismatch = "jsonErrorsTypeMismatch";
inline constexpr const char* kJsonObjectItemNotFound = "jsonErrorsObjectItemNotFound";
inline constexpr const char* kDeviceEntryNotFound = "qvmxl::kErrorDeviceEntryNotFound";
inline constexpr const char* kSoftwareTooNewForFile = "qvmxl::kErrorSoftwareTooNewForFile";
inline constexpr const char* kFileTooNewForSoftware = "qvmxl::kErrorFileTooNewForSoftware";
inline constexpr const char* kInvalidSampleNumber = "qvstream_lib::kInvalidSampleNumber";
inline constexpr const char* kIncompatibleDevice = "QVVANDREL_Status_IncompatibleDevice";
inline constexpr const char* kIFifoUnsupportedInterface =
    "QVVANDREL_Status_iFifoUnsupportedInterface";
inline constexpr const char* kIFifoInterfaceVersionMismatch =
    "QVVANDREL_Status_iFifoInterfaceVersionMismatch";
inline constexpr const char* kCableSensePulseFailed = "QVVANDREL_Status_CableSensePulseFailed";
inline constexpr const char* kInvalidAttributeValue = "QVVANDREL_Status_InvalidAttributeValue";
inline constexpr const char* kStringParsingInvalidChannel =
    "QVVANDREL_Status_StringParsingInvalidChannel";
inline constexpr const char* kAttributeContextMismatch =
    "QVVANDREL_Status_AttributeContextMismatch";
inline constexpr const char* kDspNotReady = "QVVANDREL_Status_DspNotReady";
inline constexpr const char* kInvalidStreamOperation = "QVVANDREL_Status_InvalidStreamOperation";
inline constexpr const char* kRefClkRangeUnsupported = "QVVANDREL_Status_RefClkRangeUnsupported";
inline constexpr const char* kUserClockFreqInvalid = "QVVANDREL_Status_UserClockFreqInvalid";
inline constexpr const char* kBypassUnsupported = "QVVANDREL_Status_BypassUnsupported";
inline constexpr const char* kUserClockFreqCombinationUnsupported =
    "QVVANDREL_Status_UserClockFreqCombinationUnsupported";
inline constexpr const char* kCableSenseNotSupported = "QVVANDREL_Status_CableSenseNotSupported";
inline constexpr const char* kNoCableSenseChannelsEnabled =
    "QVVANDREL_Status_NoCableSenseChannelsEnabled";
inline constexpr const char* kCableSenseInProgress = "QVVANDREL_Status_CableSenseInProgress";
inline constexpr const char* kGenericInternalError = "QVVANDREL_Status_GenericInternalError";
inline constexpr const char* kUserClockFreqNotFound = "QVVANDREL_Status_UserClockFreqNotFound";
inline constexpr const char* kInvalidPllCapabilities = "QVVANDREL_Status_InvalidPllCapabilities";
inline constexpr const char* kInvalidSerialChannelCapabilities =
    "QVVANDREL_Status_InvalidSerialChannelCapabilities";
// Raise sites whose code is computed at run time.
inline constexpr const char* kErrorCode = "errorCode";
// The attribute templates' own names.
inline constexpr const char* kErrorWrongAttributeType = "errorWrongAttributeType";
inline constexpr const char* kErrorAttributeNotFound = "errorAttributeNotFound";
inline constexpr const char* kErrorInternalError = "errorInternalError";
}  // namespace constant

}  // namespace qverr
