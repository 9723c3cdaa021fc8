#pragma once
// Channel names of public requests: a connector-relative name ("Conn1/AI3", the fourth analog
// input of connector 1) becomes the device-wide name under which the attribute is registered,
// with the connector's first channel and channel count asked of the CLIP each time.

#include <string>

#include "model/ClipConfiguration.h"

namespace qvvandrel::APIDelegates {

// A text that does not begin with "Conn" (case matters) is the context as it is; "Conn"
// without a connector number gives the text after "Conn". Raises -52005 for a family that is
// missing or unknown, -304421 (with the text in the detail) for an index not below the
// connector's count or a query the CLIP refuses, the interface checks' -304306 and -304307,
// and std::invalid_argument / std::out_of_range ("stoi") for missing or oversized trailing
// digits.
std::string resolveChannelName(ClipConfiguration& clip, const char* channel);

}  // namespace qvvandrel::APIDelegates
