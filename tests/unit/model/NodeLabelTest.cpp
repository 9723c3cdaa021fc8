#include <gtest/gtest.h>

#include "attributes/AttributeRegistry.h"
#include "model/DependencyAttribute.h"
#include "model/NodeLabel.h"

namespace {

TEST(NodeLabel, KeepsTheHostsChannelTextOnADependencyNodeOnly) {
  atat::AttributeRegistry registry(-304404, -304403, -304500);
  const int initial = 0;
  qvvandrel::DependencyAttribute<int> node(0x1000000E, "AI3", &initial);
  atat::Attribute<int> plain(0x1000001C, "AI3", false, &initial, nullptr, nullptr, nullptr);
  registry.addAttribute(&node);
  registry.addAttribute(&plain);

  qvvandrel::setNodeLabelIfChanged(registry, 0x1000000E, "AI3", "AI3");
  EXPECT_EQ(node.label(), "");
  qvvandrel::setNodeLabelIfChanged(registry, 0x1000000E, "Conn0/AI3", "AI3");
  EXPECT_EQ(node.label(), "Conn0/AI3");
  // Neither a plain attribute nor a missing one raises.
  qvvandrel::setNodeLabelIfChanged(registry, 0x1000001C, "Conn0/AI3", "AI3");
  qvvandrel::setNodeLabelIfChanged(registry, 0x1000001C, "Conn0/AI9", "AI9");
}

}  // namespace
