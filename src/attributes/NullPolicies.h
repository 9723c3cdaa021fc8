#pragma once

#include "attributes/Policies.h"
#include "attributes/Ranges.h"

// One shared null range, null getter and null setter per value type. Each is made on first
// use, so no static initialiser of another file can see one unconstructed; in addition
// every value type used by an attribute has a load-time initialiser that makes all three
// before the library's entry points can be called.
namespace atat {

template <typename T>
Range<T>& nullRange() {
  static NullRange<T, DefaultComparison<T>> instance(kNullRangeErrorCode);
  return instance;
}

template <typename T>
Getter<T>& nullGetter() {
  static NullGetter<T> instance;
  return instance;
}

template <typename T>
Setter<T>& nullSetter() {
  static NullSetter<T> instance;
  return instance;
}

namespace detail {

template <typename T>
struct NullPolicyPreparation {
  NullPolicyPreparation() {
    nullRange<T>();
    nullGetter<T>();
    nullSetter<T>();
  }
};

// Instantiated (and so initialised at load time) for every T whose attribute is built.
template <typename T>
inline NullPolicyPreparation<T> nullPolicyPreparation;

}  // namespace detail
}  // namespace atat
