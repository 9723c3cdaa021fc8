#include "sessionbrenmoor/SessionAssemblerBrenmoor.h"

#include "channels/SerialChannels.h"
#include "foundation/errors/ErrorCodes.h"
#include "foundation/errors/Exception.h"
#include "routing/TerminalAliasInfo.h"
#include "session/PersonalityConfigurerBrenmoor.h"
#include "session/SessionRequests.h"
#include "session/TargetClassCheckerBrenmoor.h"
#include "sessionbrenmoor/SessionBrenmoor.h"

namespace qvvandrelbrenmooru {
namespace {

constexpr qverr::StatusLocation kNotServed{"./source/SessionBrenmoorServices", 30,
                                           qverr::kComponent};

// The device session as the host reaches it: every request goes to the dispatch, which reaches
// the session's features through the services below.
class ServedSessionBrenmoor final : public SessionBrenmoor, private SessionRequestServices {
 public:
  template <typename... Args>
  explicit ServedSessionBrenmoor(Args&&... args)
      : SessionBrenmoor(std::forward<Args>(args)...),
        requests_(SessionRequestContext{
            proxy(),
            clipConfiguration(),
            bitfile(),
            {sessionMutex(), registry(), clipConfiguration(), kommissar()},
            {sessionMutex(), kommissar(), moduleIoIndicators(), feature7Flag(), proxy()},
            syncMutex(),
            *this}) {}

  void invoke(std::uint32_t kind, std::uint32_t code, std::uint64_t input, std::uint64_t inputSize,
              std::uint64_t output, std::uint64_t outputSize) override {
    requests_.invoke(kind, code, reinterpret_cast<const void*>(input), inputSize,
                     reinterpret_cast<void*>(output), outputSize);
  }

 private:
  [[noreturn]] static void notServed() { qverr::raise(qverr::kOperationNotSupported, kNotServed); }
  // Streams, the synchronisation methods and the calibrations are not reachable from this
  // session yet.
  void streamRequest(const void*, std::uint64_t, void*, std::uint64_t) override { notServed(); }
  void runCalibrations(qverr::StatusDetailWriter&) override { notServed(); }
  bool tdcPolynomial(std::vector<double>*) override { return false; }
  void runMethod(std::uint32_t, const MethodArguments&, void*) override { notServed(); }

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
