#pragma once

#include <string>
#include <vector>

#include "model/ClipDeployRoot.h"
#include "model/CommissionInterface.h"
#include "model/Dependency.h"

namespace atat {
class AttributeRegistry;
}  // namespace atat

namespace qvvandrel {

// The owner of one session's dependency graph.
class Kommissar {
 public:
  virtual ~Kommissar() = default;
  virtual void addCommission(CommissionInterface* feature) = 0;
  virtual void commission() = 0;
  virtual void compile() = 0;
  virtual void deploy() = 0;
  virtual void setPrimary(CommissionInterface* feature) = 0;
  virtual void requestRedeploy() = 0;
  virtual void requestClipRedeploy() = 0;
  virtual const std::string& graph() = 0;
};

// The four roots of a session's graph, its features and the one commission pass that wires
// them. The primary feature (the configuration root) deploys under the clip deploy root, so
// the CLIP is told to take its settings before every other feature deploys. The roots start
// dirty: the first compile runs every compile step and the first deploy every deploy step,
// forced, followed by instruction 0x101 with nothing pending. Features are borrowed.
class KommissarBrenmoor : public Kommissar {
 public:
  // Both are the session's and outlive the Kommissar.
  KommissarBrenmoor(atat::AttributeRegistry* registry, const ClipAccess* clip);
  KommissarBrenmoor(const KommissarBrenmoor&) = delete;
  KommissarBrenmoor& operator=(const KommissarBrenmoor&) = delete;
  ~KommissarBrenmoor() override;

  void addCommission(CommissionInterface* feature) override;
  // Every feature registers its attributes before any feature looks another's up; the
  // order of the commissions (the primary first) is the order of every later pass.
  void commission() override;
  void compile() override;
  void deploy() override;
  void setPrimary(CommissionInterface* feature) override;
  // The next deploy forces every deploy step and tells the CLIP again.
  void requestRedeploy() override;
  // The next deploy tells the CLIP that a module change is pending.
  void requestClipRedeploy() override;
  // Built on the first call and kept: the graph does not change after the commission pass,
  // and a node's edges are written on its first visit only.
  const std::string& graph() override;

  Dependency& compileRoot() { return compileRoot_; }
  Dependency& deployRoot() { return deployRoot_; }
  Dependency& redeployRoot() { return redeployRoot_; }
  ClipDeployRoot& clipDeployRoot() { return clipDeployRoot_; }
  const ResolverRoots& resolverRoots() const { return resolverRoots_; }

 private:
  atat::AttributeRegistry* registry_;
  Dependency compileRoot_{"compile root"};
  Dependency deployRoot_{"deploy root"};
  Dependency redeployRoot_{"redeploy root"};
  ClipDeployRoot clipDeployRoot_;
  ResolverRoots resolverRoots_;
  CommissionInterface* primary_ = nullptr;
  std::vector<CommissionInterface*> features_;
  std::string graph_;
};

}  // namespace qvvandrel
