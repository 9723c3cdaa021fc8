#pragma once
// Keeps the channel text of a public request, as the host wrote it, on the attribute's node.

#include <cstdint>
#include <string>

#include "attributes/AttributeRegistry.h"

namespace qvvandrel {

// When the host's text differs from the registry context it resolved to, stores the text as
// the label of the attribute (identifier, context) when that attribute is a dependency node.
// An attribute that is missing or no node is left alone.
void setNodeLabelIfChanged(const atat::AttributeRegistry& registry, uint32_t id,
                           const std::string& channelText, const std::string& context);

}  // namespace qvvandrel
