#include "sessionbrenmoor/SessionBrenmoor.h"

#include <cstdio>
#include <cstdlib>

#include "clip/DeviceResetGuard.h"
#include "clip/InterfaceMethods.h"
#include "devkit/AttributeHandlers.h"
#include "features/DelayBuffers.h"
#include "features/DeviceConstants.h"
#include "features/DspInstances.h"
#include "features/IocFilter.h"
#include "features/Scaling.h"
#include "foundation/errors/Exception.h"
#include "model/InstanceList.h"

namespace qvvandrelbrenmooru {

namespace {

constexpr const char* kFile = "qvvandrelbrenmooru/source/SessionBrenmoor";
constexpr qverr::StatusLocation kDriverTooOldAt{kFile, 412, qverr::kComponent};

// Capability 900 above this value needs a driver whose 0x040E answer is above kOldestDriver.
constexpr std::uint32_t kNewClipInterface = 38;
constexpr std::uint32_t kOldestDriver = 57;
// The generation query whose argument 7 tells the feature-7 flag.
constexpr std::uint32_t kFeature7 = 7;
constexpr std::uint32_t kSerialNumberAttribute = 4;
// The CLIP's version word (opcode 1 on FIFO 0): below the first or from the second value on,
// the fixed logic has the reset fault.
constexpr std::uint32_t kVersionOpcode = 1;
constexpr std::uint32_t kFixedLogicResetMended = 0x1270C000;
constexpr std::uint32_t kFixedLogicFaultyAgain = 0xFF000000;

bool ioModulePresent(nQVVANDRELBRENMOORU_22_8::iInterfaceProxy_vandrelio& io) {
  qverr::ThrowingStatusRecord status;
  return io.command0606(&status);
}

bool queryFeature7(nQVVANDRELBRENMOORU_22_8::iInterfaceProxy_vandrelbrenmoor& proxy) {
  qverr::ThrowingStatusRecord status;
  return proxy.command040B(kFeature7, &status) != 0;
}

void createMutex(nQVVANDRELBRENMOORU_22_8::nQVVUSK000::tMutex& mutex) {
  qverr::ThrowingStatusRecord status;
  mutex.create(&status);
}

std::string serialNumberText(qvkel::IAttributeHandler& handler) {
  bool found = false;
  const std::uint32_t value = handler.getU32(kSerialNumberAttribute, found);
  if (!found) return {};
  char text[9];
  std::snprintf(text, sizeof text, "%08lX", static_cast<unsigned long>(value));
  return text;
}

}  // namespace

SessionBrenmoor::SessionBrenmoor(const std::shared_ptr<qvkel::user::Fpga>& fpga,
                                 const std::shared_ptr<Proxy>& proxy,
                                 qvkel::IPersonalityConfigurer& configurer,
                                 qvkel::ITargetClassChecker& checker,
                                 std::shared_ptr<qvkel::IAttributeHandler>& attributeHandler,
                                 std::shared_ptr<qvkel::user::IIoAccessor>& ioAccessor,
                                 std::shared_ptr<const qvkel::Bitfile>& bitfile, const char* name,
                                 unsigned int options, qvrocoapi::RocoCpp* routes,
                                 const char* deviceName,
                                 std::shared_ptr<TerminalAliasInfo>& terminalAliases)
    : qvkel::user::SessionWithP2P(fpga, proxy, configurer, checker, attributeHandler, ioAccessor,
                                  bitfile, name, options),
      proxy_(proxy),
      instructionFifo_(*proxy_),
      clip_(instructionFifo_, ioModulePresent(*proxy_)),
      terminalAliases_(terminalAliases),
      feature7_(queryFeature7(*proxy_)),
      capabilities_(feature7_),
      registry_(kAttributeNotFound, kWrongAttributeType, kAttributeRegisteredTwice),
      kommissar_(&registry_, &clip_.deploy),
      calibration_(*proxy_, &feature7_, &clip_.interface3, &ioIndicators_, &registry_),
      bitfile_(bitfile),
      routes_(routes),
      deviceName_(deviceName != nullptr ? deviceName : ""),
      serialNumber_(serialNumberText(*attributeHandler)),
      traceInjection_(kTraceInjectionId, nullptr, false, nullptr, nullptr, &traceInjectionGetter_,
                      &traceInjectionSetter_),
      fixedLogicResetGetter_([this] { return fixedLogicResetBug_; }),
      fixedLogicReset_(kFixedLogicResetBugId, nullptr, false, nullptr, nullptr,
                       &fixedLogicResetGetter_, &fixedLogicResetSetter_),
      serialNumberGetter_([this] { return serialNumber_; }),
      serialNumberAttribute_(kSerialNumberId, nullptr, false, nullptr, nullptr,
                             &serialNumberGetter_, &serialNumberSetter_) {
  createMutex(lastErrorMutex_);
  createMutex(syncMutex_);
  createMutex(sessionMutex_);
  createMutex(spareMutex_);
  try {
    checkMultiSession();
    if (ioModulePresent(*proxy_)) capabilities_.load(instructionFifo_);
    checkDriverVersion();
    buildFeatures();
    registerSessionAttributes();
    readFixedLogicReset();
  } catch (...) {
    // The features go in the order teardown takes them; the members follow.
    releaseFeatures();
    throw;
  }
}

SessionBrenmoor::~SessionBrenmoor() {
  // A calibration still running uses the synchronisation interface, the features and the
  // module-IO indicators: it ends, and its results are dropped, before any of them goes.
  calibration_.discardPendingRun();
  releaseFeatures();
}

void SessionBrenmoor::releaseFeatures() noexcept {
  syncApi_.reset();
  for (auto& feature : furtherFeatures_) feature.reset();
  furtherFeatures_.clear();
  if (i2cBusMap_) qvvandrel::SerialChannels::destroyI2cBusMap(i2cBusMap_);
  moskGenerator_.reset();
  bitfileAttributes_.reset();
  ioIndicators_.reset();
  analogTrigger_.reset();
  deviceProperties_.reset();
  startTrigger_.reset();
  config_.reset();
  routing_.reset();
  streaming_.reset();
  transport_.reset();
}

void SessionBrenmoor::checkMultiSession() {
  // A driver that cannot answer counts as one that shares no module; its status is no failure.
  bool shared = false;
  try {
    nQVVUSKS100::tStatus status;
    shared = proxy_->command040D(&status);
  } catch (const qverr::Exception&) {
    shared = false;
  }
  if (shared || std::getenv(kMultiSessionVariable) != nullptr) return;
  qverr::ThrowingStatusRecord status;
  proxy_->command0909(&status);
}

void SessionBrenmoor::checkDriverVersion() {
  const boost::optional<unsigned int>& clipInterface = capabilities_.cap900.value;
  if (!clipInterface || *clipInterface <= kNewClipInterface) return;
  std::uint32_t driver;
  {
    qverr::ThrowingStatusRecord status;
    driver = proxy_->command040E(&status);
  }
  if (driver <= kOldestDriver) qverr::raise(kDriverTooOld, kDriverTooOldAt);
}

void SessionBrenmoor::buildFeatures() {
  transport_ = std::make_unique<qvvandrel::SessionTransport>(*this, bitfile_);
  streaming_ = std::make_unique<qvvandrel::StreamingAPI>(transport_.get(), &capabilities_);
  routing_ = std::make_unique<qvvandrel::RoutingAPI>(deviceName_, *terminalAliases_);
  config_ =
      std::make_unique<qvvandrel::ConfigAPI>(capabilities_, clip_, *transport_, *proxy_, feature7_);
  analogTrigger_ = std::make_unique<qvvandrel::AnalogTrigger>(transport_.get());
  startTrigger_ =
      std::make_unique<qvvandrel::StartTrigger>(*transport_, *terminalAliases_, deviceName_);
  moskGenerator_ = std::make_unique<qvvandrel::MoskGenerator>(*proxy_);
  i2cBusMap_ = qvvandrel::SerialChannels::buildI2cBusMap(
      *proxy_, capabilities_, ififo_rpc::FifoRef{&instructionFifo_, clip_.kFifoNumber});
  syncApi_ = std::make_unique<qvvandrel::SyncAPI>(*proxy_, clip_.interface3, calibration_);

  qvvandrel::SessionTransportInterface& transport = *transport_;
  furtherFeatures_.push_back(qvvandrel::IocFilter::create(transport, *proxy_));
  furtherFeatures_.push_back(std::make_unique<qvvandrel::Scaling>(capabilities_));
  furtherFeatures_.push_back(std::make_unique<qvvandrel::DeviceConstants>(capabilities_));
  furtherFeatures_.push_back(
      std::make_unique<qvvandrel::InstanceList<qvvandrel::DelayBufferInstance, 2>>(transport));
  furtherFeatures_.push_back(
      std::make_unique<qvvandrel::InstanceList<qvvandrel::AiDSPInstance, 2>>(transport));
  furtherFeatures_.push_back(
      std::make_unique<qvvandrel::InstanceList<qvvandrel::AoDSPInstance, 2>>(transport));

  kommissar_.setPrimary(config_.get());
  kommissar_.addCommission(startTrigger_.get());
  kommissar_.addCommission(analogTrigger_.get());
  kommissar_.addCommission(streaming_.get());
  kommissar_.addCommission(routing_.get());
  kommissar_.addCommission(moskGenerator_.get());
  kommissar_.addCommission(syncApi_.get());
  for (auto& feature : furtherFeatures_) kommissar_.addCommission(feature.get());
  kommissar_.commission();

  deviceProperties_ = std::make_unique<qvvandrel::DevicePropertiesAPI>(*proxy_, instructionFifo_);
  deviceProperties_->registerAttributes(registry_);
  ioIndicators_ = qvvandrel::ModuleIoIndicators::create(transport);
  if (ioIndicators_) ioIndicators_->registerAttributes(registry_);
  bitfileAttributes_ = std::make_unique<BitfileAttributes>(*bitfile_);
  registry_.addAttribute(&bitfileAttributes_->bitfileVersion());
  registry_.addAttribute(&bitfileAttributes_->bitfileVendor());
  registry_.addAttribute(&bitfileAttributes_->bitfileIdentity());
}

void SessionBrenmoor::registerSessionAttributes() {
  registry_.addAttribute(&traceInjection_);
  registry_.addAttribute(&fixedLogicReset_);
  registry_.addAttribute(&serialNumberAttribute_);
}

void SessionBrenmoor::readFixedLogicReset() {
  // A CLIP that cannot tell its version answers 0, which counts as the faulty logic.
  nQVVUSKS100::tStatus status;
  const std::uint32_t version = ififo_rpc::callInstruction(ififo_rpc::FifoRef{&instructionFifo_, 0},
                                                           kVersionOpcode, {}, false, &status);
  fixedLogicResetBug_ = version < kFixedLogicResetMended || version >= kFixedLogicFaultyAgain;
}

bool SessionBrenmoor::download(const std::uint8_t* bytes, std::size_t size) {
  bool running;
  {
    const DeviceResetGuard guard(routes_, &deviceName_);
    running = qvkel::user::SessionWithP2P::download(bytes, size);
  }
  kommissar_.requestRedeploy();
  return running;
}

void SessionBrenmoor::reset() {
  {
    const DeviceResetGuard guard(routes_, &deviceName_);
    qvkel::user::SessionWithP2P::reset();
  }
  kommissar_.requestRedeploy();
}

}  // namespace qvvandrelbrenmooru
