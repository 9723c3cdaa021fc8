#include "model/CompositeCommission.h"

namespace qvvandrel {

CompositeCommission::~CompositeCommission() {
  for (auto& child : children_) child.reset();
}

void CompositeCommission::registerAttributes(atat::AttributeRegistry* registry) {
  for (auto& child : children_) child->registerAttributes(registry);
}

void CompositeCommission::commission(const ResolverRoots* roots,
                                     atat::AttributeRegistry* registry) {
  for (auto& child : children_) child->commission(roots, registry);
}

void CompositeCommission::add(std::unique_ptr<CommissionInterface> child) {
  children_.push_back(std::move(child));
}

}  // namespace qvvandrel
