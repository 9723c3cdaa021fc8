#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <type_traits>
#include <utility>

#include "sim/device/Interface.h"

namespace sim {

// The state a model's command handlers share with its test-facing setters and observers, behind
// one mutex. The handlers hold their own reference, so they may run until the interface is
// detached, whatever becomes of the model object.
template <typename State>
class SharedState {
 public:
  // Serves `code` on `iface` with `answer(State&, Call&)` under the mutex. An answer returning
  // an int gives the errno of the ioctl; one returning nothing always succeeds.
  template <typename Answer>
  void serve(Interface& iface, uint32_t code, Answer answer) {
    iface.handle(code, [shared = shared_, answer](Call& call) -> int {
      std::lock_guard lock(shared->mutex);
      if constexpr (std::is_void_v<decltype(answer(shared->state, call))>) {
        answer(shared->state, call);
        return 0;
      } else {
        return answer(shared->state, call);
      }
    });
  }

  // Runs `f(State&)` under the mutex and returns what it returns.
  template <typename F>
  auto with(F&& f) const {
    std::lock_guard lock(shared_->mutex);
    return std::forward<F>(f)(shared_->state);
  }

 private:
  struct Locked {
    std::mutex mutex;
    State state;
  };
  std::shared_ptr<Locked> shared_ = std::make_shared<Locked>();
};

}  // namespace sim
