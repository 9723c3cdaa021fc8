#pragma once
// A routing-adaptor session: the kernel routing interface of one device, its route table, its
// alias terminals and the thread that passes route-demotion notices to the engine.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "foundation/driver/tInterfaceProxy_routing.h"
#include "foundation/errors/Status.h"
#include "foundation/notify/tDemotionNotification.h"
#include "foundation/notify/tThreadedIONotificationReader.h"
#include "foundation/platform/synchronization.h"
#include "routing/RoCoUtils.h"
#include "routing/TopographyInfo.h"

namespace qvvandrelbrenmoorra {

// The engine's demotion function: (context, 101, an empty status); its result is not read.
using DemotionFunction = int32_t (*)(void* context, uint32_t reason, qverr::Status* status);

// What the engine is told when one of the session's routes was demoted.
inline constexpr uint32_t kRouteDemoted = 101;
// The id the session's demotion notification is armed with.
inline constexpr uint32_t kDemotionNotificationId = 0x80000000;

// A terminal that the device's bitfile names by another name: a copy of the aliased terminal
// under the alias, which owns its name.
struct AliasTerminal {
  std::unique_ptr<char[]> name;
  TerminalInfo info;
};

// The demotion notification with the engine's function and context beside it.
class ZUZDemotionNotification : public nQVVANDRELBRENMOORU_22_8::tDemotionNotification {
 public:
  ZUZDemotionNotification(DemotionFunction function, void* context)
      : function_(function), context_(context) {}
  DemotionFunction function() const { return function_; }
  void* context() const { return context_; }

 private:
  DemotionFunction function_;
  void* context_;
};

// Receives what the reader loop reads.
class iNotificationHandler {
 public:
  virtual ~iNotificationHandler() = default;
  virtual void onNotification(uint32_t kind, uint64_t cookie, const uint8_t* payload,
                              uint32_t payloadLength, const nQVVUSKS100::tStatus& status) = 0;
};

// The body of a session's reader thread: reads until the reader is cancelled, passing every
// notice to the handler. A failed read does not end the loop; the loop waits before the next
// read, longer after each failure in a row, and stop() ends such a wait at once.
class NotificationLoop : public nQVVANDRELBRENMOORU_22_8::nQVVUSK000::iThread {
 public:
  static constexpr uint32_t kFirstBackOffMs = 1;
  static constexpr uint32_t kMaxBackOffMs = 100;

  // Raises -52008 when the stop event cannot be made.
  NotificationLoop(nQVVANDRELBRENMOORU_22_8::nQVVUSK000::tIONotificationReader& reader,
                   iNotificationHandler& handler);
  int32_t run() override;
  // Ends a back-off wait and every later one; the reader's cancel ends a read.
  void stop();

 private:
  nQVVANDRELBRENMOORU_22_8::nQVVUSK000::tIONotificationReader& reader_;
  iNotificationHandler& handler_;
  nQVVANDRELBRENMOORU_22_8::nQVVUSK000::tEvent stopped_;
};

class ZUZSession : public nQVVANDRELBRENMOORU_22_8::tInterfaceProxy_routing,
                   private iNotificationHandler {
 public:
  // Interface paths hold at most this many characters.
  static constexpr size_t kMaxInterfacePath = 255;

  // Opens the routing interface at `interfacePath`, finds the device's route table, arms the
  // demotion notice and reads the alias terminals; raises qverr::Exception on any failure,
  // leaving nothing open and no thread running.
  ZUZSession(qvroco::Allocator allocator, const char* interfacePath, DemotionFunction function,
             void* context);
  // The teardown: disarm, close, stop and join the reader thread. Never fails.
  ~ZUZSession() override;

  qvroco::Allocator allocator() const { return allocator_; }
  const TopographyInfo& topography() const { return *topography_; }
  const std::vector<AliasTerminal>& aliasTerminals() const { return aliasTerminals_; }

  // Table terminals, then alias terminals.
  uint64_t terminalCount() const { return topography_->terminalCount + aliasTerminals_.size(); }
  // Null past the end.
  const TerminalInfo* terminalAt(uint64_t index) const;
  // The "name" of the first terminal with that id, "" when there is none.
  const char* terminalNameById(uint32_t id) const;
  // The "id" of the first terminal whose name equals `name` without regard to case, else 0.
  uint32_t terminalIdByName(std::string_view name) const;
  // What the kernel is told identifies this session.
  uint64_t identity() const { return reinterpret_cast<uint64_t>(this); }

  // Appends an alias terminal when `terminal` names a table terminal (exact comparison).
  void addAliasTerminal(const char* terminal, const char* alias);

  const ZUZDemotionNotification& demotion() const { return demotion_; }

 private:
  void onNotification(uint32_t kind, uint64_t cookie, const uint8_t* payload,
                      uint32_t payloadLength, const nQVVUSKS100::tStatus& status) override;
  void readAliasTerminals();
  void stopReader();

  qvroco::Allocator allocator_;
  const TopographyInfo* topography_ = nullptr;
  std::vector<AliasTerminal> aliasTerminals_;
  char interfacePath_[kMaxInterfacePath + 1] = {};
  ZUZDemotionNotification demotion_;
  std::unique_ptr<NotificationLoop> loop_;
  // Declared last: destroyed first, so its thread is joined before anything it uses goes.
  std::unique_ptr<nQVVANDRELBRENMOORU_22_8::nQVVUSK000::tThreadedIONotificationReader> reader_;
};

}  // namespace qvvandrelbrenmoorra
