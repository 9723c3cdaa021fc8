#pragma once
// A register that a design may lack: its name is resolved once, when the object is built, and
// the outcome is kept; the owner skips every use of an absent one.

#include "foundation/errors/Status.h"
#include "model/SessionTransportInterface.h"

namespace qvvandrel {

// T is bool or unsigned long.
template <typename T>
class OptionalRegister final {
 public:
  using Identifiable = OptionalRegister;
  using RegisterType = qvisl::Register<T, SessionTransportInterface>;

  OptionalRegister(SessionTransportInterface* transport, const char* name)
      : register_(transport, name, &status_) {}
  OptionalRegister(const OptionalRegister&) = delete;
  OptionalRegister& operator=(const OptionalRegister&) = delete;

  bool present() const { return !status_.isError(); }
  // The resolution's outcome.
  const nQVVUSKS100::tStatus& status() const { return status_; }
  const char* name() const { return register_.name(); }

  // Both raise a failed access; an absent register raises -52006.
  void write(const T& value) {
    nQVVUSKS100::tStatus status;
    register_.write(value, &status);
  }
  T read() {
    nQVVUSKS100::tStatus status;
    return register_.read(&status);
  }
  RegisterType& reg() { return register_; }

 private:
  nQVVUSKS100::tStatus status_;
  RegisterType register_;
};

}  // namespace qvvandrel
