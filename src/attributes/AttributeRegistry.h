#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "attributes/Interfaces.h"

namespace atat {

// Finds attributes by (identifier, channel name); channel names compare without case. The
// registry borrows the attributes and doubles as one dirty flag over all of them. Each owner
// chooses the codes raised for a missing key, a typed look-up of the wrong type and a
// duplicate registration.
class AttributeRegistry : public virtual iattr::DirtyableInterface {
 public:
  AttributeRegistry(std::int32_t notFoundCode, std::int32_t wrongTypeCode,
                    std::int32_t duplicateCode);
  AttributeRegistry(const AttributeRegistry&) = delete;
  AttributeRegistry& operator=(const AttributeRegistry&) = delete;

  void setDirty(bool dirty) override;
  bool isDirty() const override;
  ~AttributeRegistry() override;

  void addAttribute(iattr::AttributeBaseInterface* attribute);
  // Never returns null: a missing key throws the not-found code.
  iattr::AttributeBaseInterface* getAttribute(std::uint32_t id, const char* channelName) const;
  bool contains(std::uint32_t id, const char* channelName) const;
  std::vector<std::string> getChannelNames(std::uint32_t id) const;

  template <typename I>
  I* getTyped(std::uint32_t id, const char* channelName) const {
    I* typed = dynamic_cast<I*>(getAttribute(id, channelName));
    if (typed == nullptr) raiseWrongType(id, channelName);
    return typed;
  }

  std::size_t size() const { return entries_.size(); }

 private:
  struct Entry {
    std::uint32_t id;
    std::string channelName;
    iattr::AttributeBaseInterface* attribute;
  };

  // The first entry not ordered before (id, channelName).
  std::vector<Entry>::const_iterator lowerBound(std::uint32_t id, const char* channelName) const;
  const Entry* find(std::uint32_t id, const char* channelName) const;
  [[noreturn]] void raiseWrongType(std::uint32_t id, const char* channelName) const;

  std::int32_t notFoundCode_;
  std::int32_t wrongTypeCode_;
  std::int32_t duplicateCode_;
  std::vector<Entry> entries_;
};

}  // namespace atat
