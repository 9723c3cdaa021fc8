#pragma once
// The bitfile's terminal aliases as the features walk them by index. The session's map of
// terminal aliases (in the routing subsystem, above this one) implements the walk.

#include <functional>
#include <string>

namespace qvvandrel {

class IndexedAliasWalk {
 public:
  using Callback = std::function<void(const char* alias, unsigned index)>;

  virtual ~IndexedAliasWalk() = default;

  // For index 0 .. count - 1, rising: calls `f` with `base` followed by the decimal index when
  // the map holds that alias, and at index 0 also with `base` itself when the map holds it. A
  // map holding both `base` and `base` followed by "0" raises (after the call for the latter).
  virtual void forEachIndexedAlias(const std::string& base, Callback f, unsigned count) const = 0;
};

}  // namespace qvvandrel
