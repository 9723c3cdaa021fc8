#pragma once

#include <cstdint>
#include <string>
#include <type_traits>
#include <utility>

#include "attributes/Interfaces.h"
#include "attributes/NullPolicies.h"
#include "attributes/Policies.h"

namespace atat {

namespace detail {
// Adds the attribute's identifier and channel to a range error (translator section).
void describeAttributeInRangeError(qverr::ExceptionBase& error, std::uint32_t attributeId,
                                   const std::string& channelName);
}  // namespace detail

// Who wrote the desired value last.
enum Authorship : std::uint32_t {
  kAuthorshipDefault = 0,   // construction or reset
  kAuthorshipUser = 1,      // set through the public interface
  kAuthorshipInternal = 2,  // set by the library itself
};

// A typed attribute: default, desired and coerced value, authorship, dirty flag, and range,
// getter and setter policies (borrowed; a missing one is the shared null policy of T).
template <typename T>
class Attribute : public virtual iattr::AttributeInterface<T> {
 public:
  Attribute(std::uint32_t id, const char* channelName, bool initialDirty, const T* initialValue,
            Range<T>* range, Getter<T>* getter, Setter<T>* setter)
      : id_(id),
        channelName_(channelName ? channelName : ""),
        dirty_(initialDirty),
        defaultValue_(initialValue ? *initialValue : T{}),
        desiredValue_(defaultValue_),
        coercedValue_(defaultValue_),
        range_(range ? range : &nullRange<T>()),
        getter_(getter ? getter : &nullGetter<T>()),
        setter_(setter ? setter : &nullSetter<T>()) {
    static_cast<void>(&detail::nullPolicyPreparation<T>);
  }

  // Plain string attributes always use the null policies.
  template <typename U = T, typename = std::enable_if_t<std::is_same_v<U, std::string>>>
  Attribute(std::uint32_t id, const char* channelName, bool initialDirty,
            const std::string& initialValue)
      : Attribute(id, channelName, initialDirty, &initialValue, nullptr, nullptr, nullptr) {}

  Attribute(const Attribute&) = delete;
  Attribute& operator=(const Attribute&) = delete;

  iattr::AttributeInterface<T>& getBaseInterface() override { return *this; }
  ~Attribute() override = default;
  std::uint32_t getId() const override { return id_; }
  const char* getChannelName() const override { return channelName_.c_str(); }
  virtual std::uint32_t getAuthorship() const { return authorship_; }
  bool wasSetByUser() const override { return authorship_ == kAuthorshipUser; }
  bool wasSetInternally() const override { return authorship_ == kAuthorshipInternal; }
  bool isDirty() const override { return dirty_; }
  void setDirty(bool dirty) override { dirty_ = dirty; }

  void reset() override {
    updateValue(defaultValue_, kAuthorshipDefault, true, &Setter<T>::beforeReset,
                &Setter<T>::afterReset);
  }
  void setDesired(const T& value) override {
    updateValue(value, kAuthorshipInternal, false, nullptr, nullptr);
  }
  void setCoerced(const T& value) override { coercedValue_ = value; }
  T getDesired() const override { return desiredValue_; }
  T getCoerced() const override { return coercedValue_; }
  T getDefault() const override { return defaultValue_; }
  void set(const T& value) override {
    updateValue(value, kAuthorshipUser, true, &Setter<T>::beforeSet, &Setter<T>::afterSet);
  }
  T get() override {
    getter_->checkGettable(*this);
    getter_->refresh(*this);
    return coercedValue_;
  }
  T getPublic() override { return this->getDesired(); }

  Range<T>* range() const { return range_; }
  Getter<T>* getter() const { return getter_; }
  Setter<T>* setter() const { return setter_; }

 private:
  using Hook = void (Setter<T>::*)(iattr::AttributeInterface<T>&);

  // The write core shared by set, setDesired and reset.
  void updateValue(const T& requested, std::uint32_t authorship, bool notify, Hook before,
                   Hook after) {
    // The request may refer to one of this attribute's own values; take a copy first.
    const T value = requested;
    T previousDesired = desiredValue_;
    T previousCoerced = coercedValue_;
    const std::uint32_t previousAuthorship = authorship_;
    if (notify) (setter_->*before)(*this);
    try {
      if (value != desiredValue_ || authorship != authorship_) {
        desiredValue_ = value;
        coercedValue_ = coerce(value);
        authorship_ = authorship;
        this->setDirty(true);
      }
      if (notify) (setter_->*after)(*this);
    } catch (...) {
      desiredValue_ = std::move(previousDesired);
      coercedValue_ = std::move(previousCoerced);
      authorship_ = previousAuthorship;
      this->setDirty(true);
      throw;
    }
  }

  T coerce(const T& value) {
    try {
      return range_->coerce(value);
    } catch (qverr::ExceptionBase& error) {
      detail::describeAttributeInRangeError(error, id_, channelName_);
      throw;
    }
  }

  std::uint32_t authorship_ = kAuthorshipDefault;
  std::uint32_t id_;
  std::string channelName_;
  bool dirty_;
  T defaultValue_;
  T desiredValue_;
  T coercedValue_;
  Range<T>* range_;
  Getter<T>* getter_;
  Setter<T>* setter_;
};

}  // namespace atat
