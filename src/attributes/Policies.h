#pragma once

#include <cstdint>
#include <functional>
#include <utility>

#include "attributes/Interfaces.h"
#include "foundation/errors/Exception.h"

// Range, getter and setter policies of attributes. Attributes hold policies by pointer and
// never own them.
namespace atat {

template <typename T>
class Range {
 public:
  Range() = default;
  Range(const Range&) = delete;
  Range& operator=(const Range&) = delete;
  virtual ~Range() = default;
  // The value to use for a requested value; throws qverr::Exception to reject it.
  virtual T coerce(const T& value) = 0;
  virtual bool equal(const T& lhs, const T& rhs) = 0;
};

template <typename T>
class Getter {
 public:
  virtual ~Getter() = default;
  virtual void checkGettable(iattr::AttributeInterface<T>& attribute) = 0;
  virtual void refresh(iattr::AttributeInterface<T>& attribute) = 0;
};

template <typename T>
class Setter {
 public:
  virtual ~Setter() = default;
  virtual void beforeSet(iattr::AttributeInterface<T>& attribute) = 0;
  virtual void beforeReset(iattr::AttributeInterface<T>& attribute) = 0;
  virtual void afterSet(iattr::AttributeInterface<T>& attribute) = 0;
  virtual void afterReset(iattr::AttributeInterface<T>& attribute) = 0;
};

template <typename T>
class NullGetter : public virtual Getter<T> {
 public:
  void checkGettable(iattr::AttributeInterface<T>&) override {}
  void refresh(iattr::AttributeInterface<T>&) override {}
};

template <typename T>
class NullSetter : public virtual Setter<T> {
 public:
  void beforeSet(iattr::AttributeInterface<T>&) override {}
  void beforeReset(iattr::AttributeInterface<T>&) override {}
  void afterSet(iattr::AttributeInterface<T>&) override {}
  void afterReset(iattr::AttributeInterface<T>&) override {}
};

namespace detail {

enum class AccessFailure { kCheckGettable, kRefresh, kBeforeSet, kAfterSet };

// Throws the not-gettable or not-settable error naming the attribute.
[[noreturn]] void raiseAccessError(std::int32_t errorCode, AccessFailure where,
                                   const iattr::AttributeInfoBaseInterface& attribute);

// Adds the attribute's identifier and channel name to an error raised on its behalf.
void describeAttributeInError(qverr::ExceptionBase& error,
                              const iattr::AttributeInfoBaseInterface& attribute);

}  // namespace detail

// Getter of attributes that cannot be read.
template <typename T>
class NotGettable : public virtual Getter<T> {
 public:
  explicit NotGettable(std::int32_t errorCode) : errorCode_(errorCode) {}
  void checkGettable(iattr::AttributeInterface<T>& attribute) override {
    detail::raiseAccessError(errorCode_, detail::AccessFailure::kCheckGettable, attribute);
  }
  void refresh(iattr::AttributeInterface<T>& attribute) override {
    detail::raiseAccessError(errorCode_, detail::AccessFailure::kRefresh, attribute);
  }

 private:
  std::int32_t errorCode_;
};

// Setter of read-only attributes; a reset still succeeds.
template <typename T>
class NotSettable : public virtual Setter<T> {
 public:
  explicit NotSettable(std::int32_t errorCode) : errorCode_(errorCode) {}
  void beforeSet(iattr::AttributeInterface<T>& attribute) override {
    detail::raiseAccessError(errorCode_, detail::AccessFailure::kBeforeSet, attribute);
  }
  void beforeReset(iattr::AttributeInterface<T>&) override {}
  void afterSet(iattr::AttributeInterface<T>& attribute) override {
    detail::raiseAccessError(errorCode_, detail::AccessFailure::kAfterSet, attribute);
  }
  void afterReset(iattr::AttributeInterface<T>&) override {}

 private:
  std::int32_t errorCode_;
};

// Getter whose every read stores the function's fresh result as the coerced value.
template <typename T, typename F = std::function<T()>>
class FunctorGetter : public Getter<T> {
 public:
  explicit FunctorGetter(F function) : function_(std::move(function)) {}
  void checkGettable(iattr::AttributeInterface<T>&) override {}
  void refresh(iattr::AttributeInterface<T>& attribute) override {
    try {
      attribute.setCoerced(function_());
    } catch (qverr::ExceptionBase& error) {
      detail::describeAttributeInError(error, attribute);
      throw;
    }
  }

 private:
  F function_;
};

// Setter that hands the coerced value to the function after every set and reset.
template <typename T, typename F = std::function<void(const T&)>>
class FunctorSetter : public Setter<T> {
 public:
  explicit FunctorSetter(F function) : function_(std::move(function)) {}
  void beforeSet(iattr::AttributeInterface<T>&) override {}
  void beforeReset(iattr::AttributeInterface<T>&) override {}
  void afterSet(iattr::AttributeInterface<T>& attribute) override { call(attribute); }
  void afterReset(iattr::AttributeInterface<T>& attribute) override { call(attribute); }

 private:
  void call(iattr::AttributeInterface<T>& attribute) {
    try {
      function_(attribute.getCoerced());
    } catch (qverr::ExceptionBase& error) {
      detail::describeAttributeInError(error, attribute);
      throw;
    }
  }

  F function_;
};

}  // namespace atat
