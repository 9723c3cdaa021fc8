#pragma once
// Whether a present module answers to the alias stored for it: a device generation's driver may
// say that a module has none. What the file holds for the module is kept either way.

#include "discovery/DeviceInfo.h"

namespace qvkel {

class IAliasVisibility {
 public:
  virtual ~IAliasVisibility() = default;
  // False when the module's driver says the module has no alias, or cannot say. A module that
  // cannot be reached is raised as qverr::Exception.
  virtual bool showsAlias(const DeviceInfo& device) = 0;
};

}  // namespace qvkel
