#include "sessionbrenmoor/SessionAssemblerBrenmoor.h"

#include <cstring>

#include "channels/SerialChannels.h"
#include "clocks/PhaseDacCalibration.h"
#include "clocks/TdcCalibration.h"
#include "foundation/errors/ErrorCodes.h"
#include "foundation/errors/Exception.h"
#include "routing/TerminalAliasInfo.h"
#include "session/PersonalityConfigurerBrenmoor.h"
#include "session/SessionCommit.h"
#include "session/SessionRequests.h"
#include "session/TargetClassCheckerBrenmoor.h"
#include "sessionbrenmoor/SessionBrenmoor.h"
#include "streaming/StreamConfiguration.h"
#include "streaming/StreamRequests.h"

namespace qvvandrelbrenmooru {
namespace {

constexpr std::uint32_t kPrimaryMoskStreamId = 0x10000020;

// The device session as the host reaches it: every request goes to the dispatch, which reaches
// the session's features through the services below.
class ServedSessionBrenmoor final : public SessionBrenmoor,
                                    private SessionRequestServices,
                                    private qvvandrel::StreamingSession {
 public:
  template <typename... Args>
  explicit ServedSessionBrenmoor(Args&&... args)
      : SessionBrenmoor(std::forward<Args>(args)...),
        commit_{sessionMutex(), kommissar(), moduleIoIndicators(), feature7Flag(), proxy()},
        requests_(
            SessionRequestContext{proxy(),
                                  clipConfiguration(),
                                  bitfile(),
                                  {sessionMutex(), registry(), clipConfiguration(), kommissar()},
                                  commit_,
                                  syncMutex(),
                                  *static_cast<SessionRequestServices*>(this)}) {}

  void invoke(std::uint32_t kind, std::uint32_t code, std::uint64_t input, std::uint64_t inputSize,
              std::uint64_t output, std::uint64_t outputSize) override {
    requests_.invoke(kind, code, reinterpret_cast<const void*>(input), inputSize,
                     reinterpret_cast<void*>(output), outputSize);
  }

 private:
  // StreamingSession: the session mutex is recursive, so the commit takes it once more.
  void lock() override { sessionMutex().lock(); }
  void unlock() override { sessionMutex().unlock(); }
  void commitHeld() override { commitSession(commit_); }
  qvvandrel::StreamingAPI& streaming() override { return SessionBrenmoor::streaming(); }
  bool openedWithBit24() override { return isRestricted(); }
  qvkel::user::Session& fifoSession() override { return *this; }

  void streamRequest(const void* record, std::uint64_t recordSize, void* output,
                     std::uint64_t outputSize) override {
    dispatchStreamRequest(*this, record, recordSize, output, outputSize);
  }

  void runCalibrations(qverr::StatusDetailWriter& report) override {
    const std::vector<double> tdc = qvvandrel::calibrateTdc(proxy(), &report.writer());
    qvvandrel::InterfaceClient& interface3 = clipConfiguration().interface3;
    if (!interface3.done) interface3.requireInterface3();
    qvvandrel::calibratePhaseDac(proxy(), interface3.fifo, tdc, &report.writer());
  }
  // Every device session has its synchronisation interface.
  bool tdcPolynomial(std::vector<double>* coefficients) override {
    *coefficients = calibrationManager().copyTdcPolynomial();
    return true;
  }

  void runMethod(std::uint32_t index, const MethodArguments& arguments, void* output) override {
    switch (index) {
      case 4:
        calibrationManager().validateClockConfiguration();
        commitSession(commit_);
        calibrationManager().startCalibration();
        return;
      case 10:
        return configureAllStreams();
      case 11:
        calibrationManager().finishCalibration();
        commitSession(commit_);
        return;
      case 12: {
        const std::uint8_t idle = noStreamArmed();
        std::memcpy(output, &idle, 1);
        return;
      }
      default:
        break;
    }
    qvvandrel::SyncAPI& sync = fetchSyncApi();
    switch (index) {
      case 1:
        return sync.handleSyncOp1();
      case 2:
        return sync.handleSyncOp2();
      case 3:
        return sync.handleSyncOp3();
      case 5: {
        const double interval = sync.handleSyncOp5();
        std::memcpy(output, &interval, sizeof interval);
        return;
      }
      case 6:
        return sync.adjustment().handleSyncOp6(arguments.word);
      case 8:
        return sync.adjustment().applyPhaseDacDelay(arguments.first, arguments.second);
      case 9:
        return sync.adjustment().applyPeriodDelay(arguments.first);
      default:
        break;
    }
  }

  // Taken under the synchronisation mutex, so that a host holding it (method 13) keeps other
  // threads' synchronisation methods waiting; the operation runs after its release.
  qvvandrel::SyncAPI& fetchSyncApi() {
    std::lock_guard hold(syncMutex());
    return syncApi();
  }

  // Whether stream n's start-trigger index runs under Mosk control (no record: it has none).
  bool moskControlled(std::uint32_t n) {
    for (qvvandrel::StartTriggerAttributes& record : startTrigger().records()) {
      if (record.index == n) return record.moskControl.getCoerced();
    }
    return false;
  }
  bool inMask(std::uint32_t n) {
    return ((SessionBrenmoor::streaming().getStreamMask() >> n) & 1) != 0;
  }

  // The primary Mosk stream last, whatever its mask bit and control flag.
  void configureAllStreams() {
    const auto primary = static_cast<std::uint32_t>(
        registry()
            .getTyped<iattr::AttributeInterface<std::int32_t>>(kPrimaryMoskStreamId, "")
            ->getCoerced());
    for (std::uint32_t n = 0; n < qvvandrel::StreamingAPI::kStreamNumbers; ++n) {
      if (n != primary && inMask(n) && moskControlled(n)) qvvandrel::configureStream(*this, n);
    }
    qvvandrel::configureStream(*this, primary);
  }

  // 1 unless an examined stream is armed (state 1 or 2); every examined stream is read.
  std::uint8_t noStreamArmed() {
    std::uint8_t result = 1;
    for (std::uint32_t n = 0; n < qvvandrel::StreamingAPI::kStreamNumbers; ++n) {
      if (!inMask(n) || !moskControlled(n)) continue;
      unsigned char state = 0;
      {
        qverr::ThrowingStatusRecord status;
        state = SessionBrenmoor::streaming().getStreamRegisters(n).state.read(&status);
      }
      if (state == 1 || state == 2) result = 0;
    }
    return result;
  }

  std::string routingDeviceName() override { return routing().deviceName(); }
  std::uint32_t calculateRoute(const std::string& from, const std::string& to) override {
    return routing().routeClient().calculateRoute(from.c_str(), to.c_str(), nullptr);
  }
  void reserveRoute(std::uint32_t route) override { routing().routeClient().reserveRoute(route); }
  void programRoute(std::uint32_t route) override { routing().routeClient().programRoute(route); }
  void destroyRoute(std::uint32_t route) override { routing().routeClient().destroyRoute(route); }
  std::uint32_t i2cRead(const char* bus, std::uint16_t address, std::uint8_t* out,
                        std::uint32_t length, std::uint32_t option) override {
    return qvvandrel::SerialChannels::i2cRead(i2cBusMap(), bus, address, out, length, option);
  }
  std::uint32_t i2cWrite(const char* bus, std::uint16_t address, const std::uint8_t* data,
                         std::uint32_t length, std::uint32_t option) override {
    return qvvandrel::SerialChannels::i2cWrite(i2cBusMap(), bus, address, data, length, option);
  }
  void i2cWriteRead(const char* bus, std::uint16_t address, const std::uint8_t* data,
                    std::uint32_t writeLength, std::uint8_t* out, std::uint32_t readLength,
                    std::uint32_t option, std::uint32_t* writeResult,
                    std::uint32_t* bytesRead) override {
    qvvandrel::SerialChannels::i2cWriteRead(i2cBusMap(), bus, address, data, writeLength, out,
                                            readLength, option, writeResult, bytesRead);
  }
  void setCableSenseLines(bool high) override {
    if (high) {
      configuration().cableSense().setLinesHigh();
    } else {
      configuration().cableSense().setLinesLow();
    }
  }

  CommitTarget commit_;
  SessionRequests requests_;
};

}  // namespace

std::unique_ptr<qvkel::user::Session> SessionAssemblerBrenmoor::assemble(
    const SessionInputs& inputs) {
  auto aliases = std::make_shared<TerminalAliasInfo>(*inputs.bitfile);
  PersonalityConfigurerBrenmoor configurer(inputs.routes, inputs.driverName, inputs.proxy,
                                           *inputs.bitfile, inputs.openFlags, inputs.flashImage,
                                           aliases.get());
  TargetClassCheckerBrenmoor checker(inputs.attributeHandler, inputs.proxy);
  std::shared_ptr<qvkel::IAttributeHandler> handler = inputs.attributeHandler;
  std::shared_ptr<qvkel::user::IIoAccessor> accessor = inputs.ioAccessor;
  std::shared_ptr<const qvkel::Bitfile> bitfile = inputs.bitfile;
  std::shared_ptr<nQVVANDRELBRENMOORU_22_8::iInterfaceProxy_vandrelbrenmoor> proxy = inputs.proxy;
  return std::make_unique<ServedSessionBrenmoor>(inputs.fpga, proxy, configurer, checker, handler,
                                                 accessor, bitfile, inputs.name, inputs.openFlags,
                                                 inputs.routes, inputs.driverName.c_str(), aliases);
}

}  // namespace qvvandrelbrenmooru
