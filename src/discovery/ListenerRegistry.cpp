#include "discovery/ListenerRegistry.h"

#include <exception>

#include "foundation/errors/Debug.h"
#include "foundation/errors/Exception.h"

namespace qvkel {

namespace {

using nQVVANDRELBRENMOORU_22_8::nQVVUSK000::tMutexLock;

constexpr std::int32_t kReportLevel = 16384;
const qvsdbg_VarLine kListenerFailedLine("ListenerRegistry", 61);

}  // namespace

ListenerRegistry::ListenerRegistry() {
  qverr::ThrowingStatusRecord status;
  mutex_.create(&status);
}

void ListenerRegistry::addListener(IChangeNotificationHandler* listener) {
  tMutexLock lock(mutex_);
  for (Node& node : nodes_) {
    if (node.listener == listener && node.count > 0) {
      ++node.count;
      return;
    }
  }
  nodes_.push_back({listener, 1});
}

void ListenerRegistry::removeListener(IChangeNotificationHandler* listener) {
  tMutexLock lock(mutex_);
  for (Node& node : nodes_) {
    if (node.listener == listener && node.count > 0) {
      --node.count;
      break;
    }
  }
  sweep();
}

void ListenerRegistry::notifyListeners() {
  tMutexLock lock(mutex_);
  ++walks_;
  // Nodes stay in place during the walk (removal only lowers their count), so the iterator
  // stays valid whatever a listener does; nodes appended meanwhile are reached too.
  for (Node& node : nodes_) {
    if (node.count == 0) continue;
    try {
      node.listener->onChange();
    } catch (const std::exception& error) {
      qvsdbg_printf(kReportLevel, kListenerFailedLine, "Alias change listener failed: %s",
                    error.what());
    } catch (...) {
      qvsdbg_printf(kReportLevel, kListenerFailedLine, "Alias change listener failed: %s",
                    "unknown exception");
    }
  }
  --walks_;
  sweep();
}

void ListenerRegistry::sweep() {
  if (walks_ == 0) nodes_.remove_if([](const Node& node) { return node.count == 0; });
}

}  // namespace qvkel
