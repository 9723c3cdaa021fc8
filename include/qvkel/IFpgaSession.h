#pragma once
// The host's FPGA session: one FPGA of one module, driven through a table of virtual operations
// that the host calls by slot. Each version of the interface appends slots to the one before;
// the object implements the last version (5). Every operation but slots 0, 4, 113, 114 and 123
// ends with the caller's status record and follows its merge rule.
//
// Element-type groups of eleven slots run Bool, U8, U16, U32, U64, I8, I16, I32, I64, SGL, DBL.
// Bool values are bytes on this interface: registers move the raw byte, arrays bit 0 of each.

#include <cstdint>

namespace nQVVUSKS100 {
struct tStatus;
}

namespace qvkel {

class IFpgaSessionTraditional;

// Cleanup callbacks handed out with host-memory regions and peer-to-peer buffers; calling one
// with its context releases what was handed out. They never fail.
using HmbCleanupCallback = void (*)(void* context);
using PeerToPeerCleanupCallback = void (*)(void* context, uint32_t key);

// Version 0: slots 0 to 114.
class IFpgaSession {
 public:
  using tStatus = nQVVUSKS100::tStatus;

  virtual uint32_t getInterfaceVersion() = 0;                                                // 0
  virtual IFpgaSessionTraditional* openTraditionalSession(int32_t version, tStatus* s) = 0;  // 1
  // A new session object over a copy of this one's session; the host owns it.
  virtual IFpgaSession* clone(tStatus* s) = 0;  // 2
  // `bitfile` is a path, or with attribute bit 30 the argument handed on for a flash image.
  virtual void open(const char* bitfile, const char* resource, uint32_t attributes,
                    tStatus* s) = 0;  // 3
  // Destroys the object; nothing for a null object.
  virtual void release() = 0;                               // 4
  virtual void close(uint32_t attributes, tStatus* s) = 0;  // 5

  virtual uint8_t readBool(uint32_t offset, bool checkAccess, tStatus* s) = 0;  // 6
  virtual uint8_t readU8(uint32_t offset, bool checkAccess, tStatus* s) = 0;    // 7
  virtual uint16_t readU16(uint32_t offset, bool checkAccess, tStatus* s) = 0;  // 8
  virtual uint32_t readU32(uint32_t offset, bool checkAccess, tStatus* s) = 0;  // 9
  virtual uint64_t readU64(uint32_t offset, bool checkAccess, tStatus* s) = 0;  // 10
  virtual int8_t readI8(uint32_t offset, bool checkAccess, tStatus* s) = 0;     // 11
  virtual int16_t readI16(uint32_t offset, bool checkAccess, tStatus* s) = 0;   // 12
  virtual int32_t readI32(uint32_t offset, bool checkAccess, tStatus* s) = 0;   // 13
  virtual int64_t readI64(uint32_t offset, bool checkAccess, tStatus* s) = 0;   // 14
  virtual float readSgl(uint32_t offset, bool checkAccess, tStatus* s) = 0;     // 15
  virtual double readDbl(uint32_t offset, bool checkAccess, tStatus* s) = 0;    // 16

  virtual void writeBool(uint32_t offset, uint8_t value, bool checkAccess, tStatus* s) = 0;  // 17
  virtual void writeU8(uint32_t offset, uint8_t value, bool checkAccess, tStatus* s) = 0;    // 18
  virtual void writeU16(uint32_t offset, uint16_t value, bool checkAccess, tStatus* s) = 0;  // 19
  virtual void writeU32(uint32_t offset, uint32_t value, bool checkAccess, tStatus* s) = 0;  // 20
  virtual void writeU64(uint32_t offset, uint64_t value, bool checkAccess, tStatus* s) = 0;  // 21
  virtual void writeI8(uint32_t offset, int8_t value, bool checkAccess, tStatus* s) = 0;     // 22
  virtual void writeI16(uint32_t offset, int16_t value, bool checkAccess, tStatus* s) = 0;   // 23
  virtual void writeI32(uint32_t offset, int32_t value, bool checkAccess, tStatus* s) = 0;   // 24
  virtual void writeI64(uint32_t offset, int64_t value, bool checkAccess, tStatus* s) = 0;   // 25
  virtual void writeSgl(uint32_t offset, float value, bool checkAccess, tStatus* s) = 0;     // 26
  virtual void writeDbl(uint32_t offset, double value, bool checkAccess, tStatus* s) = 0;    // 27

