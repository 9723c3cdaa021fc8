#include "streaming/StreamRegisters.h"

#include <cstdio>

namespace qvstream_lib {
StreamRegisterName::StreamRegisterName(const char* format, std::int32_t number) {
  std::snprintf(text, sizeof text, format, number);
}

StreamRegisterSet::StreamRegisterSet(Transport* transport_, std::int32_t number,
                                     nQVVUSKS100::tStatus* status)
    : transport(transport_),
      requestState(transport_, StreamRegisterName("stream.request state %d", number).text, status),
      numSamples(transport_, StreamRegisterName("stream.num samples %d", number).text, status),
      state(transport_, StreamRegisterName("stream.state %d", number).text, status),
      samplesTransferred(transport_,
                         StreamRegisterName("stream.samples transferred %d", number).text, status),
      metadata(transport_, StreamRegisterName("stream.metadata %d", number).text, status) {}

}  // namespace qvstream_lib
