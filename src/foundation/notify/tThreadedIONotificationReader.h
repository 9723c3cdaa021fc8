#pragma once
// A notification reader that owns the thread reading from it.

#include <cstdint>

#include "foundation/errors/Status.h"
#include "foundation/notify/tIONotificationReader.h"
#include "foundation/notify/tThreadController.h"

namespace nQVVANDRELBRENMOORU_22_8::nQVVUSK000 {

class tThreadedIONotificationReader : public tIONotificationReader {
 public:
  tThreadedIONotificationReader(uint64_t depth, nQVVUSKS100::tStatus* status);
  // Cancels a read in progress, joins the thread, then closes the reader.
  ~tThreadedIONotificationReader() override;

  // Starts the thread that reads (the object typically calls read in a loop until kind 2).
  void start(iThread* object, int32_t priority, const char* name, nQVVUSKS100::tStatus* status);
  bool isRunning() const { return thread_.isRunning(); }

 private:
  tThreadController thread_;
};

}  // namespace nQVVANDRELBRENMOORU_22_8::nQVVUSK000
