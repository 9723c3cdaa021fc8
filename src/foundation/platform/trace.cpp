#include "foundation/platform/trace.h"

#include <climits>
#include <cstring>

#include "foundation/errors/Debug.h"
#include "foundation/platform/formatUnsigned.h"

namespace nQVVANDRELBRENMOORU_22_8::nQVVUSK000 {
namespace {

// The destination is made first so that the trace can bind to it, and goes last.
tConsoleTraceDestination gConsoleTraceDestination;
tTrace gTrace(&gConsoleTraceDestination);

}  // namespace

void tConsoleTraceDestination::write(const char* text) {
  qvsdbg_printfv("%s", text);
}

void tConsoleTraceDestination::writeCount(const char* text, uint32_t count) {
  // "%.<count>s": printf's precision is an int.
  char format[24] = "%.";
  const uint64_t precision = count > INT_MAX ? INT_MAX : count;
  char* end = formatUnsigned(format + 2, precision, 10);
  end[0] = 's';
  end[1] = '\0';
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
  qvsdbg_printfv(format, text);
#pragma GCC diagnostic pop
}

void tConsoleTraceDestination::getOptionText(char* buffer, size_t size, size_t* requiredSize) {
  const size_t length = std::strlen(kOptionText);
  if (buffer != nullptr && size != 0) {
    const size_t copied = length < size ? length : size - 1;
    std::memcpy(buffer, kOptionText, copied);
    buffer[copied] = '\0';
  }
  if (requiredSize != nullptr) *requiredSize = length + 1;
}

tTrace::tTrace(iTraceDestination* destination) : destination_(destination) {}

tTrace::~tTrace() {
  switches_[0] = 0;
  if (mutexActive_ && mutex_.isInitialized()) {
    mutex_.destroy();
    mutexActive_ = false;
  }
}

tTrace& getTrace() {
  return gTrace;
}

tConsoleTraceDestination& getConsoleTraceDestination() {
  return gConsoleTraceDestination;
}

}  // namespace nQVVANDRELBRENMOORU_22_8::nQVVUSK000
