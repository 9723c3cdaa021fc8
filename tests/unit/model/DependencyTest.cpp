#include "model/Dependency.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace {

using qvvandrel::Dependency;
using Log = std::vector<std::string>;

// Records every run of its hook; can be told to fail the next runs.
class Node : public Dependency {
 public:
  Node(const char* name, Log& log) : Dependency(name), log_(log) {}
  int failures = 0;

 protected:
  void onResolve() override {
    log_.push_back(name());
    if (failures > 0) {
      --failures;
      throw std::runtime_error("hook failed");
    }
  }

 private:
  Log& log_;
};

void link(Dependency& node, Dependency& prerequisite) {
  node.addPrerequisite(&prerequisite);
}

TEST(Dependency, FreshGraphResolvesEveryHookOncePrerequisitesFirst) {
  Log log;
  Node root("root", log), a("a", log), b("b", log), shared("shared", log), leaf("leaf", log);
  link(root, a);
  link(root, b);
  link(a, shared);
  link(b, shared);  // reached twice, run once
  link(shared, leaf);
  EXPECT_TRUE(root.isNodeDirty());
  root.resolve();
  EXPECT_EQ(log, (Log{"leaf", "shared", "a", "b", "root"}));
  for (const Dependency* node : {&root, &a, &b, &shared, &leaf}) {
    EXPECT_FALSE(node->isNodeDirty());
  }
  // Resolving a clean root does nothing, even with a dirty node below it.
  log.clear();
  leaf.invalidateIfResolved();
  root.resolve();
  EXPECT_TRUE(log.empty());
  EXPECT_TRUE(leaf.isNodeDirty());
}

TEST(Dependency, InvalidationWalksDependentsUntilAlreadyDirty) {
  Log log;
  Node top("top", log), middle("middle", log), bottom("bottom", log), side("side", log);
  top.addDependent(&middle);
  middle.addDependent(&bottom);
  top.addDependent(&side);
  for (Dependency* node : {&top, &middle, &bottom, &side}) node->markResolved();

  // A dirty dependent stops the walk on its branch.
  middle.invalidateIfResolved();
  EXPECT_TRUE(bottom.isNodeDirty());
  bottom.markResolved();
  top.invalidateIfResolved();
  EXPECT_TRUE(top.isNodeDirty());
  EXPECT_TRUE(side.isNodeDirty());
  EXPECT_FALSE(bottom.isNodeDirty());

  // A dirty node does nothing at all through invalidateIfResolved.
  side.markResolved();
  top.invalidateIfResolved();
  EXPECT_FALSE(side.isNodeDirty());
}

TEST(Dependency, MutualDependentsEndAfterOneVisitEach) {
  Log log;
  Node resolver("resolver", log), attribute("attribute", log);
  resolver.addDependent(&attribute);
  attribute.addDependent(&resolver);
  resolver.markResolved();
  attribute.markResolved();
  attribute.invalidateIfResolved();
  EXPECT_TRUE(resolver.isNodeDirty());
  EXPECT_TRUE(attribute.isNodeDirty());
}

TEST(Dependency, SharedPrerequisiteRunsInTheFirstResolutionOnly) {
  Log log;
  Node first("first", log), second("second", log), shared("shared", log);
  link(first, shared);
  link(second, shared);
  first.resolve();
  second.resolve();
  EXPECT_EQ(log, (Log{"shared", "first", "second"}));
}

TEST(Dependency, ThrowingHookStaysDirtyAndIsRetried) {
  Log log;
  Node root("root", log), before("before", log), failing("failing", log), after("after", log);
  Node partner("partner", log);
  link(root, before);
  link(root, failing);
  link(root, after);
  failing.addCoResolved(&partner);
  failing.failures = 1;

  EXPECT_THROW(root.resolve(), std::runtime_error);
  EXPECT_EQ(log, (Log{"before", "failing"}));
  EXPECT_FALSE(before.isNodeDirty());
  EXPECT_TRUE(failing.isNodeDirty());
  EXPECT_TRUE(partner.isNodeDirty());
  EXPECT_TRUE(after.isNodeDirty());
  EXPECT_TRUE(root.isNodeDirty());

  log.clear();
  root.resolve();
  EXPECT_EQ(log, (Log{"failing", "after", "root"}));
  EXPECT_FALSE(partner.isNodeDirty());
}

TEST(Dependency, CoResolvedNodesAreOnlyMarked) {
  Log log;
  Node owner("owner", log), member("member", log), upstream("upstream", log);
  owner.addCoResolved(&member);
  link(member, upstream);
  owner.resolve();
  EXPECT_EQ(log, (Log{"owner"}));
  EXPECT_FALSE(member.isNodeDirty());
  EXPECT_TRUE(upstream.isNodeDirty());
}

TEST(Dependency, GraphTextIsWrittenOncePerTraversal) {
  Log log;
  Node root("compile root", log), a("A", log), b("B", log);
  link(root, a);
  a.addCoResolved(&b);
  link(b, a);
  std::string text;
  root.writeGraph("I am Root...", text);
  EXPECT_EQ(text,
            "\"I am Root...\"->\"compile root\";\n"
            "\"compile root\"->\"A\";\n"
            "\"A\"->\"B\";\n"
            "\"B\"->\"A\";\n");
  std::string second;
  root.writeGraph("I am Root...", second);
  EXPECT_EQ(second, "\"I am Root...\"->\"compile root\";\n");
}

TEST(Dependency, EmptyParentWritesNoLineForTheStartNode) {
  Log log;
  Node start("start", log), child("child", log);
  link(start, child);
  std::string text;
  start.writeGraph("", text);
  EXPECT_EQ(text, "\"start\"->\"child\";\n");
}

TEST(Dependency, CycleTestFollowsPrerequisites) {
  Log log;
  Node alone("alone", log);
  EXPECT_FALSE(alone.hasCycle());

  Node top("top", log), left("left", log), right("right", log), bottom("bottom", log);
  link(top, left);
  link(top, right);
  link(left, bottom);
  link(right, bottom);
  EXPECT_FALSE(top.hasCycle());

  Node self("self", log);
  link(self, self);
  EXPECT_TRUE(self.hasCycle());

  Node a("a", log), b("b", log);
  link(a, b);
  link(b, a);
  EXPECT_TRUE(a.hasCycle());
  // Dependents are not followed.
  alone.addDependent(&alone);
  EXPECT_FALSE(alone.hasCycle());
}

}  // namespace
