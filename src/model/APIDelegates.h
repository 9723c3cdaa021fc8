#pragma once
// Channel names of public requests: a connector-relative name ("Conn1/AI3", the fourth analog
// input of connector 1) becomes the device-wide name under which the attribute is registered,
// with the connector's first channel and channel count asked of the CLIP each time.

#include <cstdint>
#include <string>

#include "attributes/AttributeRegistry.h"
#include "foundation/errors/Exception.h"
#include "model/ClipConfiguration.h"

namespace qvvandrel::APIDelegates {

// A text that does not begin with "Conn" (case matters) is the context as it is; "Conn"
// without a connector number gives the text after "Conn". Raises -52005 for a family that is
// missing or unknown, -304421 (with the text in the detail) for an index not below the
// connector's count or a query the CLIP refuses, the interface checks' -304306 and -304307,
// and std::invalid_argument / std::out_of_range ("stoi") for missing or oversized trailing
// digits.
std::string resolveChannelName(ClipConfiguration& clip, const char* channel);

// The registry's code for a missing (identifier, context).
inline constexpr std::int32_t kAttributeNotFound = -304404;

// Called with the failure of a look-up of (id, context): a not-found failure of an identifier
// that the registry holds under other contexts becomes -304423, whose detail names the host's
// channel text and lists those contexts; anything else is raised again as it came.
[[noreturn]] void raiseLookupFailure(const atat::AttributeRegistry& registry, std::uint32_t id,
                                     const std::string& channelText,
                                     const qverr::Exception& failure);

// The attribute's public view of type T: -304404 / -304423 as above, -304403 when T is not
// the attribute's public type.
template <typename T>
iattr::PublicAPIAttributeInterface<T>* getPublicAttribute(const atat::AttributeRegistry& registry,
                                                          std::uint32_t id,
                                                          const std::string& context,
                                                          const std::string& channelText) {
  try {
    return registry.getTyped<iattr::PublicAPIAttributeInterface<T>>(id, context.c_str());
  } catch (const qverr::Exception& failure) {
    raiseLookupFailure(registry, id, channelText, failure);
  }
}

}  // namespace qvvandrel::APIDelegates
