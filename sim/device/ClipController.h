#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <typeindex>
#include <vector>

#include "sim/device/ClipCapabilityProfiles.h"
#include "sim/device/Interface.h"

namespace sim {

// One instruction as the controller received it through the instruction-FIFO command. The
// words are decoded from the instruction layout: word 0's low half is the header
// (announced count << 20 | opcode; the opcode of an interface above 0xFF reaches into bits 16
// to 19), argument i is 32-bit slot i + 1 (word (i + 1) / 2, low half for even slots), and the
// instruction takes (stored + 2) / 2 words, where stored is the announced count capped at 31.
// Any words after those are payload and trailer.
struct ClipInstruction {
  uint32_t fifo = 0;
  uint32_t flags = 0;  // call 2 / post 1, plus the option bits 4 and 8
  uint32_t header = 0;
  uint32_t opcode = 0;          // (interface << 8) | method, at most 20 bits
  uint32_t announced = 0;       // argument count the header claims
  std::vector<uint32_t> args;   // the stored arguments, in order
  std::vector<uint64_t> extra;  // payload words, then a trailer when the sender added one
  std::vector<uint64_t> words;  // everything sent
  // What the controller answered.
  uint32_t reply = 0;
  int32_t status = 0;

  uint16_t interfaceNumber() const { return static_cast<uint16_t>(opcode >> 8); }
  bool isCall() const { return (flags & 3) == 2; }
  bool isPost() const { return (flags & 3) == 1; }
  // Argument i; std::out_of_range when the sender did not store it (the controller then
  // answers kMalformed).
  uint32_t arg(size_t i) const { return args.at(i); }
  // 32-bit slot k of the instruction words (0 is the header), also past the announced count.
  uint32_t slot(size_t k) const;
};

struct ClipAnswer {
  uint32_t reply = 0;
  int32_t status = 0;  // driver status of the instruction-FIFO command
};

class ClipController;
// Serves one method of the controller.
using ClipMethod = ClipAnswer (*)(ClipController& controller, const ClipInstruction& instruction);
struct ClipOpcode {
  uint32_t opcode;
  ClipMethod method;
};
// The controller's methods, one entry per opcode (ClipOpcodes.cpp). A later interface adds its
// opcodes there, each with a method that reads its arguments and the controller's state.
std::span<const ClipOpcode> clipOpcodes();

// The controller inside the CLIP, behind the device interface's instruction-FIFO command
// (0x0020030D: {u32 FIFO, u32 flags, u64 word address, u32 word count, i32 status} ->
// {u32 reply, i32 status}). It keeps a table of interfaces (handle, version window) for the
// management methods of interface 0, the capability words of interface 12, reply values of
// simple methods, scripted answers, and a log of every instruction.
class ClipController {
 public:
  static constexpr uint32_t kCommand = 0x0020030D;
  static constexpr uint32_t kNoInterface = 0xFFFFFFFF;
  // Driver statuses the controller answers with.
  static constexpr int32_t kUnknownMethod = -52002;  // no such opcode, or its interface absent
  static constexpr int32_t kMalformed = -52005;      // bad flags, short instruction, bad handle
  // Largest instruction the command accepts, in 64-bit words.
  static constexpr uint32_t kMaxWords = 0x10000;

  struct InterfaceInfo {
    bool supported = true;  // the answer of method 9
    uint32_t handle = kNoInterface;
    uint32_t version = 1;
    uint32_t oldest = 0;
  };

  // Registers the command on the device interface; every interface the system uses is present
  // (version 1, oldest compatible 0, handle 0x4000 | number) and interface 12 reports the
  // given profile.
  explicit ClipController(Interface& device, CapabilityProfile profile = CapabilityProfile::Full);
  ~ClipController();
  ClipController(const ClipController&) = delete;
  ClipController& operator=(const ClipController&) = delete;

  void setInterface(uint16_t number, InterfaceInfo info);
  // Version window of a present interface.
  void setVersions(uint16_t number, uint32_t version, uint32_t oldest);
  void removeInterface(uint16_t number);
  std::optional<InterfaceInfo> interfaceInfo(uint16_t number) const;
  std::optional<InterfaceInfo> interfaceByHandle(uint32_t handle) const;

  // Interface 12: the word count (0xC00) is the list's length, word i (0xC01) its entry i, 0
  // past the end.
  void setCapabilities(std::vector<uint32_t> words);
  std::vector<uint32_t> capabilities() const;

  // The reply of a simple method (0 until set): 1 (controller version), 0x101, 0x309, ...
  void setValue(uint32_t opcode, uint32_t value);
  uint32_t value(uint32_t opcode) const;

  // An answer served instead of the method, in the order given; a persistent one (once false)
  // stays. Makes any opcode fail ({0, status}) or answer a chosen reply.
  void script(uint32_t opcode, ClipAnswer answer, bool once = true);
  void clearScripts();

  std::vector<ClipInstruction> log() const;
  std::vector<ClipInstruction> log(uint32_t opcode) const;
  void clearLog();
  // Logging is on by default; a long run turns it off so the log does not grow.
  void setLogging(bool enabled);

  // State of an interface's methods that lasts between instructions: one object per type,
  // made on first use.
  template <typename T>
  T& state() {
    std::lock_guard lock(mutex_);
    auto& slot = states_[std::type_index(typeid(T))];
    if (!slot) slot = std::shared_ptr<void>(new T(), [](void* p) { delete static_cast<T*>(p); });
    return *static_cast<T*>(slot.get());
  }

 private:
  int serve(Call& call);
  ClipAnswer execute(ClipInstruction& instruction);

  Interface& device_;
  mutable std::recursive_mutex mutex_;
  std::map<uint32_t, ClipMethod> methods_;
  std::map<uint16_t, InterfaceInfo> interfaces_;
  std::vector<uint32_t> capabilities_;
  std::map<uint32_t, uint32_t> values_;
  std::map<uint32_t, std::deque<std::pair<ClipAnswer, bool>>> scripts_;
  std::vector<ClipInstruction> log_;
  bool logging_ = true;
  std::map<std::type_index, std::shared_ptr<void>> states_;
};

}  // namespace sim
