#include "foundation/platform/pause.h"

#include <cerrno>
#include <ctime>

namespace nQVVANDRELBRENMOORU_22_8::nQVVUSK000 {

void pauseMilliseconds(uint32_t milliseconds) {
  timespec request{static_cast<time_t>(milliseconds / 1000),
                   static_cast<long>(milliseconds % 1000) * 1'000'000L};
  timespec remaining{};
  while (nanosleep(&request, &remaining) == -1 && errno == EINTR) request = remaining;
}

}  // namespace nQVVANDRELBRENMOORU_22_8::nQVVUSK000
