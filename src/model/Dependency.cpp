#include "model/Dependency.h"

namespace qvvandrel {

Dependency::Dependency(const char* name) : name_(name) {}

Dependency::~Dependency() = default;

void Dependency::invalidateIfResolved() {
  if (!dirty_) invalidate();
}

void Dependency::invalidate() {
  // Dirty first, so that mutual dependents end after one visit each.
  dirty_ = true;
  for (Dependency* node : dependents_) node->invalidateIfResolved();
}

void Dependency::resolve() {
  if (!dirty_) return;
  for (Dependency* node : prerequisites_) node->resolve();
  // A throwing hook leaves this node and its co-resolved nodes dirty for the next pass.
  onResolve();
  markResolved();
  for (Dependency* node : coResolved_) node->markResolved();
}

void Dependency::markResolved() {
  dirty_ = false;
}

void Dependency::onResolve() {}

void Dependency::writeGraph(std::string_view parent, std::string& text) {
  if (!parent.empty()) {
    text += '"';
    text += parent;
    text += "\"->\"";
    text += name_;
    text += "\";\n";
  }
  if (visited_) return;
  visited_ = true;
  for (Dependency* node : prerequisites_) node->writeGraph(name_, text);
  for (Dependency* node : coResolved_) node->writeGraph(name_, text);
}

bool Dependency::hasCycle() {
  // Entered a third time along one path: this node lies on a prerequisite cycle.
  if (cycleDepth_ == 2) return true;
  ++cycleDepth_;
  for (Dependency* node : prerequisites_) {
    cycleResult_ = node->hasCycle();
    if (cycleResult_) break;
  }
  cycleDepth_ = 0;
  return cycleResult_;
}

void Dependency::addDependent(Dependency* node) {
  dependents_.push_back(node);
}

void Dependency::addPrerequisite(Dependency* node) {
  prerequisites_.push_back(node);
}

void Dependency::addCoResolved(Dependency* node) {
  coResolved_.push_back(node);
}

void Dependency::setName(const char* name) {
  name_ = name;
}

}  // namespace qvvandrel
