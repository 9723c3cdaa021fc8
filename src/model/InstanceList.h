#pragma once
// A feature made of numbered instances that the design may or may not carry (DSP instances,
// delay buffers): each instance number below N is tried in turn, and only the instances the
// design has are kept. Every kept instance has its own attributes and resolvers; the list
// registers and commissions them in list order.

#include <cstdint>
#include <memory>
#include <vector>

#include "model/CommissionInterface.h"

namespace qvvandrel {

// T is built as T(number, args...) and tells through present() whether the design has it. An
// instance whose numbering continues that of the kept instance before it (channel names that
// must not repeat across instances) has continueAfter(previous).
template <typename T, std::uint32_t N>
class InstanceList : public TrivialFeature {
 public:
  template <typename... Args>
  explicit InstanceList(Args&... args) {
    for (std::uint32_t number = 0; number < N; ++number) {
      auto instance = std::make_unique<T>(number, args...);
      if (!instance->present()) continue;
      if constexpr (requires(T & t) { t.continueAfter(t); }) {
        if (!instances_.empty()) instance->continueAfter(*instances_.back());
      }
      instances_.push_back(std::move(instance));
    }
  }
  InstanceList(const InstanceList&) = delete;
  InstanceList& operator=(const InstanceList&) = delete;

  void registerAttributes(atat::AttributeRegistry* registry) override {
    for (auto& instance : instances_) instance->registerAttributes(*registry);
  }
  void commission(const ResolverRoots* roots, atat::AttributeRegistry* registry) override {
    for (auto& instance : instances_) instance->commission(*roots, *registry);
  }
  // Each instance compiles and deploys through its own resolvers; the list has nothing to do.
  void compile() override {}
  void deploy(bool) override {}

  std::size_t size() const { return instances_.size(); }
  bool empty() const { return instances_.empty(); }
  // The kept instances in list order (instance numbers rising).
  T& operator[](std::size_t i) { return *instances_[i]; }

 private:
  std::vector<std::unique_ptr<T>> instances_;
};

}  // namespace qvvandrel
