#pragma once
// What the stream requests need of their session, and configuring one stream (the host's
// configure request): commit the session's settings, then program the stream's registers and
// arm it, under the session mutex.

#include <cstdint>

namespace qvkel::user {
class Session;
}

namespace qvvandrel {

class StreamingAPI;

// The narrow view of the device generation's session that the stream requests run on; the
// session implements it by forwarding to its own members.
class StreamingSession {
 public:
  // The session mutex, which guards attribute requests and commit.
  virtual void lock() = 0;
  virtual void unlock() = 0;
  // The session's commit with the mutex already held: clear the pending-commit flag, resolve
  // the compile root, check for a module change, resolve the clip deploy root and the deploy
  // root, mark the redeploy root resolved.
  virtual void commitHeld() = 0;
  virtual StreamingAPI& streaming() = 0;
  // Whether the session was opened with open-attribute bit 24 (0x01000000): stream reads and
  // writes are refused.
  virtual bool openedWithBit24() = 0;
  // The user session whose DMA FIFO primitives move the streams' data.
  virtual qvkel::user::Session& fifoSession() = 0;

  // The session's commit: takes and releases the mutex around commitHeld.
  void commit();

 protected:
  ~StreamingSession() = default;
};

// Commits, programs stream `n` from its "Stream Finite" and "Stream Number Of Samples" (a
// status the registers record is raised) and zeroes its sample counters. The mutex is released
// on every path; a failure leaves the counters as they were.
void configureStream(StreamingSession& session, std::uint32_t n);

}  // namespace qvvandrel
