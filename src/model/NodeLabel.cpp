#include "model/NodeLabel.h"

#include "foundation/errors/Exception.h"
#include "model/Dependency.h"

namespace qvvandrel {

void setNodeLabelIfChanged(const atat::AttributeRegistry& registry, uint32_t id,
                           const std::string& channelText, const std::string& context) {
  if (channelText == context) return;
  try {
    if (auto* node = dynamic_cast<Dependency*>(registry.getAttribute(id, context.c_str())))
      node->setLabel(channelText);
  } catch (const qverr::Exception&) {
    // A label is a courtesy; a missing attribute is the request's own concern.
  }
}

}  // namespace qvvandrel