  virtual void readArrayBool(uint32_t offset, uint8_t* elements, uint64_t count, bool checkAccess,
                             tStatus* s) = 0;  // 28
  virtual void readArrayU8(uint32_t offset, uint8_t* elements, uint64_t count, bool checkAccess,
                           tStatus* s) = 0;  // 29
  virtual void readArrayU16(uint32_t offset, uint16_t* elements, uint64_t count, bool checkAccess,
                            tStatus* s) = 0;  // 30
  virtual void readArrayU32(uint32_t offset, uint32_t* elements, uint64_t count, bool checkAccess,
                            tStatus* s) = 0;  // 31
  virtual void readArrayU64(uint32_t offset, uint64_t* elements, uint64_t count, bool checkAccess,
                            tStatus* s) = 0;  // 32
  virtual void readArrayI8(uint32_t offset, int8_t* elements, uint64_t count, bool checkAccess,
                           tStatus* s) = 0;  // 33
  virtual void readArrayI16(uint32_t offset, int16_t* elements, uint64_t count, bool checkAccess,
                            tStatus* s) = 0;  // 34
  virtual void readArrayI32(uint32_t offset, int32_t* elements, uint64_t count, bool checkAccess,
                            tStatus* s) = 0;  // 35
  virtual void readArrayI64(uint32_t offset, int64_t* elements, uint64_t count, bool checkAccess,
                            tStatus* s) = 0;  // 36
  virtual void readArraySgl(uint32_t offset, float* elements, uint64_t count, bool checkAccess,
                            tStatus* s) = 0;  // 37
  virtual void readArrayDbl(uint32_t offset, double* elements, uint64_t count, bool checkAccess,
                            tStatus* s) = 0;  // 38

  virtual void writeArrayBool(uint32_t offset, const uint8_t* elements, uint64_t count,
                              bool checkAccess, tStatus* s) = 0;  // 39
  virtual void writeArrayU8(uint32_t offset, const uint8_t* elements, uint64_t count,
                            bool checkAccess, tStatus* s) = 0;  // 40
  virtual void writeArrayU16(uint32_t offset, const uint16_t* elements, uint64_t count,
                             bool checkAccess, tStatus* s) = 0;  // 41
  virtual void writeArrayU32(uint32_t offset, const uint32_t* elements, uint64_t count,
                             bool checkAccess, tStatus* s) = 0;  // 42
  virtual void writeArrayU64(uint32_t offset, const uint64_t* elements, uint64_t count,
                             bool checkAccess, tStatus* s) = 0;  // 43
  virtual void writeArrayI8(uint32_t offset, const int8_t* elements, uint64_t count,
                            bool checkAccess, tStatus* s) = 0;  // 44
  virtual void writeArrayI16(uint32_t offset, const int16_t* elements, uint64_t count,
                             bool checkAccess, tStatus* s) = 0;  // 45
  virtual void writeArrayI32(uint32_t offset, const int32_t* elements, uint64_t count,
                             bool checkAccess, tStatus* s) = 0;  // 46
  virtual void writeArrayI64(uint32_t offset, const int64_t* elements, uint64_t count,
                             bool checkAccess, tStatus* s) = 0;  // 47
  virtual void writeArraySgl(uint32_t offset, const float* elements, uint64_t count,
                             bool checkAccess, tStatus* s) = 0;  // 48
  virtual void writeArrayDbl(uint32_t offset, const double* elements, uint64_t count,
                             bool checkAccess, tStatus* s) = 0;  // 49

