#pragma once
// A host's (or the library's own) change listener: told that something changed (the modules
// present, an alias), not what; each listener reads again what it needs. Called on the thread
// that noticed the change. The library calls it by slot: onChange, then the destructors.

namespace qvkel {

class IChangeNotificationHandler {
 public:
  virtual void onChange() = 0;
  virtual ~IChangeNotificationHandler() = default;
};

}  // namespace qvkel
