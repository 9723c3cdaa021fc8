#pragma once
// The device session of this module generation. Its constructor assembles everything the
// session serves: the instruction FIFO to the CLIP, the CLIP's capability tree, the attribute
// registry, the Kommissar with its four dependency roots, every feature of the module with its
// attributes, the register transport and the session-level attributes; then it commissions
// every feature into the dependency graph once. Construction starts no thread.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "attributes/Attribute.h"
#include "attributes/AttributeRegistry.h"
#include "attributes/Policies.h"
#include "channels/SerDesI2c.h"
#include "clip/ClipCapabilities.h"
#include "clip/InstructionFifo.h"
#include "clocks/CalibrationManager.h"
#include "clocks/MoskGenerator.h"
#include "clocks/SyncAPI.h"
#include "devkit/BitfileAttributes.h"
#include "devkit/Session.h"
#include "devkit/SessionServices.h"
#include "features/AnalogTrigger.h"
#include "features/StartTrigger.h"
#include "foundation/driver/tInterfaceProxy_vandrelbrenmoor.h"
#include "foundation/platform/synchronization.h"
#include "model/ClipConfiguration.h"
#include "model/CommissionInterface.h"
#include "model/DevicePropertiesAPI.h"
#include "model/Kommissar.h"
#include "routing/RoutingAPI.h"
#include "routing/TerminalAliasInfo.h"
#include "session/ModuleIoIndicators.h"
#include "session/RocoCpp.h"
#include "session/SessionTransport.h"
#include "sessionbrenmoor/ConfigAPI.h"
#include "streaming/SessionWithP2P.h"
#include "streaming/StreamingAPI.h"

namespace qvvandrelbrenmooru {

class SessionBrenmoor : public qvkel::user::SessionWithP2P {
 public:
  using Proxy = nQVVANDRELBRENMOORU_22_8::iInterfaceProxy_vandrelbrenmoor;

  static constexpr std::int32_t kAttributeNotFound = -304404;
  static constexpr std::int32_t kWrongAttributeType = -304403;
  static constexpr std::int32_t kAttributeRegisteredTwice = -304500;
  // The driver is too old for the CLIP (capability 900 above 38 needs 0x040E above 57).
  static constexpr std::int32_t kDriverTooOld = -304334;
  static constexpr const char* kMultiSessionVariable = "VANDREL_ALLOW_MULTISESSION";

  static constexpr std::uint32_t kTraceInjectionId = 0x30000008;
  static constexpr std::uint32_t kFixedLogicResetBugId = 0x4000000D;
  static constexpr std::uint32_t kSerialNumberId = 0x30000010;

  // Arguments 1 to 9 go to the base session. `routes` is null without the route library; the
  // device name goes to the routing feature and the device-reset notices. A failing step
  // destroys what was built, in reverse order, and leaves.
  SessionBrenmoor(const std::shared_ptr<qvkel::user::Fpga>& fpga,
                  const std::shared_ptr<Proxy>& proxy, qvkel::IPersonalityConfigurer& configurer,
                  qvkel::ITargetClassChecker& checker,
                  std::shared_ptr<qvkel::IAttributeHandler>& attributeHandler,
                  std::shared_ptr<qvkel::user::IIoAccessor>& ioAccessor,
                  std::shared_ptr<const qvkel::Bitfile>& bitfile, const char* name,
                  unsigned int options, qvrocoapi::RocoCpp* routes, const char* deviceName,
                  std::shared_ptr<TerminalAliasInfo>& terminalAliases);
  ~SessionBrenmoor() override;
  SessionBrenmoor(const SessionBrenmoor&) = delete;
  SessionBrenmoor& operator=(const SessionBrenmoor&) = delete;

  // Both run inside the route library's device-reset notices, and make the next commit
  // rewrite every feature.
  bool download(const std::uint8_t* bytes, std::size_t size) override;
  void reset() override;

