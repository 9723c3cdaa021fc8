#pragma once
// The host's stream requests (request group 257): start, stop, wait, raw read, scaled read,
// configure and write, on the streams of the session's design. The device generation's session
// hands every record of the group here unchanged, with the reply buffer.

#include <cstdint>

#include "devkit/DmaChannels.h"
#include "streaming/StreamConfiguration.h"
#include "streaming/StreamRequestRecords.h"
#include "streaming/StreamSettings.h"

namespace qvvandrelbrenmooru {

// Checks the record and serves it; every refusal and failure is raised. Before the code does
// anything: a record shorter than its header -52005; reads and writes on a session opened with
// open-attribute bit 24 -63193; an unknown stream -304405; a code outside 271..279, or 273 or
// 274, -52005; a record shorter than the fields its code reads, or a missing or shorter reply
// than its code writes, -52005. Then the code's version check (-304502). Raw reads, scaled
// reads and writes hold the session mutex while they move data; a write commits first.
void dispatchStreamRequest(qvvandrel::StreamingSession& session, const void* record,
                           std::uint64_t recordSize, void* reply, std::uint64_t replySize);

// The typed FIFO read of a raw read into the host's buffer (-304503 for an element type other
// than I8..U32), with its reply.
void readStreamRaw(qvvandrel::StreamingSession& session, const qvkel::NamedFifo& fifo,
                   const StreamRawReadRequest& request, void* reply);
// The typed FIFO write of a write request from the host's buffer into the write side's first
// FIFO (-304503 as above), waiting through the write side's sample completion when it has one,
// with its reply.
void writeStreamRaw(qvvandrel::StreamingSession& session, const qvvandrel::WriteSettings& write,
                    const StreamWriteRequest& request, const void* record, void* reply);

}  // namespace qvvandrelbrenmooru
