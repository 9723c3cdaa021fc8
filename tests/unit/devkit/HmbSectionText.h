#pragma once
// Host-memory-buffer sections of a printed "CompilationResults" text, written by hand.

#include <cstdint>
#include <string>

namespace devkit_test::hmb_text {

inline std::string block(const std::string& name, uint64_t elements, uint64_t stride) {
  return "<MemoryBlock><Name>" + name + "</Name><Elements>" + std::to_string(elements) +
         "</Elements><Stride>" + std::to_string(stride) + "</Stride></MemoryBlock>";
}

inline std::string fixedBlock(const std::string& name, const std::string& address,
                              const std::string& baggage = "") {
  return "<MemoryBlock><Name>" + name + "</Name><FixedAddr>" + address + "</FixedAddr>" +
         (baggage.empty() ? "" : "<Baggage>" + baggage + "</Baggage>") + "</MemoryBlock>";
}

inline std::string llbList(const std::string& blocks) {
  return "<LLB><MemoryBlockList>" + blocks + "</MemoryBlockList></LLB>";
}

inline std::string section(const std::string& blocks, const std::string& fixed = "",
                           const std::string& llb = "", const std::string& bits = "") {
  return "<CompilationResults><QvFpga/><TargetSpecificData><HMB>" +
         (bits.empty()
              ? std::string("<BufferIndexBits>2</BufferIndexBits><OffsetBits>22</OffsetBits>")
              : bits) +
         "<MemoryBlockList>" + blocks + "</MemoryBlockList>" +
         (fixed.empty() ? "" : "<FixedMemoryBlockList>" + fixed + "</FixedMemoryBlockList>") +
         "</HMB>" + llb + "</TargetSpecificData></CompilationResults>";
}

inline std::string llbOnly(const std::string& blocks) {
  return "<CompilationResults><TargetSpecificData>" + llbList(blocks) +
         "</TargetSpecificData></CompilationResults>";
}

}  // namespace devkit_test::hmb_text