  // What the requests reach.
  atat::AttributeRegistry& registry() { return registry_; }
  qvvandrel::KommissarBrenmoor& kommissar() { return kommissar_; }
  // The dependency graph as Graphviz edge text, built on the first call.
  const std::string& graphText() { return kommissar_.graph(); }
  qvvandrel::ClipConfiguration& clipConfiguration() { return clip_; }
  const qvvandrel::ClipCapabilities& capabilities() const { return capabilities_; }
  Proxy& proxy() { return *proxy_; }
  InstructionFifo& instructionFifo() { return instructionFifo_; }
  const qvkel::Bitfile& bitfile() const { return *bitfile_; }
  bool feature7Flag() const { return feature7_; }
  bool fixedLogicResetBug() const { return fixedLogicResetBug_; }
  const std::string& deviceName() const { return deviceName_; }
  // The four recursive mutexes: the last error's, the synchronisation mutex (methods 13 and
  // 14), the session mutex (attribute requests, commit, debug and stream configuration).
  nQVVANDRELBRENMOORU_22_8::nQVVUSK000::tMutex& lastErrorMutex() { return lastErrorMutex_; }
  nQVVANDRELBRENMOORU_22_8::nQVVUSK000::tMutex& syncMutex() { return syncMutex_; }
  nQVVANDRELBRENMOORU_22_8::nQVVUSK000::tMutex& sessionMutex() { return sessionMutex_; }
  // Null when the bitfile lacks the module-IO registers.
  qvvandrel::ModuleIoIndicators* moduleIoIndicators() { return ioIndicators_.get(); }
  qvvandrel::SessionTransport& transport() { return *transport_; }
  qvvandrel::StreamingAPI& streaming() { return *streaming_; }
  qvvandrel::RoutingAPI& routing() { return *routing_; }
  qvvandrel::ConfigAPI& configuration() { return *config_; }
  qvvandrel::StartTrigger& startTrigger() { return *startTrigger_; }
  qvvandrel::AnalogTrigger& analogTrigger() { return *analogTrigger_; }
  qvvandrel::SerDesI2cContext& i2cBusMap() { return *i2cBusMap_; }
  qvvandrel::CalibrationManager& calibrationManager() { return calibration_; }
  qvvandrel::MoskGenerator& moskGenerator() { return *moskGenerator_; }
  qvvandrel::SyncAPI& syncApi() { return *syncApi_; }

 private:
  void checkMultiSession();
  void checkDriverVersion();
  void registerSessionAttributes();
  void readFixedLogicReset();
  void buildFeatures();
  // Deletes the synchronisation interface and the owned features in teardown order.
  void releaseFeatures() noexcept;

  std::shared_ptr<Proxy> proxy_;
  InstructionFifo instructionFifo_;
  qvvandrel::ClipConfiguration clip_;
  std::shared_ptr<TerminalAliasInfo> terminalAliases_;
  bool feature7_;
  qvvandrel::ClipCapabilities capabilities_;
  atat::AttributeRegistry registry_;
  qvvandrel::KommissarBrenmoor kommissar_;
  qvvandrel::CalibrationManager calibration_;

  std::unique_ptr<qvvandrel::SessionTransport> transport_;
  std::unique_ptr<qvvandrel::StreamingAPI> streaming_;
  std::unique_ptr<qvvandrel::RoutingAPI> routing_;
  std::unique_ptr<qvvandrel::ConfigAPI> config_;
  std::unique_ptr<qvvandrel::StartTrigger> startTrigger_;
  std::unique_ptr<qvvandrel::DevicePropertiesAPI> deviceProperties_;
  std::unique_ptr<qvvandrel::AnalogTrigger> analogTrigger_;
  std::unique_ptr<qvvandrel::ModuleIoIndicators> ioIndicators_;
  std::unique_ptr<BitfileAttributes> bitfileAttributes_;
  std::unique_ptr<qvvandrel::MoskGenerator> moskGenerator_;
  std::unique_ptr<qvvandrel::SerDesI2cContext> i2cBusMap_;
  std::vector<std::unique_ptr<qvvandrel::CommissionInterface>> furtherFeatures_;

  bool fixedLogicResetBug_ = false;
  std::shared_ptr<const qvkel::Bitfile> bitfile_;
  nQVVANDRELBRENMOORU_22_8::nQVVUSK000::tMutex lastErrorMutex_;
  nQVVANDRELBRENMOORU_22_8::nQVVUSK000::tMutex syncMutex_;
  nQVVANDRELBRENMOORU_22_8::nQVVUSK000::tMutex sessionMutex_;
  nQVVANDRELBRENMOORU_22_8::nQVVUSK000::tMutex spareMutex_;
  qvrocoapi::RocoCpp* routes_;
  std::string deviceName_;

  std::string serialNumber_;
  atat::NotGettable<std::string> traceInjectionGetter_{-304413};
  atat::FunctorSetter<std::string> traceInjectionSetter_{[](const std::string&) {}};
  atat::Attribute<std::string> traceInjection_;
  atat::FunctorGetter<bool> fixedLogicResetGetter_;
  atat::NotSettable<bool> fixedLogicResetSetter_{-304414};
  atat::Attribute<bool> fixedLogicReset_;
  atat::FunctorGetter<std::string> serialNumberGetter_;
  atat::NotSettable<std::string> serialNumberSetter_{-304414};
  atat::Attribute<std::string> serialNumberAttribute_;

  std::unique_ptr<qvvandrel::SyncAPI> syncApi_;
};

}  // namespace qvvandrelbrenmooru
