#pragma once
// A device session as a host drives it: requests through the session's `invoke` only, the
// attribute requests (group 258) in their packed record, commit, and the stored error detail.

#include <cstdint>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "qvkel/IFpgaSession.h"

namespace sim::host {

// One attribute value as the attribute requests carry it; `type` is the record's value type
// (0 bool, 1 double, 2 int32, 3 int64, 4 uint32, 5 uint64, 6 text).
struct AttributeValue {
  uint32_t type = 0;
  double real = 0;
  int64_t integer = 0;
  uint64_t unsignedInteger = 0;
  std::string text;
  bool flag = false;
};

std::string formatValue(const AttributeValue& value);

// The identifier of a display name ("AI Range") or of a number ("0x20000010"); 0 if none.
uint32_t attributeIdentifier(const std::string& name);

class HostSession {
 public:
  explicit HostSession(qvkel::IFpgaSession& session) : session_(session) {}

  // A request of kind 2; returns the status code.
  int32_t request(uint32_t code, const void* in, uint64_t inSize, void* out, uint64_t outSize);
  // Gets the value, trying the value type the identifier's type code suggests first.
  int32_t get(uint32_t id, const std::string& channel, AttributeValue& value);
  // Sets `text` read as the attribute's own value type.
  int32_t set(uint32_t id, const std::string& channel, const std::string& text);
  int32_t commit();
  // The detail the session stored for the last failure with `code`; told once.
  std::string lastErrorDetail(int32_t code);
  // The contexts an attribute is registered under: {""} for a session-wide one, the channel
  // names a "" request reports otherwise; empty with the code when the session lacks it.
  std::vector<std::string> contexts(uint32_t id, int32_t& code);
  // Whether this host set the attribute in this session.
  bool setByHost(uint32_t id, const std::string& channel) const {
    return setByHost_.count({id, channel}) != 0;
  }

 private:
  int32_t attributeRequest(uint32_t operation, uint32_t id, const std::string& channel,
                           AttributeValue& value);

  qvkel::IFpgaSession& session_;
  std::set<std::pair<uint32_t, std::string>> setByHost_;
};

}  // namespace sim::host
