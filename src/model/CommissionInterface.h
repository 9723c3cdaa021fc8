#pragma once

namespace atat {
class AttributeRegistry;
}  // namespace atat

namespace qvvandrel {

class Dependency;

// The roots a feature hangs its resolvers under. The configuration root hands its own members
// the clip deploy root in the deploy field.
struct ResolverRoots {
  Dependency* compileRoot;
  Dependency* deployRoot;
  Dependency* redeployRoot;
};

// A feature: one configurable function of the module. It registers its attributes first; once
// every feature has done so, it wires itself into the session's graph.
class CommissionInterface {
 public:
  virtual ~CommissionInterface() = default;
  // A feature that the module lacks registers nothing.
  virtual void registerAttributes(atat::AttributeRegistry* registry) = 0;
  virtual void commission(const ResolverRoots* roots, atat::AttributeRegistry* registry) = 0;
};

// A feature whose compile and deploy steps are its own operations.
class TrivialFeature : public CommissionInterface {
 public:
  ~TrivialFeature() override = default;
  virtual void compile() = 0;
  virtual void deploy(bool force) = 0;
};

}  // namespace qvvandrel
