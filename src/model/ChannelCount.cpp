#include "model/ChannelCount.h"

#include "foundation/errors/ErrorCodes.h"
#include "foundation/errors/Exception.h"

namespace qvvandrel {

namespace {

constexpr std::int32_t kNotSettable = -304414;
constexpr int kNoChannels = 0;

}  // namespace

boost::optional<std::uint32_t> boundedChannelCount(
    const ififo_rpc::Capability<unsigned int>& capability, const qverr::StatusLocation& location) {
  const boost::optional<unsigned int>& count = capability.value;
  if (count && *count > kMaxChannels) qverr::raise(qverr::kInternalError, location);
  return count;
}

ChannelCountAttribute::ChannelCountAttribute(std::uint32_t id,
                                             const ififo_rpc::Capability<unsigned int>& capability)
    : function_([&capability] {
        const boost::optional<unsigned int>& count = capability.value;
        return count ? static_cast<int>(*count) : 0;
      }),
      getter_(function_),
      setter_(kNotSettable),
      attribute_(id, "", false, &kNoChannels, nullptr, &getter_, &setter_) {}

}  // namespace qvvandrel
