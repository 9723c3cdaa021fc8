#include "streaming/LoopBuffer.h"

#include "attributes/AttributeRegistry.h"
#include "streaming/StreamRegisters.h"

namespace qvvandrel {

using qvstream_lib::StreamRegisterName;

LoopBufferRegisters::LoopBufferRegisters(SessionTransportInterface* transport, std::int32_t stream)
    : size(transport, StreamRegisterName("vandrel.buffer.circular.size %d", stream).text, &status),
      written(transport, StreamRegisterName("vandrel.buffer.circular.written %d", stream).text,
              &status),
      reset(transport, StreamRegisterName("vandrel.buffer.circular.reset %d", stream).text,
            &status) {}

LoopBufferInstance::LoopBufferAttributes::LoopBufferAttributes(const char* channelName,
                                                               LoopBufferRegisters& registers)
    : size(channelName, initialValue(0UL)),
      written(kElementsWrittenId, &registers.written, channelName) {}

std::unique_ptr<LoopBufferInstance> LoopBufferInstance::create(SessionTransportInterface* transport,
                                                               std::int32_t stream,
                                                               const char* channelName) {
  auto registers = std::make_unique<LoopBufferRegisters>(transport, stream);
  if (registers->status.isError()) return nullptr;
  return std::unique_ptr<LoopBufferInstance>(
      new LoopBufferInstance(std::move(registers), channelName));
}

LoopBufferInstance::LoopBufferInstance(std::unique_ptr<LoopBufferRegisters> registers,
                                       const char* channelName)
    : registers_(std::move(registers)),
      attributes_(channelName, *registers_),
      compileResolver_(this),
      deployResolver_(this) {}

void LoopBufferInstance::registerAttributes(atat::AttributeRegistry* registry) {
  registry->addAttribute(&attributes_.size);
  registry->addAttribute(&attributes_.written.attribute());
}

void LoopBufferInstance::commission(const ResolverRoots& roots) {
  wireOwnAttribute(compileResolver_, attributes_.size);
  wireResolvers(roots, compileResolver_, deployResolver_);
}

void LoopBufferInstance::compile() {
  nQVVUSKS100::tStatus status;
  attributes_.size.setCoerced(registers_->size.read(&status));
}

void LoopBufferInstance::deploy() {
  resetBuffer();
}

void LoopBufferInstance::resetBuffer() {
  nQVVUSKS100::tStatus status;
  registers_->reset.write(true, &status);
}

std::uint64_t LoopBufferInstance::elementsWritten() {
  nQVVUSKS100::tStatus status;
  return registers_->written.read(&status);
}

}  // namespace qvvandrel
