#pragma once
// The memcpy baseline of a FIFO read: each copy takes the next `bytes` of each ring, as the
// reads walk their rings, so that the source's working set is as large as the rings the reads
// walk and does not stay in cache when the rings do not.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace qvbench {

class RingCopy {
 public:
  // `rings` rings of `ringBytes` each (a multiple of `bytes`); a copy moves `bytes` of each.
  RingCopy(std::size_t rings, std::size_t ringBytes, std::size_t bytes)
      : ringBytes_(ringBytes),
        bytes_(bytes),
        source_(rings, std::vector<std::uint8_t>(ringBytes, 0x5A)),
        destination_(rings * bytes) {}

  void copy() {
    for (std::size_t ring = 0; ring < source_.size(); ++ring)
      std::memcpy(destination_.data() + ring * bytes_, source_[ring].data() + position_, bytes_);
    position_ = (position_ + bytes_) % ringBytes_;
  }
  std::size_t bytesPerCopy() const { return destination_.size(); }
  // Source and destination together.
  std::size_t workingSet() const { return source_.size() * ringBytes_ + destination_.size(); }

 private:
  std::size_t ringBytes_;
  std::size_t bytes_;
  std::vector<std::vector<std::uint8_t>> source_;
  std::vector<std::uint8_t> destination_;
  std::size_t position_ = 0;
};

}  // namespace qvbench
