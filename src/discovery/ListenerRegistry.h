#pragma once
// Change listeners of the alias machinery, each with a count of its registrations.

#include <cstdint>
#include <list>

#include "foundation/platform/synchronization.h"
#include "qvkel/IChangeNotificationHandler.h"

namespace qvkel {

class ListenerRegistry {
 public:
  // -52003 when the mutex cannot be made.
  ListenerRegistry();
  ListenerRegistry(const ListenerRegistry&) = delete;
  ListenerRegistry& operator=(const ListenerRegistry&) = delete;

  // A listener already present has its count raised; otherwise it is appended.
  void addListener(IChangeNotificationHandler* listener);
  // Lowers the count; at 0 the listener is dropped. An unknown listener is ignored.
  void removeListener(IChangeNotificationHandler* listener);
  // Calls every listener in registration order, with the registry locked (a listener may add or
  // remove listeners; one removed during the walk is not called after its removal). A listener
  // that throws is reported and the walk goes on.
  void notifyListeners();

 private:
  struct Node {
    IChangeNotificationHandler* listener;
    std::uint32_t count;
  };
  // Drops nodes whose count fell to 0, once no walk is running.
  void sweep();

  nQVVANDRELBRENMOORU_22_8::nQVVUSK000::tMutex mutex_;
  std::list<Node> nodes_;
  int walks_ = 0;
};

}  // namespace qvkel
