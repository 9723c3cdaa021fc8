#pragma once

#include <cstdint>
#include <typeinfo>

#include "attributes/AttributeRegistry.h"
#include "model/CommissionInterface.h"
#include "model/Dependency.h"
#include "model/DependencyAttribute.h"

namespace qvvandrel {

// The run-time type name of X (its mangled name), which names both resolvers of every X.
template <typename X>
const char* resolverName() {
  const char* name = typeid(X).name();
  return name[0] == '*' ? name + 1 : name;
}

// Runs the owner's compile step: validate and coerce the feature's settings.
template <typename X>
class CompileResolver : public Dependency {
 public:
  explicit CompileResolver(X* owner) : Dependency(resolverName<X>()), owner_(owner) {}
  X* owner() const { return owner_; }

 protected:
  void onResolve() override { owner_->compile(); }

 private:
  X* owner_;
};

// Runs the owner's deploy step: write the feature's settings to the module. A step that takes
// a force flag gets the redeploy root's dirty flag, so after a redeploy request every feature
// writes everything, and otherwise only what changed.
template <typename X>
class DeployResolver : public Dependency {
 public:
  explicit DeployResolver(X* owner) : Dependency(resolverName<X>()), owner_(owner) {}
  X* owner() const { return owner_; }
  Dependency* redeployRoot() const { return redeployRoot_; }
  void setRedeployRoot(Dependency* root) { redeployRoot_ = root; }
  bool force() const { return redeployRoot_ != nullptr && redeployRoot_->isNodeDirty(); }

 protected:
  void onResolve() override {
    if constexpr (requires(X & x) { x.deploy(true); }) {
      owner_->deploy(force());
    } else {
      owner_->deploy();
    }
  }

 private:
  X* owner_;
  Dependency* redeployRoot_ = nullptr;
};

// The wiring every feature's commission applies. Root links are made on every call; the
// attribute links below are made once.

// The compile root resolves the compile resolver; the compile resolver dirties the compile
// root and the deploy resolver (when the feature has one).
void wireCompileResolver(const ResolverRoots& roots, Dependency& compileResolver,
                         Dependency* deployResolver);

// The deploy root resolves the deploy resolver, which dirties the deploy root; the redeploy
// root dirties the deploy resolver, whose force flag it is.
template <typename X>
void wireDeployResolver(const ResolverRoots& roots, DeployResolver<X>& deployResolver) {
  roots.deployRoot->addPrerequisite(&deployResolver);
  deployResolver.addDependent(roots.deployRoot);
  roots.redeployRoot->addDependent(&deployResolver);
  deployResolver.setRedeployRoot(roots.redeployRoot);
}

template <typename X>
void wireResolvers(const ResolverRoots& roots, CompileResolver<X>& compileResolver,
                   DeployResolver<X>& deployResolver) {
  wireCompileResolver(roots, compileResolver, &deployResolver);
  wireDeployResolver(roots, deployResolver);
}

// An attribute that the feature's compile step coerces: writing it dirties the compile
// resolver, reading it resolved runs the compile step, and the compile resolves it. Only while
// the attribute still needs wiring; returns whether the links were made.
template <typename T>
bool wireOwnAttribute(Dependency& compileResolver, DependencyAttribute<T>& attribute) {
  if (!attribute.needsWiring()) return false;
  compileResolver.addCoResolved(&attribute);
  attribute.addDependent(&compileResolver);
  compileResolver.addDependent(&attribute);
  attribute.addPrerequisite(&compileResolver);
  attribute.clearNeedsWiring();
  return true;
}

// A node of the feature's own that its compile step only reads.
void wireInput(Dependency& compileResolver, Dependency& input);

// Raises the error of a second commission of one feature.
[[noreturn]] void raiseAlreadyLinked();

// A compile step's link to an attribute of another feature: the attribute is resolved before
// the compile step and a write to it dirties the step. A feature is commissioned once per
// session, so a second link through the same record is an error (-52003).
template <typename T>
class AttributeLink {
 public:
  explicit AttributeLink(Dependency* dependent) : dependent_(dependent) {}

  // Looks (id, channelName) up in the registry. An attribute that is not registered, or not a
  // DependencyAttribute<T>, is not linked and is no error: the compile step uses its default.
  bool link(const atat::AttributeRegistry& registry, std::uint32_t id, const char* channelName) {
    if (linked_) raiseAlreadyLinked();
    if (!registry.contains(id, channelName)) return false;
    auto* attribute = dynamic_cast<DependencyAttribute<T>*>(registry.getAttribute(id, channelName));
    if (attribute == nullptr) return false;
    dependent_->addPrerequisite(attribute);
    attribute->addDependent(dependent_);
    linked_ = true;
    attribute_ = attribute;
    return true;
  }

  bool isLinked() const { return linked_; }
  // Null until linked.
  DependencyAttribute<T>* attribute() const { return attribute_; }

 private:
  Dependency* dependent_;
  bool linked_ = false;
  DependencyAttribute<T>* attribute_ = nullptr;
};

}  // namespace qvvandrel
