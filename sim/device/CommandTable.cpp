#include "sim/device/CommandTable.h"

#include <array>

namespace sim {

namespace {

constexpr uint32_t N = kDirNone, W = kDirWrite, R = kDirRead;

// {direction, type, number, input length, output length, status offset}. Most output records
// end with the status; a 16-byte record holding one u64 value has it at 8; command 0x832B
// carries a u64 and a u8 before it, at 12; 0x830B has no output record.
struct Row {
  uint32_t dir, type, number, in, out;
  int32_t status;
};

constexpr CommandSpec layout(const Row& r) {
  return CommandSpec{commandCode(r.dir, r.type, r.number), r.in, r.out, r.status};
}

template <size_t Size>
constexpr std::array<CommandSpec, Size> build(const Row (&rows)[Size]) {
  std::array<CommandSpec, Size> out{};
  for (size_t i = 0; i < Size; ++i) out[i] = layout(rows[i]);
  return out;
}

constexpr Row kDeviceRows[] = {
    // the generation's own interface
    {N, 0x09, 0x01, 4, 8, 4},
    {N, 0x09, 0x02, 4, 4, 0},
    {N, 0x09, 0x00, 16, 8, 4},
    {R, 0x09, 0x04, 24, 12, 8},
    {W, 0x09, 0x07, 40, 8, 4},
    {W, 0x09, 0x03, 40, 4, 0},
    {W, 0x09, 0x08, 12, 4, 0},
    {W, 0x09, 0x09, 4, 4, 0},
    {R, 0x09, 0x0A, 8, 8, 4},
    {R, 0x03, 0x00, 4, 16, 8},
    {R, 0x03, 0x01, 4, 8, 4},
    {W, 0x03, 0x02, 24, 4, 0},
    {R, 0x03, 0x03, 24, 4, 0},
    {R, 0x03, 0x08, 4, 8, 4},
    {R, 0x03, 0x04, 4, 16, 8},
    {R, 0x03, 0x05, 4, 8, 4},
    {W, 0x03, 0x06, 4, 4, 0},
    {R, 0x04, 0x00, 4, 8, 4},
    {N, 0x08, 0x00, 16, 8, 4},
    {N, 0x08, 0x01, 16, 4, 0},
    {R, 0x07, 0x00, 4, 8, 4},
    {R, 0x07, 0x01, 4, 8, 4},
    {W, 0x07, 0x02, 8, 4, 0},
    {W, 0x04, 0x01, 12, 4, 0},
    {R, 0x04, 0x02, 4, 12, 8},
    {W, 0x04, 0x03, 12, 4, 0},
    {R, 0x04, 0x04, 4, 12, 8},
    {R, 0x04, 0x05, 8, 8, 4},
    {R, 0x04, 0x06, 4, 8, 4},
    {R, 0x04, 0x07, 4, 8, 4},
    {R, 0x04, 0x08, 8, 8, 4},
    {R, 0x04, 0x09, 8, 8, 4},
    {R, 0x04, 0x0A, 8, 8, 4},
    {R, 0x04, 0x0B, 8, 16, 8},
    {W, 0x04, 0x0C, 8, 4, 0},
    {R, 0x04, 0x0D, 4, 8, 4},
    {R, 0x04, 0x0E, 4, 8, 4},
    {N, 0x04, 0x0F, 4, 8, 4},
    {N, 0x04, 0x10, 4, 4, 0},
    // device kit: attributes
    {R, 0x83, 0x00, 8, 8, 4},
    {W, 0x83, 0x01, 12, 4, 0},
    {R, 0x83, 0x02, 4, 8, 4},
    // device kit: configuration
    {W, 0x83, 0x0B, 16, 0, -1},
    {W, 0x83, 0x0C, 16, 4, 0},
    {W, 0x83, 0x0D, 4, 4, 0},
    {W, 0x83, 0x0E, 4, 4, 0},
    {W, 0x83, 0x0F, 4, 4, 0},
    {W, 0x83, 0x10, 48, 4, 0},
    // device kit: register I/O
    {R, 0x83, 0x14, 32, 4, 0},
    {W, 0x83, 0x15, 32, 4, 0},
    {R, 0x83, 0x16, 8, 8, 4},
    {W, 0x83, 0x17, 12, 4, 0},
    {N, 0x83, 0x18, 4, 8, 4},
    // device kit: interrupts
    {W, 0x83, 0x1E, 4, 4, 0},
    {W, 0x83, 0x1F, 4, 4, 0},
    {W, 0x83, 0x20, 12, 12, 8},
    // device kit: DMA FIFOs
    {W, 0x83, 0x28, 16, 4, 0},
    {W, 0x83, 0x29, 16, 4, 0},
    {W, 0x83, 0x2A, 16, 4, 0},
    {W, 0x83, 0x2B, 32, 16, 12},
    {W, 0x83, 0x2C, 32, 4, 0},
    {W, 0x83, 0x2D, 16, 4, 0},
    {W, 0x83, 0x2E, 56, 4, 0},
    // device kit: flash
    {W, 0x83, 0x32, 16, 4, 0},
    {W, 0x83, 0x33, 8, 4, 0},
    {R, 0x83, 0x34, 4, 8, 4},
    {W, 0x83, 0x35, 4, 4, 0},
    // device kit: peer-to-peer
    {R, 0x83, 0x3C, 8, 8, 4},
    // device kit: personality
    {W, 0x83, 0x0A, 48, 8, 4},
    // plain register read/write
    {R, 0x01, 0x00, 8, 8, 4},
    {W, 0x01, 0x01, 12, 4, 0},
    {R, 0x01, 0x02, 8, 8, 4},
    {W, 0x01, 0x03, 12, 4, 0},
    // synchronisation unit
    {N, 0x05, 0x00, 12, 4, 0},
    {N, 0x05, 0x01, 8, 4, 0},
    {N, 0x05, 0x02, 8, 4, 0},
    {N, 0x05, 0x03, 4, 4, 0},
    {N, 0x05, 0x04, 8, 8, 4},
    {N, 0x05, 0x05, 8, 4, 0},
    {N, 0x05, 0x06, 4, 4, 0},
    {N, 0x05, 0x07, 4, 16, 8},
    {N, 0x05, 0x08, 4, 4, 0},
    {N, 0x05, 0x09, 4, 16, 8},
    {N, 0x05, 0x0A, 4, 4, 0},
    {N, 0x05, 0x0B, 4, 8, 4},
    {N, 0x05, 0x0C, 8, 4, 0},
    {N, 0x05, 0x0D, 4, 8, 4},
    {N, 0x05, 0x0E, 8, 4, 0},
    // instruction FIFO
    {R, 0x02, 0x00, 24, 16, 8},
    {W, 0x02, 0x01, 24, 4, 0},
    {R, 0x02, 0x09, 24, 16, 8},
    {W, 0x02, 0x0A, 24, 4, 0},
    {N, 0x03, 0x0D, 24, 8, 4},
    // I/O
    {R, 0x06, 0x00, 4, 8, 4},
    {R, 0x06, 0x01, 4, 8, 4},
    {R, 0x06, 0x02, 4, 8, 4},
    {W, 0x06, 0x03, 20, 4, 0},
    {R, 0x06, 0x04, 4, 20, 16},
    {N, 0x06, 0x05, 8, 4, 0},
    {N, 0x06, 0x06, 4, 8, 4},
    {W, 0x06, 0x07, 8, 4, 0},
};

constexpr Row kRoutingRows[] = {
    {N, 0x80, 0x00, 4, 8, 4},  {N, 0x80, 0x01, 56, 12, 8}, {N, 0x80, 0x02, 8, 4, 0},
    {N, 0x80, 0x03, 24, 8, 4}, {N, 0x80, 0x04, 8, 4, 0},   {N, 0x80, 0x05, 8, 4, 0},
    {N, 0x80, 0x06, 8, 4, 0},  {N, 0x80, 0x07, 24, 8, 4},  {N, 0x80, 0x08, 16, 4, 0},
    {N, 0x80, 0x0A, 12, 4, 0}, {N, 0x80, 0x0B, 24, 8, 4},
};

constexpr auto kDevice = build(kDeviceRows);
constexpr auto kRouting = build(kRoutingRows);
static_assert(kDevice.size() == 101);
static_assert(kRouting.size() == 11);

}  // namespace

std::span<const CommandSpec> deviceCommands() {
  return kDevice;
}
std::span<const CommandSpec> routingCommands() {
  return kRouting;
}

const CommandSpec* findCommand(uint32_t code) {
  for (const auto& c : kDevice)
    if (c.code == code) return &c;
  for (const auto& c : kRouting)
    if (c.code == code) return &c;
  return nullptr;
}

}  // namespace sim
