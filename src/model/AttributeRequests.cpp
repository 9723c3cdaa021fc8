#include "model/AttributeRequests.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string>

#include "foundation/errors/ErrorCodes.h"
#include "foundation/errors/Exception.h"
#include "model/APIDelegates.h"
#include "model/NodeLabel.h"
#include "model/RequestRecord.h"

namespace qvvandrel {
namespace {

constexpr const char* kSource = "./source/AttributeRequests";
constexpr qverr::StatusLocation kShortBuffer{kSource, 61, qverr::kComponent,
                                             qverr::constant::kInvalidParameter};
constexpr qverr::StatusLocation kUnknownOperation{kSource, 74, qverr::kComponent,
                                                  qverr::constant::kInvalidParameter};
constexpr qverr::StatusLocation kUnknownValueType{kSource, 97, qverr::kComponent};

constexpr std::int32_t kValueTypeUnknown = -304501;

// Readings, counts and calibration records: nothing a compile step coerces.
constexpr std::array<std::uint32_t, 43> kStaticIdentifiers{
    0x10000007, 0x1000000C, 0x1000000D, 0x1000000F, 0x10000017, 0x10000026, 0x10000027, 0x10000028,
    0x10000029, 0x1000002A, 0x1000002B, 0x1000002C, 0x1000002D, 0x10000030, 0x10000033, 0x20000005,
    0x20000006, 0x20000007, 0x20000008, 0x20000009, 0x2000000A, 0x2000000B, 0x2000000D, 0x2000000E,
    0x20000014, 0x2000002D, 0x2000002E, 0x2000002F, 0x20000030, 0x20000033, 0x30000004, 0x30000005,
    0x30000008, 0x30000011, 0x30000012, 0x30000013, 0x30000014, 0x40000003, 0x40000006, 0x40000022,
    0x40000023, 0x50000003, 0x50000004};

std::string boundedText(const char (&field)[kAttributeTextSize]) {
  return std::string(field, strnlen(field, kAttributeTextSize));
}

template <typename T>
iattr::PublicAPIAttributeInterface<T>* lookUp(const AttributeRequestTarget& target,
                                              const AttributeRequestRecord& request,
                                              const std::string& context,
                                              const std::string& channelText) {
  return APIDelegates::getPublicAttribute<T>(target.registry, request.id, context, channelText);
}

// Writes the attribute's value into the reply field of the request's value type.
void getInto(const AttributeRequestTarget& target, const AttributeRequestRecord& request,
             const std::string& context, const std::string& text, unsigned char* reply) {
  switch (request.valueType) {
    case kValueBool: {
      const std::uint8_t value = lookUp<bool>(target, request, context, text)->getValue() ? 1 : 0;
      reply[offsetof(AttributeReply, boolValue)] = value;
      return;
    }
    case kValueDouble: {
      const double value = lookUp<double>(target, request, context, text)->getValue();
      std::memcpy(reply + offsetof(AttributeReply, doubleValue), &value, sizeof value);
      return;
    }
    case kValueInt32:
    case kValueInt64: {
      const std::int64_t value = request.valueType == kValueInt32
                                     ? lookUp<int>(target, request, context, text)->getValue()
                                     : lookUp<long>(target, request, context, text)->getValue();
      std::memcpy(reply + offsetof(AttributeReply, signedValue), &value, sizeof value);
      return;
    }
    case kValueUInt32:
    case kValueUInt64: {
      const std::uint64_t value =
          request.valueType == kValueUInt32
              ? lookUp<unsigned int>(target, request, context, text)->getValue()
              : lookUp<unsigned long>(target, request, context, text)->getValue();
      std::memcpy(reply + offsetof(AttributeReply, unsignedValue), &value, sizeof value);
      return;
    }
    default: {
      const std::string value = lookUp<std::string>(target, request, context, text)->getValue();
      char* field = reinterpret_cast<char*>(reply + offsetof(AttributeReply, text));
      const std::size_t copied = std::min(value.size(), kAttributeTextSize);
      std::memcpy(field, value.data(), copied);
      std::memset(field + copied, 0, kAttributeTextSize - copied);
      return;
    }
  }
}

void setFrom(const AttributeRequestTarget& target, const AttributeRequestRecord& request,
             const std::string& context, const std::string& text) {
  switch (request.valueType) {
    case kValueBool:
      return lookUp<bool>(target, request, context, text)->setValue(request.boolValue != 0);
    case kValueDouble:
      return lookUp<double>(target, request, context, text)->setValue(request.doubleValue);
    case kValueInt32:
      return lookUp<int>(target, request, context, text)
          ->setValue(static_cast<std::int32_t>(static_cast<std::uint64_t>(request.signedValue)));
    case kValueInt64:
      return lookUp<long>(target, request, context, text)->setValue(request.signedValue);
    case kValueUInt32:
      return lookUp<unsigned int>(target, request, context, text)
          ->setValue(static_cast<std::uint32_t>(request.unsignedValue));
    case kValueUInt64:
      return lookUp<unsigned long>(target, request, context, text)->setValue(request.unsignedValue);
    default:
      return lookUp<std::string>(target, request, context, text)
          ->setValue(boundedText(request.text));
  }
}

// Steps shared by get and set: the version check, the channel name and the node's label.
std::string resolveContext(const AttributeRequestTarget& target,
                           const AttributeRequestRecord& request, const std::string& text) {
  checkRequestHeader(request.header);
  std::string context = APIDelegates::resolveChannelName(target.clip, text.c_str());
  setNodeLabelIfChanged(target.registry, request.id, text, context);
  return context;
}

void checkValueType(const AttributeRequestRecord& request) {
  if (request.valueType > kValueString) qverr::raise(kValueTypeUnknown, kUnknownValueType);
}

}  // namespace

bool isStaticAttribute(std::uint32_t id) {
  return std::find(kStaticIdentifiers.begin(), kStaticIdentifiers.end(), id) !=
         kStaticIdentifiers.end();
}

void handleAttributeRequest(const AttributeRequestTarget& target, const void* record,
                            std::uint64_t recordSize, void* reply, std::uint64_t replySize) {
  nQVVANDRELBRENMOORU_22_8::nQVVUSK000::tMutexLock lock(target.sessionMutex);
  if (record == nullptr || recordSize < sizeof(AttributeRequestRecord))
    qverr::raise(qverr::kInvalidParameter, kShortBuffer);
  AttributeRequestRecord request;
  std::memcpy(&request, record, sizeof request);
  const bool replies =
      request.operation == kAttributeGet || request.operation == kAttributeIsSupported;
  if (replies && (reply == nullptr || replySize < sizeof(AttributeReply)))
    qverr::raise(qverr::kInvalidParameter, kShortBuffer);
  auto* out = static_cast<unsigned char*>(reply);

  switch (request.operation) {
    case kAttributeGet: {
      const std::string text = boundedText(request.channel);
      const std::string context = resolveContext(target, request, text);
      if (!isStaticAttribute(request.id)) target.kommissar.compile();
      checkValueType(request);
      getInto(target, request, context, text, out);
      return;
    }
    case kAttributeSet: {
      const std::string text = boundedText(request.channel);
      const std::string context = resolveContext(target, request, text);
      checkValueType(request);
      setFrom(target, request, context, text);
      return;
    }
    case kAttributeReset:
      checkRequestHeader(request.header);
      target.registry.getAttribute(request.id, "")->reset();
      return;
    case kAttributeIsSupported:
      checkRequestHeader(request.header);
      out[0] = target.registry.contains(request.id, "") ? 1 : 0;
      return;
    default:
      qverr::raise(qverr::kInvalidParameter, kUnknownOperation);
  }
}

}  // namespace qvvandrel
