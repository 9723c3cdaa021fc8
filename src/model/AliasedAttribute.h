#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <type_traits>
#include <utility>

#include "attributes/AttributeRegistry.h"
#include "attributes/Interfaces.h"
#include "foundation/errors/ErrorCodes.h"
#include "foundation/errors/Exception.h"

namespace qvvandrel {

// An attribute of its own identifier (IdTo) and channel name that stands for another feature's
// attribute (identifier IdFrom, value type U) on a channel of that feature: every value
// operation goes to the target through two conversions, so reading the alias reads the target
// and writing it writes the target as the host would. The target is found when the owning
// feature is commissioned; it must then be registered, and it must outlive the alias.
template <std::uint32_t IdFrom, std::uint32_t IdTo, typename T, typename U>
class AliasedAttribute : public iattr::APIAttribute<T> {
 public:
  using ToTarget = std::function<U(const T&)>;
  using FromTarget = std::function<T(const U&)>;

  static constexpr std::uint32_t kId = IdTo;
  static constexpr std::uint32_t kTargetId = IdFrom;

  // A null channel name is the empty name.
  AliasedAttribute(const char* channelName, const char* targetChannelName, ToTarget toTarget,
                   FromTarget fromTarget)
      : channelName_(channelName ? channelName : ""),
        targetChannelName_(targetChannelName ? targetChannelName : ""),
        toTarget_(std::move(toTarget)),
        fromTarget_(std::move(fromTarget)) {}

  // The same value type on both sides: identity conversions.
  template <typename V = T, typename = std::enable_if_t<std::is_same_v<V, U>>>
  AliasedAttribute(const char* channelName, const char* targetChannelName)
      : AliasedAttribute(
            channelName, targetChannelName, [](const T& v) { return v; },
            [](const U& v) { return v; }) {}

  AliasedAttribute(const AliasedAttribute&) = delete;
  AliasedAttribute& operator=(const AliasedAttribute&) = delete;
  ~AliasedAttribute() override = default;

  // Finds the target, (IdFrom, target channel), in the registry: a missing entry raises the
  // registry's not-found error; an entry of another value type leaves the alias without
  // target. A second connection raises -52003.
  void connectTarget(const atat::AttributeRegistry& registry) {
    if (target_ != nullptr) qverr::throwError(qverr::kInternalError);
    target_ = dynamic_cast<iattr::AttributeInterface<U>*>(
        registry.getAttribute(IdFrom, targetChannelName_.c_str()));
  }

  iattr::AttributeInterface<U>* target() const { return target_; }
  const std::string& targetChannelName() const { return targetChannelName_; }
  // The value last written through the alias (T's default until then).
  const T& lastWritten() const { return lastWritten_; }

  // Identity.
  std::uint32_t getId() const override { return IdTo; }
  const char* getChannelName() const override { return channelName_.c_str(); }

  // Everything else is the target's.
  bool wasSetInternally() const override { return target_ && target_->wasSetInternally(); }
  bool wasSetByUser() const override { return target_ && target_->wasSetByUser(); }
  T get() override { return fromTarget_(connected().get()); }
  void set(const T& value) override {
    iattr::AttributeInterface<U>& target = connected();
    lastWritten_ = value;
    target.set(toTarget_(value));
  }
  T getPublic() override { return fromTarget_(connected().getPublic()); }
  // Before commission there is nothing to mark.
  void setDirty(bool dirty) override {
    if (target_ != nullptr) target_->setDirty(dirty);
  }
  bool isDirty() const override { return target_ != nullptr && target_->isDirty(); }
  void reset() override { connected().reset(); }

 private:
  // A value operation on an alias whose feature was never commissioned: -52003.
  iattr::AttributeInterface<U>& connected() const {
    if (target_ == nullptr) qverr::throwError(qverr::kInternalError);
    return *target_;
  }

  std::string channelName_;
  std::string targetChannelName_;
  iattr::AttributeInterface<U>* target_ = nullptr;
  T lastWritten_{};
  ToTarget toTarget_;
  FromTarget fromTarget_;
};

}  // namespace qvvandrel