  virtual void download(bool* failed, tStatus* s) = 0;                          // 50
  virtual void reset(tStatus* s) = 0;                                           // 51
  virtual void abort(tStatus* s) = 0;                                           // 52
  virtual void run(uint32_t attributes, bool* alreadyRunning, tStatus* s) = 0;  // 53
  virtual void sendIrqCommand831E(tStatus* s) = 0;                              // 54
  virtual void sendIrqCommand831F(tStatus* s) = 0;                              // 55
  virtual uint32_t waitOnIrqs(uint32_t irqs, uint32_t timeoutMs, bool* timedOut,
                              tStatus* s) = 0;                  // 56
  virtual void acknowledgeIrqs(uint32_t irqs, tStatus* s) = 0;  // 57
  virtual void configureFifo(uint32_t fifo, uint64_t requestedDepth, uint64_t* actualDepth,
                             tStatus* s) = 0;             // 58
  virtual void startFifo(uint32_t fifo, tStatus* s) = 0;  // 59
  virtual void stopFifo(uint32_t fifo, tStatus* s) = 0;   // 60

  virtual void readFifoBool(uint32_t fifo, uint8_t* elements, uint64_t count, uint32_t timeoutMs,
                            bool* timedOut, uint64_t* remaining, tStatus* s) = 0;  // 61
  virtual void readFifoU8(uint32_t fifo, uint8_t* elements, uint64_t count, uint32_t timeoutMs,
                          bool* timedOut, uint64_t* remaining, tStatus* s) = 0;  // 62
  virtual void readFifoU16(uint32_t fifo, uint16_t* elements, uint64_t count, uint32_t timeoutMs,
                           bool* timedOut, uint64_t* remaining, tStatus* s) = 0;  // 63
  virtual void readFifoU32(uint32_t fifo, uint32_t* elements, uint64_t count, uint32_t timeoutMs,
                           bool* timedOut, uint64_t* remaining, tStatus* s) = 0;  // 64
  virtual void readFifoU64(uint32_t fifo, uint64_t* elements, uint64_t count, uint32_t timeoutMs,
                           bool* timedOut, uint64_t* remaining, tStatus* s) = 0;  // 65
  virtual void readFifoI8(uint32_t fifo, int8_t* elements, uint64_t count, uint32_t timeoutMs,
                          bool* timedOut, uint64_t* remaining, tStatus* s) = 0;  // 66
  virtual void readFifoI16(uint32_t fifo, int16_t* elements, uint64_t count, uint32_t timeoutMs,
                           bool* timedOut, uint64_t* remaining, tStatus* s) = 0;  // 67
  virtual void readFifoI32(uint32_t fifo, int32_t* elements, uint64_t count, uint32_t timeoutMs,
                           bool* timedOut, uint64_t* remaining, tStatus* s) = 0;  // 68
  virtual void readFifoI64(uint32_t fifo, int64_t* elements, uint64_t count, uint32_t timeoutMs,
                           bool* timedOut, uint64_t* remaining, tStatus* s) = 0;  // 69
  virtual void readFifoSgl(uint32_t fifo, float* elements, uint64_t count, uint32_t timeoutMs,
                           bool* timedOut, uint64_t* remaining, tStatus* s) = 0;  // 70
  virtual void readFifoDbl(uint32_t fifo, double* elements, uint64_t count, uint32_t timeoutMs,
                           bool* timedOut, uint64_t* remaining, tStatus* s) = 0;  // 71

  virtual void writeFifoBool(uint32_t fifo, const uint8_t* elements, uint64_t count,
                             uint32_t timeoutMs, bool* timedOut, uint64_t* remaining,
                             tStatus* s) = 0;  // 72
  virtual void writeFifoU8(uint32_t fifo, const uint8_t* elements, uint64_t count,
                           uint32_t timeoutMs, bool* timedOut, uint64_t* remaining,
                           tStatus* s) = 0;  // 73
  virtual void writeFifoU16(uint32_t fifo, const uint16_t* elements, uint64_t count,
                            uint32_t timeoutMs, bool* timedOut, uint64_t* remaining,
                            tStatus* s) = 0;  // 74
  virtual void writeFifoU32(uint32_t fifo, const uint32_t* elements, uint64_t count,
                            uint32_t timeoutMs, bool* timedOut, uint64_t* remaining,
                            tStatus* s) = 0;  // 75
  virtual void writeFifoU64(uint32_t fifo, const uint64_t* elements, uint64_t count,
                            uint32_t timeoutMs, bool* timedOut, uint64_t* remaining,
                            tStatus* s) = 0;  // 76
  virtual void writeFifoI8(uint32_t fifo, const int8_t* elements, uint64_t count,
                           uint32_t timeoutMs, bool* timedOut, uint64_t* remaining,
                           tStatus* s) = 0;  // 77
  virtual void writeFifoI16(uint32_t fifo, const int16_t* elements, uint64_t count,
                            uint32_t timeoutMs, bool* timedOut, uint64_t* remaining,
                            tStatus* s) = 0;  // 78
  virtual void writeFifoI32(uint32_t fifo, const int32_t* elements, uint64_t count,
                            uint32_t timeoutMs, bool* timedOut, uint64_t* remaining,
                            tStatus* s) = 0;  // 79
  virtual void writeFifoI64(uint32_t fifo, const int64_t* elements, uint64_t count,
                            uint32_t timeoutMs, bool* timedOut, uint64_t* remaining,
                            tStatus* s) = 0;  // 80
  virtual void writeFifoSgl(uint32_t fifo, const float* elements, uint64_t count,
                            uint32_t timeoutMs, bool* timedOut, uint64_t* remaining,
                            tStatus* s) = 0;  // 81
  virtual void writeFifoDbl(uint32_t fifo, const double* elements, uint64_t count,
                            uint32_t timeoutMs, bool* timedOut, uint64_t* remaining,
                            tStatus* s) = 0;  // 82

