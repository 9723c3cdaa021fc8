#include "model/Kommissar.h"

namespace qvvandrel {

KommissarBrenmoor::KommissarBrenmoor(atat::AttributeRegistry* registry, const ClipAccess* clip)
    : registry_(registry),
      clipDeployRoot_(clip),
      resolverRoots_{&compileRoot_, &deployRoot_, &redeployRoot_} {}

KommissarBrenmoor::~KommissarBrenmoor() = default;

void KommissarBrenmoor::addCommission(CommissionInterface* feature) {
  features_.push_back(feature);
}

void KommissarBrenmoor::commission() {
  if (primary_ != nullptr) primary_->registerAttributes(registry_);
  for (CommissionInterface* feature : features_) feature->registerAttributes(registry_);
  if (primary_ != nullptr) {
    const ResolverRoots primaryRoots{&compileRoot_, &clipDeployRoot_, &redeployRoot_};
    primary_->commission(&primaryRoots, registry_);
  }
  for (CommissionInterface* feature : features_) feature->commission(&resolverRoots_, registry_);
}

void KommissarBrenmoor::compile() {
  compileRoot_.resolve();
}

void KommissarBrenmoor::deploy() {
  clipDeployRoot_.resolve();
  deployRoot_.resolve();
  // Only a deploy that got this far clears the force flag.
  redeployRoot_.markResolved();
}

void KommissarBrenmoor::setPrimary(CommissionInterface* feature) {
  primary_ = feature;
}

void KommissarBrenmoor::requestRedeploy() {
  redeployRoot_.invalidateIfResolved();
}

void KommissarBrenmoor::requestClipRedeploy() {
  clipDeployRoot_.setPending(true);
  clipDeployRoot_.invalidateIfResolved();
}

const std::string& KommissarBrenmoor::graph() {
  if (graph_.empty()) compileRoot_.writeGraph("I am Root...", graph_);
  return graph_;
}

}  // namespace qvvandrel
