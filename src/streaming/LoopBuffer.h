#pragma once
// A stream's loop buffer: a circular buffer inside the FPGA that the stream's FIFO feeds,
// seen through three registers (size, a running count of elements written into it, reset).
// Its size and written count are attributes; every deploy resets the buffer.

#include <cstdint>
#include <memory>

#include "foundation/errors/Status.h"
#include "model/AttributeCatalogue.h"
#include "model/IndicatorBackedAttribute.h"
#include "model/Resolvers.h"
#include "model/SessionTransportInterface.h"

namespace atat {
class AttributeRegistry;
}  // namespace atat

namespace qvvandrel {

struct LoopBufferRegisters {
  // Resolves the three names into `status`, in the order size, written, reset.
  LoopBufferRegisters(SessionTransportInterface* transport, std::int32_t stream);

  nQVVUSKS100::tStatus status;
  qvisl::Register<unsigned long, SessionTransportInterface> size;
  qvisl::Register<unsigned long, SessionTransportInterface> written;
  qvisl::Register<bool, SessionTransportInterface> reset;
};

class LoopBufferInstance {
 public:
  // "Circular Buffer Elements Written": read from the FPGA on every get, never settable.
  static constexpr std::uint32_t kElementsWrittenId = 0x50000007;

  // The loop buffer of stream `stream`, or null when the design lacks one of its three
  // registers. The channel name is borrowed (the stream's).
  static std::unique_ptr<LoopBufferInstance> create(SessionTransportInterface* transport,
                                                    std::int32_t stream, const char* channelName);
  LoopBufferInstance(const LoopBufferInstance&) = delete;
  LoopBufferInstance& operator=(const LoopBufferInstance&) = delete;

  void registerAttributes(atat::AttributeRegistry* registry);
  void commission(const ResolverRoots& roots);
  // The size register becomes the size attribute's value, whatever the host set.
  void compile();
  void deploy();
  // Writes 1 to the reset register; a failure raises.
  void resetBuffer();
  // The written count; a failed read raises.
  std::uint64_t elementsWritten();

  CatalogueAttribute<0x50000006>& size() { return attributes_.size; }
  atat::Attribute<unsigned long>& written() { return attributes_.written.attribute(); }
  CompileResolver<LoopBufferInstance>& compileResolver() { return compileResolver_; }
  DeployResolver<LoopBufferInstance>& deployResolver() { return deployResolver_; }

 private:
  struct LoopBufferAttributes {
    LoopBufferAttributes(const char* channelName, LoopBufferRegisters& registers);
    CatalogueAttribute<0x50000006> size;
    IndicatorBackedAttribute<unsigned long> written;
  };

  LoopBufferInstance(std::unique_ptr<LoopBufferRegisters> registers, const char* channelName);

  std::unique_ptr<LoopBufferRegisters> registers_;
  LoopBufferAttributes attributes_;
  CompileResolver<LoopBufferInstance> compileResolver_;
  DeployResolver<LoopBufferInstance> deployResolver_;
};

}  // namespace qvvandrel