  virtual void acquireFifoReadElementsBool(uint32_t fifo, uint8_t** elements, uint64_t count,
                                           uint32_t timeoutMs, bool* timedOut, uint64_t* acquired,
                                           uint64_t* remaining, tStatus* s) = 0;  // 83
  virtual void acquireFifoReadElementsU8(uint32_t fifo, uint8_t** elements, uint64_t count,
                                         uint32_t timeoutMs, bool* timedOut, uint64_t* acquired,
                                         uint64_t* remaining, tStatus* s) = 0;  // 84
  virtual void acquireFifoReadElementsU16(uint32_t fifo, uint16_t** elements, uint64_t count,
                                          uint32_t timeoutMs, bool* timedOut, uint64_t* acquired,
                                          uint64_t* remaining, tStatus* s) = 0;  // 85
  virtual void acquireFifoReadElementsU32(uint32_t fifo, uint32_t** elements, uint64_t count,
                                          uint32_t timeoutMs, bool* timedOut, uint64_t* acquired,
                                          uint64_t* remaining, tStatus* s) = 0;  // 86
  virtual void acquireFifoReadElementsU64(uint32_t fifo, uint64_t** elements, uint64_t count,
                                          uint32_t timeoutMs, bool* timedOut, uint64_t* acquired,
                                          uint64_t* remaining, tStatus* s) = 0;  // 87
  virtual void acquireFifoReadElementsI8(uint32_t fifo, int8_t** elements, uint64_t count,
                                         uint32_t timeoutMs, bool* timedOut, uint64_t* acquired,
                                         uint64_t* remaining, tStatus* s) = 0;  // 88
  virtual void acquireFifoReadElementsI16(uint32_t fifo, int16_t** elements, uint64_t count,
                                          uint32_t timeoutMs, bool* timedOut, uint64_t* acquired,
                                          uint64_t* remaining, tStatus* s) = 0;  // 89
  virtual void acquireFifoReadElementsI32(uint32_t fifo, int32_t** elements, uint64_t count,
                                          uint32_t timeoutMs, bool* timedOut, uint64_t* acquired,
                                          uint64_t* remaining, tStatus* s) = 0;  // 90
  virtual void acquireFifoReadElementsI64(uint32_t fifo, int64_t** elements, uint64_t count,
                                          uint32_t timeoutMs, bool* timedOut, uint64_t* acquired,
                                          uint64_t* remaining, tStatus* s) = 0;  // 91
  virtual void acquireFifoReadElementsSgl(uint32_t fifo, float** elements, uint64_t count,
                                          uint32_t timeoutMs, bool* timedOut, uint64_t* acquired,
                                          uint64_t* remaining, tStatus* s) = 0;  // 92
  virtual void acquireFifoReadElementsDbl(uint32_t fifo, double** elements, uint64_t count,
                                          uint32_t timeoutMs, bool* timedOut, uint64_t* acquired,
                                          uint64_t* remaining, tStatus* s) = 0;  // 93

