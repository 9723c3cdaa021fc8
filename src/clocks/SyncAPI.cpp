#include "clocks/SyncAPI.h"

#include "attributes/ValueEnumerations.h"
#include "clocks/CalibrationManager.h"
#include "foundation/errors/Exception.h"
#include "model/AttributeCatalogue.h"

namespace qvvandrel {

namespace {

constexpr std::uint32_t kIntervalCountArgument = 500;
constexpr double kSecondsPerTick = 1e-8;

SyncInterfaceHolder holdInterface(SyncInterface& sync, CalibrationManager& calibration) {
  SyncInterfaceHolder holder{&sync, &calibration, {}, false};
  const bool flag = sync.command050B(&holder.constructionStatus);
  holder.syncFlag = flag && !holder.constructionStatus.isError();
  return holder;
}

}  // namespace

// Legacy attributes the host reads and writes; nothing in the library reads them.
struct SyncAPI::Attributes {
  CatalogueAttribute<8581> value8581{nullptr, initialValue(0u)};
  CatalogueAttribute<8848> value8848{nullptr, initialValue(0x3000000u)};
  CatalogueAttribute<8849> value8849{nullptr, initialValue(0x3000000u)};
  CatalogueAttribute<12237> sessionType{nullptr, initialValue(qvajel_SessionType{8})};
  CatalogueAttribute<6468> flag6468{nullptr, initialValue(false)};
  CatalogueAttribute<8794> value8794{nullptr, initialValue(0.0)};
  CatalogueAttribute<8796> value8796{nullptr, initialValue(0.0)};
};

SyncAPI::SyncAPI(SyncInterface& sync, InterfaceClient& clipCheck, CalibrationManager& calibration)
    : holder_(holdInterface(sync, calibration)),
      adjustment_(sync, clipCheck, calibration),
      attributes_(std::make_unique<Attributes>()) {}

SyncAPI::~SyncAPI() = default;

void SyncAPI::registerAttributes(atat::AttributeRegistry* registry) {
  Attributes& a = *attributes_;
  for (iattr::AttributeBaseInterface* attribute :
       std::initializer_list<iattr::AttributeBaseInterface*>{
           &a.value8581, &a.value8848, &a.value8849, &a.sessionType, &a.flag6468, &a.value8794,
           &a.value8796}) {
    registry->addAttribute(attribute);
  }
  adjustment_.registerAttributes(registry);
}

void SyncAPI::commission(const ResolverRoots* roots, atat::AttributeRegistry* registry) {
  adjustment_.commission(roots, registry);
}

void SyncAPI::handleSyncOp1() {
  sync::syncMethod6(*holder_.sync);
}

void SyncAPI::handleSyncOp2() {
  if (holder_.constructionStatus.isError()) qverr::throwRecord(holder_.constructionStatus);
  sync::selectSyncMode(*holder_.sync, 0);
}

void SyncAPI::handleSyncOp3() {
  sync::syncMethod3(*holder_.sync);
}

double SyncAPI::handleSyncOp5() {
  SyncInterface& sync = *holder_.sync;
  const std::uint32_t count = sync::readTdcCount(sync, kIntervalCountArgument);
  const std::uint64_t a = sync::readCounterA(sync);
  const std::uint64_t b = sync::readCounterB(sync);
  std::uint64_t ticks = b - a;
  if (!holder_.syncFlag) ticks = ticks / 10 * 10;
  return static_cast<double>(ticks) * kSecondsPerTick -
         holder_.calibration->evaluateTdcPolynomial(count);
}

}  // namespace qvvandrel
