#include "streaming/StreamSettings.h"

#include <cstring>

namespace qvvandrel {
namespace {

bool sameDoubles(const std::vector<double>& a, const std::vector<double>& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (!(a[i] == b[i])) return false;
  }
  return true;
}

bool sameBits(double a, double b) {
  return std::memcmp(&a, &b, sizeof a) == 0;
}

}  // namespace

bool sameSettings(const StreamSettings& a, const StreamSettings& b) {
  return a.fifoDepth == b.fifoDepth && sameDoubles(a.read.gains, b.read.gains) &&
         sameDoubles(a.read.offsets, b.read.offsets) && a.read.fifos == b.read.fifos &&
         a.write.fifos == b.write.fifos && a.read.samplePeriod == b.read.samplePeriod &&
         sameBits(a.read.dataDelay, b.read.dataDelay) && a.read.interleaved == b.read.interleaved &&
         a.write.sampleCompletion == b.write.sampleCompletion && a.channelMask == b.channelMask &&
         a.linkedStart == b.linkedStart;
}

}  // namespace qvvandrel
