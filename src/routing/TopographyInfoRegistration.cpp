#include <cstring>
#include <string>

#include "foundation/errors/ErrorCodes.h"
#include "foundation/errors/Exception.h"
#include "routing/TopographyInfo.h"

namespace qvvandrelbrenmoorra {

namespace {

constexpr qverr::StatusLocation kTopographyNotFound{
    "TopographyInfoRegistration", 36, qverr::kComponent, qverr::constant::kBadSelector};

// Zero before any initialiser runs (constant initialisation), so registrations from other
// translation units may come in any order relative to this one's.
const TopographyInfo* gTopographies[kTopographySlots] = {};
uint32_t gTopographyCount = 0;

// This generation's table first, then the other two generations'.
struct RegisterTables {
  RegisterTables() {
    registerTopographyInfo(&kBrenmoorTriggerRouting);
    registerTopographyInfo(&kVellmontTriggerRouting);
    registerTopographyInfo(&kOstroverTriggerRouting);
  }
};
const RegisterTables gRegisterTables;

}  // namespace

uint32_t registerTopographyInfo(const TopographyInfo* info) {
  if (gTopographyCount >= kTopographySlots) return kTopographySlots;
  gTopographies[gTopographyCount] = info;
  return gTopographyCount++;
}

const TopographyInfo& findTopographyInfo(const char* name) {
  for (uint32_t i = 0; i < gTopographyCount; ++i) {
    if (name != nullptr && std::strcmp(gTopographies[i]->name, name) == 0) {
      return *gTopographies[i];
    }
  }
  qverr::Status status;
  status.setCodeWithErrorConstant(qverr::kBadSelector, kTopographyNotFound);
  std::string text = "Topography not found: ";
  text += name != nullptr ? name : "";
  status.addString(status.reserveDetail(0), "qvark_debug", text.c_str());
  throw qverr::Exception(std::move(status));
}

}  // namespace qvvandrelbrenmoorra
