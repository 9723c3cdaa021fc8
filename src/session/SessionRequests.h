#pragma once
// The one entry through which the host reaches what the generic FPGA session does not cover:
// kernel-interface pass-through codes, CLIP instructions, the TDC measurements, bitfile text,
// the mapped region, the last error's details, and code 256's request groups (streams,
// attributes, methods, routes, transfers, serial transfers, debug).
//
// The dispatch keeps the state the requests change (the mapping, the last error, the host's
// hold on the synchronisation mutex); the features of the higher subsystems are reached
// through SessionRequestServices, which the device session implements.

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "devkit/Bitfile.h"
#include "foundation/driver/tInterfaceProxy_vandrelbrenmoor.h"
#include "foundation/errors/StatusDetailWriter.h"
#include "foundation/platform/synchronization.h"
#include "model/AttributeRequests.h"
#include "model/ClipConfiguration.h"
#include "session/SessionCommit.h"

namespace qvvandrelbrenmooru {

inline constexpr std::uint32_t kRequestKind = 2;
inline constexpr std::uint32_t kGroupRequestCode = 256;

enum RequestGroup : std::uint32_t {
  kStreamGroup = 0x101,
  kAttributeGroup = 0x102,
  kMethodGroup = 0x104,
  kRouteGroup = 0x105,
  kIndexedTransferGroup = 0x106,
  kSerialTransferGroup = 0x107,
};

// The arguments of a method request, read from its packed record.
struct MethodArguments {
  double first = 0;        // methods 8 and 9, offset 20
  std::uint32_t word = 0;  // method 6, offset 24
  double second = 0;       // method 8, offset 28
};

// What the requests need of the features above this subsystem.
class SessionRequestServices {
 public:
  virtual ~SessionRequestServices() = default;
  // Group 257, the record handed on unchanged.
  virtual void streamRequest(const void* record, std::uint64_t recordSize, void* output,
                             std::uint64_t outputSize) = 0;
  // Group 261: the routing feature's device name and its route session.
  virtual std::string routingDeviceName() = 0;
  virtual std::uint32_t calculateRoute(const std::string& fromPath, const std::string& toPath) = 0;
  virtual void reserveRoute(std::uint32_t route) = 0;
  virtual void programRoute(std::uint32_t route) = 0;
  virtual void destroyRoute(std::uint32_t route) = 0;
  // Group 263 on the serial channels' I2C buses.
  virtual std::uint32_t i2cRead(const char* bus, std::uint16_t address, std::uint8_t* out,
                                std::uint32_t length, std::uint32_t option) = 0;
  virtual std::uint32_t i2cWrite(const char* bus, std::uint16_t address, const std::uint8_t* data,
                                 std::uint32_t length, std::uint32_t option) = 0;
  virtual void i2cWriteRead(const char* bus, std::uint16_t address, const std::uint8_t* data,
                            std::uint32_t writeLength, std::uint8_t* out, std::uint32_t readLength,
                            std::uint32_t option, std::uint32_t* writeResult,
                            std::uint32_t* bytesRead) = 0;
  // Codes 38 and 39: every enabled cable-sense line high or low.
  virtual void setCableSenseLines(bool high) = 0;
  // Code 12: the TDC and then the phase-DAC calibration, writing into the report.
  virtual void runCalibrations(qverr::StatusDetailWriter& report) = 0;
  // Code 13: false when the session has no synchronisation interface; else the TDC calibration
  // polynomial, constant term first.
  virtual bool tdcPolynomial(std::vector<double>* coefficients) = 0;
  // Methods 1 to 6 and 8 to 12 (synchronisation, calibration, stream configuration); the
  // output has room for what the method writes.
  virtual void runMethod(std::uint32_t index, const MethodArguments& arguments, void* output) = 0;
};

// What the dispatch reaches of the session; all of it is the session's and outlives it.
struct SessionRequestContext {
  nQVVANDRELBRENMOORU_22_8::iInterfaceProxy_vandrelbrenmoor& proxy;
  qvvandrel::ClipConfiguration& clip;
  const qvkel::Bitfile& bitfile;
  qvvandrel::AttributeRequestTarget attributes;
  CommitTarget commit;
  // The second of the session's mutexes, which methods 13 and 14 hold and release.
  nQVVANDRELBRENMOORU_22_8::nQVVUSK000::tMutex& syncMutex;
  SessionRequestServices& services;
};

class SessionRequests {
 public:
  // The last-error mutex cannot be created: -52003.
  explicit SessionRequests(const SessionRequestContext& context);
  // Releases the mapping, and a hold of the synchronisation mutex a host left behind.
  ~SessionRequests();
  SessionRequests(const SessionRequests&) = delete;
  SessionRequests& operator=(const SessionRequests&) = delete;

  // Kind 2 only, the codes of the table only (-63193); every size and buffer is checked before
  // anything is sent or written (-52005). A failure inside a request group is also kept as
  // the last error, for code 800.
  void invoke(std::uint32_t kind, std::uint32_t code, const void* input, std::uint64_t inputSize,
              void* output, std::uint64_t outputSize);

  // The last error a request group raised (0 after code 800 took it).
  std::int32_t lastErrorCode();

 private:
  void dispatchGroup(const void* record, std::uint64_t recordSize, void* output,
                     std::uint64_t outputSize);
  void methodRequest(const void* record, std::uint64_t recordSize, void* output,
                     std::uint64_t outputSize);
  void routeRequest(const void* record, std::uint64_t recordSize, void* output,
                    std::uint64_t outputSize);
  void indexedTransfer(const void* record, std::uint64_t recordSize, void* output,
                       std::uint64_t outputSize);
  void serialTransfer(const void* record, std::uint64_t recordSize, void* output,
                      std::uint64_t outputSize);
  void lastErrorDetails(const void* input, std::uint64_t inputSize, void* output,
                        std::uint64_t outputSize);
  void mapRegion(void* output);
  void unmapRegion();
  void storeBitfile(std::uint32_t slot);
  void calibrationRun(void* output, std::uint64_t outputSize);
  void tdcMeasurement(const void* input, void* output, std::uint64_t outputSize);
  void tdcPulseSweep(std::uint32_t first, std::uint32_t end, void* output,
                     std::uint64_t outputSize);
  void blockTransfer(const void* input);
  // Methods 13 and 14: the host's hold on the synchronisation mutex, by thread and depth.
  void holdSyncMutex();
  void releaseSyncMutex();

  SessionRequestContext context_;
  nQVVANDRELBRENMOORU_22_8::nQVVUSK000::tMutex lastErrorMutex_;
  std::int32_t lastErrorCode_ = 0;
  std::string lastErrorDetail_;
  nQVVANDRELBRENMOORU_22_8::nQVVUSK000::tMapping mapping_;
  std::atomic<std::thread::id> syncHolder_{};
  std::uint32_t syncDepth_ = 0;  // changed only by the holder
};

}  // namespace qvvandrelbrenmooru
