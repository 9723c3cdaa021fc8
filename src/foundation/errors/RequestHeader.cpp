#include "foundation/errors/RequestHeader.h"

namespace qvkel {

void initRequestHeader(RequestHeader* header, uint32_t group) {
  if (header == nullptr) return;
  header->group = group;
  header->reserved = 0;
  header->version = 0;
  header->oldestCompatibleVersion = 0;
}

bool isVersionCompatible(const RequestHeader& header, uint32_t current, uint32_t required) {
  return header.oldestCompatibleVersion <= current && header.version >= required;
}

}  // namespace qvkel
