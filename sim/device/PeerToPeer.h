#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>

#include "sim/device/Interface.h"

namespace sim {

// The module's peer-to-peer side on its device interface: the FIFO value query 0x8020833C
// (input {u32 DMA channel, i32 status}, output {u32 value, i32 status}) answers the value a test
// set for the channel (0 until set), and the sink window of a channel is the device node's
// region 0x4000 | channel, which a test adds with the write window's size and then reads.
class PeerToPeer {
 public:
  static constexpr uint32_t kSinkRegionBit = 0x4000;

  // Serves the query on `iface`, which must outlive this object's use by the product.
  explicit PeerToPeer(Interface& iface);
  PeerToPeer(const PeerToPeer&) = delete;
  PeerToPeer& operator=(const PeerToPeer&) = delete;

  void setValue(uint32_t channel, uint32_t value);
  // The channel's sink window, mappable at region 0x4000 | channel.
  Region& addSinkWindow(uint32_t channel, size_t bytes);

 private:
  struct State {
    std::mutex mutex;
    std::map<uint32_t, uint32_t> values;
  };
  Interface& iface_;
  std::shared_ptr<State> state_ = std::make_shared<State>();
};

}  // namespace sim
