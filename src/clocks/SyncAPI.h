#pragma once
// The session's synchronisation feature: its handle on the driver's synchronisation interface
// with the sync flag read when it is built, seven legacy attributes that are only stored, the
// Mosk adjustment, and the synchronisation entries of the session's method requests
// (indexes 1, 2, 3 and 5 here; 6, 8 and 9 through adjustment()).

#include <cstdint>
#include <memory>

#include "clocks/MoskAdjustment.h"
#include "clocks/SyncMethods.h"
#include "foundation/errors/Status.h"
#include "model/ClipConfiguration.h"
#include "model/CommissionInterface.h"

namespace qvvandrel {

class CalibrationManager;

struct SyncInterfaceHolder {
  SyncInterface* sync;
  CalibrationManager* calibration;
  // The outcome of the sync-flag query when the feature was built (full record).
  nQVVUSKS100::tStatus constructionStatus;
  bool syncFlag = false;
};

class SyncAPI : public CommissionInterface {
 public:
  struct Attributes;

  // All three are the session's and outlive the feature; `clipCheck` is its record of CLIP
  // interface 3. A failing sync-flag query is kept, not raised (index 2 raises it).
  SyncAPI(SyncInterface& sync, InterfaceClient& clipCheck, CalibrationManager& calibration);
  SyncAPI(const SyncAPI&) = delete;
  SyncAPI& operator=(const SyncAPI&) = delete;
  ~SyncAPI() override;

  // 8581, 8848, 8849, 12237, 6468, 8794, 8796, then the Mosk adjustment's.
  void registerAttributes(atat::AttributeRegistry* registry) override;
  // The Mosk adjustment's only: the seven attributes are stored and returned, nothing more.
  void commission(const ResolverRoots* roots, atat::AttributeRegistry* registry) override;

  // Index 1: method 6.
  void handleSyncOp1();
  // Index 2: the kept failure of the sync-flag query, or method 2 with mode 0.
  void handleSyncOp2();
  // Index 3: method 3.
  void handleSyncOp3();
  // Index 5: the interval between the two counters in seconds (10 ns ticks, whole tens of
  // ticks without the sync flag) less the TDC polynomial at a fresh count.
  double handleSyncOp5();

  MoskAdjustment& adjustment() { return adjustment_; }
  const SyncInterfaceHolder& holder() const { return holder_; }

 private:
  SyncInterfaceHolder holder_;
  MoskAdjustment adjustment_;
  std::unique_ptr<Attributes> attributes_;
};

}  // namespace qvvandrel
