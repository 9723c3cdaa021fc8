// Sets the calibration polynomials' texts to arbitrary bytes. A text is either refused with
// -52003, changing nothing, or taken: then it reads back as a JSON array that gives the same
// coefficients again, and evaluating them is defined.

#include <cstdint>
#include <cstdlib>
#include <string>

#include "attributes/AttributeRegistry.h"
#include "clocks/CalibrationManager.h"
#include "foundation/driver/tInterfaceProxy_vandrelbrenmoor.h"
#include "foundation/errors/Exception.h"

namespace {

void check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using qvvandrel::CalibrationManager;
  nQVVANDRELBRENMOORU_22_8::tInterfaceProxy_vandrelbrenmoor sync;  // never opened or called
  qvvandrel::IfifoInterfaceCheck check3;
  const bool preferPxiClk10 = false;
  atat::AttributeRegistry registry(-304404, -304403, -304500);
  CalibrationManager manager(sync, &preferPxiClk10, &check3, nullptr, &registry);
  for (uint32_t id :
       {CalibrationManager::kTdcPolynomialId, CalibrationManager::kPhaseDacPolynomialId}) {
    auto* attribute = registry.getTyped<iattr::AttributeInterface<std::string>>(id, "");
    try {
      attribute->set(std::string(reinterpret_cast<const char*>(data), size));
    } catch (const qverr::ExceptionBase& e) {
      check(e.code() == -52003 && attribute->get() == "[]");
      continue;
    }
    const std::string shown = attribute->get();
    check(qvvandrel::formatPolynomial(qvvandrel::parsePolynomial(shown)) == shown);
    if (id == CalibrationManager::kTdcPolynomialId)
      check(qvvandrel::parsePolynomial(shown) == manager.copyTdcPolynomial());
  }
  static_cast<void>(manager.evaluateTdcPolynomial(size > 0 ? data[0] * 1000u : 0));
  try {
    static_cast<void>(manager.phaseDacFromDelay(size > 1 ? data[1] * 1e-11 : 0.0));
  } catch (const qverr::ExceptionBase& e) {
    check(e.code() == -52005);
  }
  return 0;
}
