#include "attributes/AttributeRegistry.h"

#include <algorithm>
#include <string_view>

#include "attributes/RaiseWithDetails.h"
#include "foundation/errors/ErrorCodes.h"
#include "foundation/text/CompareUtf8NoCase.h"

namespace atat {
namespace {

constexpr qverr::StatusLocation kNoAttributeLocation{
    "atat/attributes/AttributeRegistry", 31, qverr::kComponent, qverr::constant::kInvalidParameter};
constexpr qverr::StatusLocation kDuplicateLocation{"atat/attributes/AttributeRegistry", 37,
                                                   qverr::kComponent,
                                                   qverr::constant::kErrorInternalError};
constexpr qverr::StatusLocation kNotFoundLocation{"atat/attributes/AttributeRegistry", 78,
                                                  qverr::kComponent,
                                                  qverr::constant::kErrorAttributeNotFound};
constexpr qverr::StatusLocation kWrongTypeLocation{"atat/attributes/AttributeRegistry", 114,
                                                   qverr::kComponent,
                                                   qverr::constant::kErrorWrongAttributeType};

std::string_view channelOf(const char* channelName) {
  return channelName ? std::string_view(channelName) : std::string_view();
}

// (id, channel) orders before (otherId, otherChannel).
bool keyBefore(std::uint32_t id, std::string_view channel, std::uint32_t otherId,
               std::string_view otherChannel) {
  if (id != otherId) return id < otherId;
  return compareUtf8NoCase(channel, otherChannel) < 0;
}

[[noreturn]] void raiseForKey(std::int32_t code, const qverr::StatusLocation& location,
                              std::uint32_t id, std::string_view channel,
                              const char* comment = nullptr) {
  detail::raiseWithDetails(code, location, [&](elaboration::Cursor cursor) {
    cursor = elaboration::appendAttributeIdAndChannel(cursor, id, std::string(channel));
    if (comment != nullptr) writeCommentItem(cursor, comment);
  });
}

}  // namespace

AttributeRegistry::AttributeRegistry(std::int32_t notFoundCode, std::int32_t wrongTypeCode,
                                     std::int32_t duplicateCode)
    : notFoundCode_(notFoundCode), wrongTypeCode_(wrongTypeCode), duplicateCode_(duplicateCode) {}

AttributeRegistry::~AttributeRegistry() = default;

void AttributeRegistry::setDirty(bool dirty) {
  for (const Entry& entry : entries_) entry.attribute->setDirty(dirty);
}

bool AttributeRegistry::isDirty() const {
  return std::any_of(entries_.begin(), entries_.end(),
                     [](const Entry& entry) { return entry.attribute->isDirty(); });
}

std::vector<AttributeRegistry::Entry>::const_iterator AttributeRegistry::lowerBound(
    std::uint32_t id, const char* channelName) const {
  const std::string_view channel = channelOf(channelName);
  return std::partition_point(entries_.begin(), entries_.end(), [&](const Entry& entry) {
    return keyBefore(entry.id, entry.channelName, id, channel);
  });
}

const AttributeRegistry::Entry* AttributeRegistry::find(std::uint32_t id,
                                                        const char* channelName) const {
  auto position = lowerBound(id, channelName);
  if (position == entries_.end() || position->id != id ||
      compareUtf8NoCase(channelOf(channelName), position->channelName) < 0) {
    return nullptr;
  }
  return &*position;
}

void AttributeRegistry::addAttribute(iattr::AttributeBaseInterface* attribute) {
  if (attribute == nullptr) qverr::raise(qverr::kInvalidParameter, kNoAttributeLocation);
  const std::uint32_t id = attribute->getId();
  const std::string_view channel = channelOf(attribute->getChannelName());
  auto position = lowerBound(id, attribute->getChannelName());
  if (position != entries_.end() && position->id == id &&
      compareUtf8NoCase(channel, position->channelName) == 0) {
    raiseForKey(duplicateCode_, kDuplicateLocation, id, channel,
                "The attribute id was already added to the attribute registry.");
  }
  entries_.insert(position, Entry{id, std::string(channel), attribute});
}

iattr::AttributeBaseInterface* AttributeRegistry::getAttribute(std::uint32_t id,
                                                               const char* channelName) const {
  const Entry* entry = find(id, channelName);
  if (entry == nullptr) raiseForKey(notFoundCode_, kNotFoundLocation, id, channelOf(channelName));
  return entry->attribute;
}

bool AttributeRegistry::contains(std::uint32_t id, const char* channelName) const {
  return find(id, channelName) != nullptr;
}

std::vector<std::string> AttributeRegistry::getChannelNames(std::uint32_t id) const {
  std::vector<std::string> names;
  for (auto position = lowerBound(id, ""); position != entries_.end() && position->id == id;
       ++position) {
    names.push_back(position->channelName);
  }
  return names;
}

void AttributeRegistry::raiseWrongType(std::uint32_t id, const char* channelName) const {
  raiseForKey(wrongTypeCode_, kWrongTypeLocation, id, channelOf(channelName));
}

}  // namespace atat
