#include "foundation/notify/tThreadedIONotificationReader.h"

namespace nQVVANDRELBRENMOORU_22_8::nQVVUSK000 {

tThreadedIONotificationReader::tThreadedIONotificationReader(uint64_t depth,
                                                             nQVVUSKS100::tStatus* status)
    : tIONotificationReader(depth, status) {}

tThreadedIONotificationReader::~tThreadedIONotificationReader() {
  // Destructors do not throw: anything raised here ends the process.
  nQVVUSKS100::tStatus status;
  cancel(&status);
  thread_.join();
}

void tThreadedIONotificationReader::start(iThread* object, int32_t priority, const char* name,
                                          nQVVUSKS100::tStatus* status) {
  thread_.start(object, priority, name, status);
}

}  // namespace nQVVANDRELBRENMOORU_22_8::nQVVUSK000
