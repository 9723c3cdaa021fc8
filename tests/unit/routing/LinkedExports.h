#pragma once
// The adaptor's exports as linked into the test program.

#include "routing/RoutingEngine.h"

namespace routingtest {

inline Exports linkedExports() {
  Exports e;
#define QV_EXPORT_LINKED(name) e.name = &qvroco_ra_qvvandrelbrenmooru_##name;
  QV_ROUTING_EXPORTS(QV_EXPORT_LINKED)
#undef QV_EXPORT_LINKED
  return e;
}

}  // namespace routingtest
