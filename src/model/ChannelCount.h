#pragma once
// What every channel family does with the number of channels or lines the CLIP reports: a
// read-only count attribute, and a bound on the count before objects are built from it.

#include <cstdint>
#include <functional>

#include <boost/optional.hpp>

#include "attributes/Attribute.h"
#include "attributes/Policies.h"
#include "clip/CapabilityHandlers.h"
#include "foundation/errors/Status.h"

namespace qvvandrel {

// No CLIP has more channels of one family than this; every one past the name tables would be
// named "invalid index" anyway.
inline constexpr std::uint32_t kMaxChannels = 1024;

// The count capability's value; none when the CLIP does not report it. A count above
// kMaxChannels is refused with -52003 at `location`, before anything is built from it.
boost::optional<std::uint32_t> boundedChannelCount(
    const ififo_rpc::Capability<unsigned int>& capability, const qverr::StatusLocation& location);

// A count attribute (empty channel name): every read takes the capability's value again, 0 when
// it is absent; a write is refused with -304414. Registered, never part of the dependency
// graph. The capability is the session's and outlives the attribute.
class ChannelCountAttribute {
 public:
  ChannelCountAttribute(std::uint32_t id, const ififo_rpc::Capability<unsigned int>& capability);
  ChannelCountAttribute(const ChannelCountAttribute&) = delete;
  ChannelCountAttribute& operator=(const ChannelCountAttribute&) = delete;

  atat::Attribute<int>& attribute() { return attribute_; }

 private:
  std::function<int()> function_;
  atat::FunctorGetter<int, std::function<int()>> getter_;
  atat::NotSettable<int> setter_;
  atat::Attribute<int> attribute_;
};

}  // namespace qvvandrel
