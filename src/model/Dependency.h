#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace qvvandrel {

class DependencyBase {};

// One node of a session's dependency graph: dirty (its work has to be redone) or resolved.
// Invalidating a node dirties it and, through its dependents, everything downstream that was
// clean; resolving a dirty node resolves its prerequisites first, runs its hook, then marks it
// and its co-resolved nodes clean. Links are borrowed and never removed: every node of a graph
// lives as long as the session that owns the graph, and nothing touches the graph while it is
// torn down. No lock: the session serialises every use of one graph.
class Dependency : public DependencyBase {
 public:
  // The name is borrowed and must outlive the node (a literal, a type name, a table entry).
  explicit Dependency(const char* name);
  Dependency(const Dependency&) = delete;
  Dependency& operator=(const Dependency&) = delete;
  virtual ~Dependency();

  virtual void invalidateIfResolved();
  virtual void resolve();
  virtual void markResolved();
  // Appends the edge from `parent` (none when empty) and, on the first visit only, the edges
  // below this node, as Graphviz statements.
  virtual void writeGraph(std::string_view parent, std::string& text);
  virtual bool hasCycle();
  virtual void addDependent(Dependency* node);
  virtual void addPrerequisite(Dependency* node);
  virtual void addCoResolved(Dependency* node);
  virtual void setName(const char* name);

  const char* name() const { return name_; }
  bool isNodeDirty() const { return dirty_; }
  // Free text stored for the public attribute interface; nothing here reads it.
  const std::string& label() const { return label_; }
  void setLabel(std::string label) { label_ = std::move(label); }

  const std::vector<Dependency*>& prerequisites() const { return prerequisites_; }
  const std::vector<Dependency*>& dependents() const { return dependents_; }
  const std::vector<Dependency*>& coResolved() const { return coResolved_; }

 protected:
  // The node's own work, run by `resolve` while the node is dirty; empty here.
  virtual void onResolve();
  virtual void invalidate();

 private:
  const char* name_;
  bool dirty_ = true;
  bool visited_ = false;
  std::uint32_t cycleDepth_ = 0;
  bool cycleResult_ = false;
  std::vector<Dependency*> prerequisites_;
  std::vector<Dependency*> dependents_;
  std::vector<Dependency*> coResolved_;
  std::string label_;
};

}  // namespace qvvandrel
