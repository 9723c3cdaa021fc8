#pragma once
// A read-only attribute whose value is an FPGA indicator register, read again on every get.

#include <cstdint>
#include <type_traits>

#include "attributes/Attribute.h"
#include "attributes/Policies.h"
#include "foundation/errors/Exception.h"
#include "model/SessionTransportInterface.h"

namespace qvvandrel {

// The code of a write to a read-only attribute.
inline constexpr std::int32_t kAttributeNotSettable = -304414;

namespace detail {
// Where a failed indicator read that raised something other than the library's exception lands.
inline constexpr qverr::StatusLocation kIndicatorRead{"IndicatorBackedAttribute", 57,
                                                      qverr::kComponent};
}  // namespace detail

// T is bool, int or unsigned long. The object is the owned attribute's getter and setter: the
// getter reads the indicator on every get, the setter refuses a set (-304414); a reset only
// changes the desired value and authorship. The indicator is borrowed and must outlive it.
template <typename T>
class IndicatorBackedAttribute : public atat::Getter<T>, public atat::NotSettable<T> {
 public:
  using Indicator = qvisl::RegisterInterface<T, nQVVUSKS100::tStatus>;

  // Initial value 0, clean; device-wide unless a channel name is given.
  IndicatorBackedAttribute(std::uint32_t id, Indicator* indicator,
                           const char* channelName = nullptr)
      : atat::NotSettable<T>(kAttributeNotSettable),
        indicator_(indicator),
        attribute_(id, channelName, false, &kInitial, nullptr, this, this) {}
  IndicatorBackedAttribute(const IndicatorBackedAttribute&) = delete;
  IndicatorBackedAttribute& operator=(const IndicatorBackedAttribute&) = delete;

  void checkGettable(iattr::AttributeInterface<T>&) override {}
  // A failed read fails the get; for bool and int the value is then false or 0.
  void refresh(iattr::AttributeInterface<T>& attribute) override {
    qverr::ThrowingStatusRecord status;
    T value{};
    if constexpr (std::is_same_v<T, unsigned long>) {
      value = indicator_->read(&status);
    } else {
      try {
        value = indicator_->read(&status);
      } catch (...) {
        qverr::recordCurrentException(status, detail::kIndicatorRead);
        value = T{};
      }
    }
    attribute.setCoerced(value);
  }

  atat::Attribute<T>& attribute() { return attribute_; }

 private:
  static constexpr T kInitial{};

  Indicator* indicator_;
  atat::Attribute<T> attribute_;
};

}  // namespace qvvandrel
