#include "model/IfifoInterfaceCheck.h"

#include <algorithm>

#include "foundation/errors/ErrorCodes.h"
#include "foundation/errors/Exception.h"

namespace qvvandrel {

namespace {

constexpr auto kRaised = IfifoInterfaceCheck::QueryFailure::kRaised;

}  // namespace

bool IfifoInterfaceCheck::oldestAtMostVersionOr1(const ififo_rpc::InterfaceVersions& v) {
  return v.oldest <= std::min<uint32_t>(v.current, 1);
}

bool IfifoInterfaceCheck::oldestAtMostVersionOr2(const ififo_rpc::InterfaceVersions& v) {
  return v.oldest <= std::min<uint32_t>(v.current, 2);
}

bool IfifoInterfaceCheck::oldestAtMostVersionAnd2(const ififo_rpc::InterfaceVersions& v) {
  return v.oldest <= v.current && v.oldest <= 2 && v.current != 0;
}

bool IfifoInterfaceCheck::oldestZero(const ififo_rpc::InterfaceVersions& v) {
  return v.oldest == 0;
}

bool IfifoInterfaceCheck::satisfies(uint16_t interface, VersionRule rule,
                                    nQVVUSKS100::tStatus* status) {
  const ififo_rpc::InterfaceVersions versions =
      ififo_rpc::getInterfaceVersions(fifo, interface, status);
  return !status->isError() && versions.present() && rule(versions);
}

bool IfifoInterfaceCheck::satisfies(uint16_t interface, VersionRule rule, QueryFailure onFailure) {
  nQVVUSKS100::tStatus status;
  const bool compatible = satisfies(interface, rule, &status);
  if (status.isError() && onFailure == QueryFailure::kRaised) qverr::throwRecord(status);
  return compatible;
}

void IfifoInterfaceCheck::requireInterface(uint16_t interface, VersionRule rule,
                                           QueryFailure onFailure) {
  if (done) return;
  bool supported;
  {
    qverr::ThrowingStatusRecord status;
    supported = ififo_rpc::isInterfaceSupported(fifo, interface, &status);
  }
  if (!supported) qverr::throwError(qverr::kIFifoUnsupportedInterface);
  if (!satisfies(interface, rule, onFailure)) {
    qverr::throwError(qverr::kIFifoInterfaceVersionMismatch);
  }
  done = true;
}

bool IfifoInterfaceCheck::isVersionCompatible() {
  return satisfies(3, &oldestAtMostVersionOr2);
}
bool IfifoInterfaceCheck::isVersionCompatible2() {
  return satisfies(2, &oldestAtMostVersionOr1, kRaised);
}
bool IfifoInterfaceCheck::isVersionCompatible9() {
  return satisfies(9, &oldestAtMostVersionAnd2, kRaised);
}
bool IfifoInterfaceCheck::isVersionCompatible13() {
  return satisfies(13, &oldestAtMostVersionOr1, kRaised);
}
bool IfifoInterfaceCheck::isVersionCompatible14() {
  return satisfies(14, &oldestZero, kRaised);
}
bool IfifoInterfaceCheck::isVersionCompatible18() {
  return satisfies(0x12, &oldestAtMostVersionOr1);
}
bool IfifoInterfaceCheck::isVersionCompatible19() {
  return satisfies(19, &oldestZero);
}
bool IfifoInterfaceCheck::isVersionCompatible20() {
  return satisfies(20, &oldestZero, kRaised);
}
bool IfifoInterfaceCheck::isVersionCompatible21() {
  return satisfies(21, &oldestZero);
}

void IfifoInterfaceCheck::requireInterface2() {
  requireInterface(2, &oldestAtMostVersionOr1, kRaised);
}
void IfifoInterfaceCheck::requireInterface3() {
  requireInterface(3, &oldestAtMostVersionOr2);
}
void IfifoInterfaceCheck::requireInterface9() {
  requireInterface(9, &oldestAtMostVersionAnd2, kRaised);
}
void IfifoInterfaceCheck::requireInterface13() {
  requireInterface(13, &oldestAtMostVersionOr1, kRaised);
}
void IfifoInterfaceCheck::requireInterface14() {
  requireInterface(14, &oldestZero, kRaised);
}
void IfifoInterfaceCheck::requireInterface18() {
  requireInterface(0x12, &oldestAtMostVersionOr1);
}
void IfifoInterfaceCheck::requireInterface19() {
  requireInterface(19, &oldestZero);
}
void IfifoInterfaceCheck::requireInterface20() {
  requireInterface(20, &oldestZero, kRaised);
}
void IfifoInterfaceCheck::requireInterface21() {
  requireInterface(21, &oldestZero);
}

}  // namespace qvvandrel
