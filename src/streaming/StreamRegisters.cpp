#include "streaming/StreamRegisters.h"

#include <cstdio>

namespace qvstream_lib {
namespace {

// The name of register `format` for stream `number`, at most 62 characters.
struct RegisterName {
  RegisterName(const char* format, std::int32_t number) {
    std::snprintf(text, sizeof text, format, number);
  }
  char text[63];
};

}  // namespace

StreamRegisterSet::StreamRegisterSet(Transport* transport_, std::int32_t number,
                                     nQVVUSKS100::tStatus* status)
    : transport(transport_),
      requestState(transport_, RegisterName("stream.request state %d", number).text, status),
      numSamples(transport_, RegisterName("stream.num samples %d", number).text, status),
      state(transport_, RegisterName("stream.state %d", number).text, status),
      samplesTransferred(transport_, RegisterName("stream.samples transferred %d", number).text,
                         status),
      metadata(transport_, RegisterName("stream.metadata %d", number).text, status) {}

}  // namespace qvstream_lib
