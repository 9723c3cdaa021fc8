#pragma once

#include <memory>
#include <vector>

#include "model/CommissionInterface.h"

namespace qvvandrel {

// A feature made of owned child features: registration and commission go to every child in
// the order they were added, and the children are destroyed in that order.
class CompositeCommission : public CommissionInterface {
 public:
  CompositeCommission() = default;
  CompositeCommission(const CompositeCommission&) = delete;
  CompositeCommission& operator=(const CompositeCommission&) = delete;
  ~CompositeCommission() override;

  void registerAttributes(atat::AttributeRegistry* registry) override;
  void commission(const ResolverRoots* roots, atat::AttributeRegistry* registry) override;

  void add(std::unique_ptr<CommissionInterface> child);
  const std::vector<std::unique_ptr<CommissionInterface>>& children() const { return children_; }

 private:
  std::vector<std::unique_ptr<CommissionInterface>> children_;
};

}  // namespace qvvandrel
