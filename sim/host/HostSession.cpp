#include "sim/host/HostSession.h"

#include <algorithm>
#include <array>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "foundation/errors/Status.h"
#include "model/AttributeNames.h"

namespace sim::host {

namespace {

constexpr uint32_t kRequestKind = 2, kRequestCode = 256, kLastErrorCode = 800;
constexpr uint32_t kAttributeGroup = 258, kGet = 721, kSet = 722;
constexpr uint32_t kDebugGroup = 0xDE7EC7ED, kCommit = 342;
constexpr int32_t kWrongType = -304403, kContextMismatch = -304423;
constexpr size_t kRecordSize = 565, kReplySize = 281, kTextSize = 256;

template <typename T>
void put(unsigned char* bytes, size_t offset, T value) {
  std::memcpy(bytes + offset, &value, sizeof value);
}

template <typename T>
T take(const unsigned char* bytes, size_t offset) {
  T value;
  std::memcpy(&value, bytes + offset, sizeof value);
  return value;
}

// The value types to try for an identifier: its type code's first, then every other.
std::vector<uint32_t> typesToTry(uint32_t id) {
  std::vector<uint32_t> types;
  switch (id >> 28) {
    case 1:
      types = {2, 4};
      break;
    case 2:
      types = {1};
      break;
    case 3:
      types = {6};
      break;
    case 4:
      types = {0};
      break;
    case 5:
      types = {5};
      break;
    default:
      break;
  }
  for (uint32_t type = 0; type <= 6; ++type) {
    if (std::find(types.begin(), types.end(), type) == types.end()) types.push_back(type);
  }
  return types;
}

}  // namespace

std::string formatValue(const AttributeValue& value) {
  char text[64];
  switch (value.type) {
    case 0:
      return value.flag ? "true" : "false";
    case 1:
      std::snprintf(text, sizeof text, "%.9g", value.real);
      return text;
    case 2:
    case 3:
      return std::to_string(value.integer);
    case 4:
    case 5:
      return std::to_string(value.unsignedInteger);
    default:
      return "\"" + value.text + "\"";
  }
}

uint32_t attributeIdentifier(const std::string& name) {
  for (const qvvandrel::AttributeNameEntry& entry : qvvandrel::kAttributeNames) {
    if (name == entry.displayName) return static_cast<uint32_t>(entry.identifier);
  }
  char* end = nullptr;
  const unsigned long long number = std::strtoull(name.c_str(), &end, 0);
  return !name.empty() && *end == '\0' && number <= UINT32_MAX ? static_cast<uint32_t>(number) : 0;
}

int32_t HostSession::request(uint32_t code, const void* in, uint64_t inSize, void* out,
                             uint64_t outSize) {
  nQVVUSKS100::tStatus status{};
  session_.invoke(kRequestKind, code, reinterpret_cast<uint64_t>(in), inSize,
                  reinterpret_cast<uint64_t>(out), outSize, &status);
  return static_cast<int32_t>(status.code);
}

int32_t HostSession::attributeRequest(uint32_t operation, uint32_t id, const std::string& channel,
                                      AttributeValue& value) {
  std::array<unsigned char, kRecordSize> record{};
  std::array<unsigned char, kReplySize> reply{};
  put<uint32_t>(record.data(), 0, kAttributeGroup);
  put(record.data(), 16, operation);
  put(record.data(), 20, id);
  put(record.data(), 24, value.type);
  std::memcpy(record.data() + 28, channel.data(), std::min(channel.size(), kTextSize - 1));
  put(record.data(), 284, value.real);
  put(record.data(), 292, value.integer);
  put(record.data(), 300, value.unsignedInteger);
  std::memcpy(record.data() + 308, value.text.data(), std::min(value.text.size(), kTextSize - 1));
  record[564] = value.flag ? 1 : 0;
  const int32_t code =
      request(kRequestCode, record.data(), record.size(), reply.data(), reply.size());
  if (code >= 0 && operation == kGet) {
    value.real = take<double>(reply.data(), 0);
    value.integer = take<int64_t>(reply.data(), 8);
    value.unsignedInteger = take<uint64_t>(reply.data(), 16);
    value.text.assign(reinterpret_cast<const char*>(reply.data()) + 24,
                      strnlen(reinterpret_cast<const char*>(reply.data()) + 24, kTextSize));
    value.flag = reply[280] != 0;
  }
  return code;
}

int32_t HostSession::get(uint32_t id, const std::string& channel, AttributeValue& value) {
  int32_t code = kWrongType;
  for (uint32_t type : typesToTry(id)) {
    value = AttributeValue{};
    value.type = type;
    code = attributeRequest(kGet, id, channel, value);
    if (code != kWrongType) break;
  }
  return code;
}

int32_t HostSession::set(uint32_t id, const std::string& channel, const std::string& text) {
  AttributeValue value;
  const int32_t code = get(id, channel, value);
  if (code < 0) return code;
  char* end = nullptr;
  switch (value.type) {
    case 0:
      value.flag = text == "true" || text == "1";
      break;
    case 1:
      value.real = std::strtod(text.c_str(), &end);
      break;
    case 2:
    case 3:
      value.integer = std::strtoll(text.c_str(), &end, 0);
      break;
    case 4:
    case 5:
      value.unsignedInteger = std::strtoull(text.c_str(), &end, 0);
      break;
    default:
      value.text = text;
      break;
  }
  if (end != nullptr && (end == text.c_str() || *end != '\0')) return -52005;
  const int32_t result = attributeRequest(kSet, id, channel, value);
  if (result >= 0) setByHost_.insert({id, channel});
  return result;
}

int32_t HostSession::commit() {
  const uint32_t record[] = {kDebugGroup, 0, 0, 0, kCommit};
  return request(kRequestCode, record, sizeof record, nullptr, 0);
}

std::string HostSession::lastErrorDetail(int32_t code) {
  std::vector<char> text(1 << 16);
  if (request(kLastErrorCode, &code, sizeof code, text.data(), text.size()) < 0) return "";
  return text.data();
}

std::vector<std::string> HostSession::contexts(uint32_t id, int32_t& code) {
  AttributeValue value;
  code = get(id, "", value);
  if (code != kContextMismatch)
    return code < 0 ? std::vector<std::string>{} : std::vector<std::string>{""};
  // The failure's detail lists the registered contexts as a string array.
  const std::string detail = lastErrorDetail(code);
  std::vector<std::string> names;
  size_t at = detail.find("vandrel_kUsageTypeRegisteredContexts");
  at = at == std::string::npos ? at : detail.find('[', at);
  const size_t end = at == std::string::npos ? at : detail.find(']', at);
  while (at != std::string::npos && (at = detail.find('"', at + 1)) < end) {
    const size_t close = detail.find('"', at + 1);
    names.push_back(detail.substr(at + 1, close - at - 1));
    at = close;
  }
  code = names.empty() ? kContextMismatch : 0;
  return names;
}

}  // namespace sim::host
