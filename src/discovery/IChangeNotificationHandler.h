#pragma once

namespace qvkel {

// Told that something changed (the device table, an alias), not what: each listener reads again
// what it needs. Called on the thread that noticed the change.
class IChangeNotificationHandler {
 public:
  virtual void onChange() = 0;
  virtual ~IChangeNotificationHandler() = default;
};

}  // namespace qvkel
