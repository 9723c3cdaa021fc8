#pragma once

#include <boost/core/noncopyable.hpp>
#include <cstdint>

#include "attributes/Attribute.h"
#include "model/AttributeNames.h"
#include "model/Dependency.h"

namespace qvvandrel {

// A typed attribute that is also a node of the dependency graph, named by the display name
// of its identifier. Every path that marks the attribute dirty (a write, a failed write, a
// reset, the registry's mark-all) invalidates the node and everything downstream of it;
// resolving the node (its owning feature's compile) marks the attribute clean again.
template <typename T>
class DependencyAttribute : public Dependency,
                            public atat::Attribute<T>,
                            private boost::noncopyable {
 public:
  using value_type = T;

  // A null channel name is the empty name of a device-wide attribute; null policies are the
  // shared null policies of T. The initial value becomes default, desired and coerced value.
  DependencyAttribute(std::uint32_t id, const char* channelName, const T* initialValue,
                      atat::Range<T>* range = nullptr, atat::Getter<T>* getter = nullptr,
                      atat::Setter<T>* setter = nullptr)
      : Dependency(getAttributeName(id)),
        atat::Attribute<T>(id, channelName, true, initialValue, range, getter, setter) {}

  ~DependencyAttribute() override = default;

  void markResolved() override {
    atat::Attribute<T>::setDirty(false);
    Dependency::markResolved();
  }

  // Clearing leaves the node as it is: only its feature's compile makes it clean.
  void setDirty(bool dirty) override {
    if (dirty) invalidateIfResolved();
    atat::Attribute<T>::setDirty(dirty);
  }

  // Set until the owning feature's first commission links the attribute to its compile
  // resolver, so those links are made once.
  bool needsWiring() const { return needsWiring_; }
  void clearNeedsWiring() { needsWiring_ = false; }

  // The value a compile step of another feature reads: the getter's check and refresh, then
  // the coerced value.
  T resolvedValue() { return atat::Attribute<T>::get(); }

 private:
  bool needsWiring_ = true;
};

// The initial value of an attribute being built from a temporary: the temporary lives until
// the end of the full expression that builds the attribute, which copies it.
template <typename T>
const T* initialValue(const T& value) {
  return &value;
}

// A dependency attribute whose identifier is fixed by its class.
template <std::uint32_t Id, typename Base>
class DepAttr : public Base {
 public:
  using value_type = typename Base::value_type;
  static constexpr std::uint32_t kId = Id;

  DepAttr(const char* channelName, const value_type* initialValue,
          atat::Range<value_type>* range = nullptr, atat::Getter<value_type>* getter = nullptr,
          atat::Setter<value_type>* setter = nullptr)
      : Base(Id, channelName, initialValue, range, getter, setter) {}
};

}  // namespace qvvandrel
