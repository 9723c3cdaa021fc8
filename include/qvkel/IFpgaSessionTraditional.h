#pragma once
// The legacy register-protocol session: numbered attributes, a download call and raw
// register, FIFO and interrupt calls for hosts that know nothing of bitfiles. The host calls
// by slot; the placeholder slots keep the table's order. Each operation takes the caller's
// status record last and returns at once (with the value given for errors) when it already
// holds an error.

#include <cstdint>

namespace nQVVUSKS100 {
struct tStatus;
}

namespace qvkel {

class IFpgaSessionTraditional {
 public:
  using tStatus = nQVVUSKS100::tStatus;

  // 0xFFFFFFFF on error.
  virtual uint32_t getAttributeU32(uint32_t attribute, tStatus* s) = 0;  // 0
  virtual void getAttributeString(uint32_t attribute, char* buffer, uint32_t bufferSize,
                                  uint32_t* length, tStatus* s) = 0;                      // 1
  virtual void setAttributeU32(uint32_t attribute, uint32_t value, tStatus* s) = 0;       // 2
  virtual void setAttributeString(uint32_t attribute, const char* text, tStatus* s) = 0;  // 3
  // kind 2: a flash image (before the download protocol); kind 1: a bitstream (after it).
  virtual void download(const void* data, uint32_t size, const char* name, uint32_t nameLength,
                        uint32_t kind, tStatus* s) = 0;  // 4
  virtual void reset(tStatus* s) = 0;                    // 5
  virtual void noOperation6(tStatus* s) = 0;             // 6
  virtual void noOperation7(tStatus* s) = 0;             // 7
  virtual void noOperation8(tStatus* s) = 0;             // 8
  virtual void unsupported9(tStatus* s) = 0;             // 9
  virtual void unsupported10(tStatus* s) = 0;            // 10
  virtual void unsupported11(tStatus* s) = 0;            // 11
  // `unused` is not examined.
  virtual void configureFifo(uint32_t fifo, uint32_t requestedDepth, uint32_t* actualDepth,
                             uint32_t unused, tStatus* s) = 0;  // 12
  virtual void startFifo(uint32_t fifo, tStatus* s) = 0;        // 13
  virtual void stopFifo(uint32_t fifo, tStatus* s) = 0;         // 14
  // Element-type codes: 1 I8, 2 I16, 3 I32, 4 I64, 5 U8, 6 U16, 7 U32, 8 U64.
  virtual void readFifo(uint32_t fifo, void* buffer, uint32_t count, uint32_t elementType,
                        uint32_t timeoutMs, uint32_t* countRead, uint32_t* remaining,
                        tStatus* s) = 0;  // 15
  virtual void writeFifo(uint32_t fifo, const void* buffer, uint32_t count, uint32_t elementType,
                         uint32_t timeoutMs, uint32_t* emptyRemaining, tStatus* s) = 0;  // 16
  virtual void acquireFifoElements(uint32_t fifo, void** elements, uint32_t count,
                                   uint32_t elementType, bool forWriting, uint32_t timeoutMs,
                                   uint32_t* acquired, uint32_t* remaining,
                                   tStatus* s) = 0;                                 // 17
  virtual void releaseFifoElements(uint32_t fifo, uint32_t count, tStatus* s) = 0;  // 18
  virtual void noOperation19(tStatus* s) = 0;                                       // 19
  virtual void unsupported20(tStatus* s) = 0;                                       // 20
  // Flags: low four bits the element size in bytes (1, 2, 4 or 8), bit 4 the access-status
  // check.
  virtual void writeBlock(uint32_t offset, uint32_t count, const void* buffer, uint32_t flags,
                          tStatus* s) = 0;  // 21
  virtual void readBlock(uint32_t offset, uint32_t count, void* buffer, uint32_t flags,
                         tStatus* s) = 0;                                          // 22
  virtual int32_t unsupported23(tStatus* s) = 0;                                   // 23: -1
  virtual uint32_t readU32(uint32_t offset, tStatus* s) = 0;                       // 24
  virtual uint32_t unsupported25(tStatus* s) = 0;                                  // 25: 0xFFFFFFFF
  virtual uint32_t unsupported26(tStatus* s) = 0;                                  // 26: 0xFFFFFFFF
  virtual void unsupported27(tStatus* s) = 0;                                      // 27
  virtual void writeU32(uint32_t offset, uint32_t value, tStatus* s) = 0;          // 28
  virtual void unsupported29(tStatus* s) = 0;                                      // 29
  virtual void unsupported30(tStatus* s) = 0;                                      // 30
  virtual uint32_t query31(tStatus* s) = 0;                                        // 31: 0
  virtual uint32_t unsupported32(tStatus* s) = 0;                                  // 32: 0
  virtual void callIrqMethod1E(tStatus* s) = 0;                                    // 33
  virtual void callIrqMethod1F(tStatus* s) = 0;                                    // 34
  virtual uint32_t waitOnIrqs(uint32_t irqs, uint32_t timeoutMs, tStatus* s) = 0;  // 35
  // Destroys the session; nothing for a null object.
  virtual void release() = 0;                  // 36
  virtual void unsupported37(tStatus* s) = 0;  // 37
  virtual void unsupported38(tStatus* s) = 0;  // 38

  virtual ~IFpgaSessionTraditional() = default;  // 39, 40
};

}  // namespace qvkel
