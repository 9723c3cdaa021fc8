#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>

#include "sim/device/Interface.h"

namespace sim {

// The generation's 64-bit query (method 0x040B, command 0x8020040B): input {u32 argument,
// i32 status}, output {u64 value, i32 status, pad}. Each argument answers the value a test set
// for it, 0 by default; a test can also make one argument answer a driver status.
class GenerationQueries {
 public:
  static constexpr uint32_t kCommand = 0x8020040B;

  // Serves the query on `iface`, which must outlive this object.
  explicit GenerationQueries(Interface& iface);
  GenerationQueries(const GenerationQueries&) = delete;
  GenerationQueries& operator=(const GenerationQueries&) = delete;

  void setValue(uint32_t argument, uint64_t value);
  // A non-zero status is answered (with value 0) instead of the value.
  void setStatus(uint32_t argument, int32_t status);
  // Back to value 0 and status 0.
  void clear(uint32_t argument);

 private:
  struct Answer {
    uint64_t value = 0;
    int32_t status = 0;
  };
  // Shared with the handler, which may run until the interface is detached.
  struct Answers {
    std::mutex mutex;
    std::map<uint32_t, Answer> byArgument;
  };
  std::shared_ptr<Answers> answers_ = std::make_shared<Answers>();
};

}  // namespace sim