  virtual void acquireFifoWriteElementsBool(uint32_t fifo, uint8_t** elements, uint64_t count,
                                            uint32_t timeoutMs, bool* timedOut, uint64_t* acquired,
                                            uint64_t* remaining,
                                            tStatus* s) = 0;  // 94
  virtual void acquireFifoWriteElementsU8(uint32_t fifo, uint8_t** elements, uint64_t count,
                                          uint32_t timeoutMs, bool* timedOut, uint64_t* acquired,
                                          uint64_t* remaining, tStatus* s) = 0;  // 95
  virtual void acquireFifoWriteElementsU16(uint32_t fifo, uint16_t** elements, uint64_t count,
                                           uint32_t timeoutMs, bool* timedOut, uint64_t* acquired,
                                           uint64_t* remaining, tStatus* s) = 0;  // 96
  virtual void acquireFifoWriteElementsU32(uint32_t fifo, uint32_t** elements, uint64_t count,
                                           uint32_t timeoutMs, bool* timedOut, uint64_t* acquired,
                                           uint64_t* remaining, tStatus* s) = 0;  // 97
  virtual void acquireFifoWriteElementsU64(uint32_t fifo, uint64_t** elements, uint64_t count,
                                           uint32_t timeoutMs, bool* timedOut, uint64_t* acquired,
                                           uint64_t* remaining, tStatus* s) = 0;  // 98
  virtual void acquireFifoWriteElementsI8(uint32_t fifo, int8_t** elements, uint64_t count,
                                          uint32_t timeoutMs, bool* timedOut, uint64_t* acquired,
                                          uint64_t* remaining, tStatus* s) = 0;  // 99
  virtual void acquireFifoWriteElementsI16(uint32_t fifo, int16_t** elements, uint64_t count,
                                           uint32_t timeoutMs, bool* timedOut, uint64_t* acquired,
                                           uint64_t* remaining, tStatus* s) = 0;  // 100
  virtual void acquireFifoWriteElementsI32(uint32_t fifo, int32_t** elements, uint64_t count,
                                           uint32_t timeoutMs, bool* timedOut, uint64_t* acquired,
                                           uint64_t* remaining, tStatus* s) = 0;  // 101
  virtual void acquireFifoWriteElementsI64(uint32_t fifo, int64_t** elements, uint64_t count,
                                           uint32_t timeoutMs, bool* timedOut, uint64_t* acquired,
                                           uint64_t* remaining, tStatus* s) = 0;  // 102
  virtual void acquireFifoWriteElementsSgl(uint32_t fifo, float** elements, uint64_t count,
                                           uint32_t timeoutMs, bool* timedOut, uint64_t* acquired,
                                           uint64_t* remaining, tStatus* s) = 0;  // 103
  virtual void acquireFifoWriteElementsDbl(uint32_t fifo, double** elements, uint64_t count,
                                           uint32_t timeoutMs, bool* timedOut, uint64_t* acquired,
                                           uint64_t* remaining, tStatus* s) = 0;  // 104

  virtual void releaseFifoElements(uint32_t fifo, uint64_t count, tStatus* s) = 0;  // 105
  // The bitfile text without bitstream and icon data, owned by the session's bitfile.
  virtual const char* getBitfileContents(tStatus* s) = 0;                               // 106
  virtual void unsupportedRequest(uint64_t a, uint64_t b, uint64_t c, tStatus* s) = 0;  // 107
  virtual void getBitfileSignature(uint32_t* words, uint64_t* count, tStatus* s) = 0;   // 108
  virtual void findRegister(const char* name, uint32_t defaultValue, uint32_t* offset,
                            tStatus* s) = 0;  // 109
  virtual void findFifo(const char* name, uint32_t defaultValue, uint32_t* number,
                        tStatus* s) = 0;                                                  // 110
  virtual void getPeerToPeerEndpoint(uint32_t fifo, uint32_t* endpoint, tStatus* s) = 0;  // 111
  virtual void invoke(uint32_t kind, uint32_t code, uint64_t arg1, uint64_t arg2, uint64_t arg3,
                      uint64_t arg4, tStatus* s) = 0;  // 112

