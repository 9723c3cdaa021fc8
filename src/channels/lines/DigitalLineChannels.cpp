#include "channels/lines/DigitalLineChannels.h"

namespace qvvandrel::config {

namespace di {

Channels::Channels(const ClipCapabilities& capabilities, ClipConfiguration& clip)
    : DigitalLineChannels(this, clip, 0x1000002A, capabilities.cap1000, capabilities.cap1007,
                          kDigitalInputs, &sendLineEqualization) {}

}  // namespace di

namespace dout {

Channels::Channels(const ClipCapabilities& capabilities, ClipConfiguration& clip)
    : DigitalLineChannels(this, clip, 0x1000002B, capabilities.cap1001, capabilities.cap1008,
                          kDigitalOutputs, &sendLinePreEmphasis) {}

}  // namespace dout

}  // namespace qvvandrel::config