  virtual ~IFpgaSession() = default;  // 113, 114
};

// Version 1: FIFO properties.
class IFpgaSession171 : public IFpgaSession {
 public:
  // `valueType`: 0 pointer, 1 u32, 2 u64, 3 i32, 4 i64. `valueSize` is not examined.
  virtual void setFifoProperty(uint32_t fifo, uint32_t property, uint32_t valueType,
                               const void* value, uint64_t valueSize, tStatus* s) = 0;  // 115
  virtual void getFifoProperty(uint32_t fifo, uint32_t property, uint32_t valueType, void* value,
                               uint64_t valueSize, tStatus* s) = 0;     // 116
  virtual void commitFifoConfiguration(uint32_t fifo, tStatus* s) = 0;  // 117
};

// Version 2: the FPGA state.
class IFpgaSession180 : public IFpgaSession171 {
 public:
  // 0 idle, 1 invalid, 2 running, 3 stopped; 1 on failure.
  virtual uint32_t getFpgaState(tStatus* s) = 0;  // 118
};

// Version 3: composite FIFO elements.
class IFpgaSession185 : public IFpgaSession180 {
 public:
  virtual void readFifoComposite(uint32_t fifo, void* elements, uint32_t elementBytes,
                                 uint64_t count, uint32_t timeoutMs, bool* timedOut,
                                 uint64_t* remaining, tStatus* s) = 0;  // 119
  virtual void writeFifoComposite(uint32_t fifo, const void* elements, uint32_t elementBytes,
                                  uint64_t count, uint32_t timeoutMs, bool* timedOut,
                                  uint64_t* remaining, tStatus* s) = 0;  // 120
  virtual void acquireFifoReadElementsComposite(uint32_t fifo, void** elements,
                                                uint32_t elementBytes, uint64_t count,
                                                uint32_t timeoutMs, bool* timedOut,
                                                uint64_t* acquired, uint64_t* remaining,
                                                tStatus* s) = 0;  // 121
  virtual void acquireFifoWriteElementsComposite(uint32_t fifo, void** elements,
                                                 uint32_t elementBytes, uint64_t count,
                                                 uint32_t timeoutMs, bool* timedOut,
                                                 uint64_t* acquired, uint64_t* remaining,
                                                 tStatus* s) = 0;  // 122
  virtual uint32_t constantTrueQuery() = 0;                        // 123
};

// Version 4: FIFO regions.
class IFpgaSession200 : public IFpgaSession185 {
 public:
  virtual void acquireFifoReadRegion(uint32_t fifo, uint64_t* region, void** elements,
                                     bool isSigned, uint32_t elementBytes, uint64_t count,
                                     uint32_t timeoutMs, bool* timedOut, uint64_t* acquired,
                                     uint64_t* remaining, tStatus* s) = 0;  // 124
  virtual void acquireFifoWriteRegion(uint32_t fifo, uint64_t* region, void** elements,
                                      bool isSigned, uint32_t elementBytes, uint64_t count,
                                      uint32_t timeoutMs, bool* timedOut, uint64_t* acquired,
                                      uint64_t* remaining, tStatus* s) = 0;        // 125
  virtual void releaseFifoRegion(uint32_t fifo, uint64_t region, tStatus* s) = 0;  // 126
  virtual void unconfigureFifo(uint32_t fifo, tStatus* s) = 0;                     // 127
};

// Version 5: peer-to-peer buffers and host memory buffers.
class IFpgaSession207 : public IFpgaSession200 {
 public:
  virtual void openPeerToPeerFifoBuffer(uint32_t fifo, uint64_t* first, uint64_t* second,
                                        void** context, PeerToPeerCleanupCallback* cleanup,
                                        tStatus* s) = 0;  // 128
  virtual void getHmbRegion(const char* name, uint64_t* size, void** address, void** context,
                            HmbCleanupCallback* cleanup, tStatus* s) = 0;  // 129
  virtual void openHmbLlb(const char* name, uint64_t* bufferSize, void** bufferAddress,
                          void** bufferContext, HmbCleanupCallback* bufferCleanup,
                          uint64_t* pageSize, void** pageAddress, void** pageContext,
                          HmbCleanupCallback* pageCleanup, tStatus* s) = 0;  // 130
};

}  // namespace qvkel
