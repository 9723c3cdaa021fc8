#include "model/IfifoInterfaceCheck.h"

#include <algorithm>

#include "foundation/errors/ErrorCodes.h"
#include "foundation/errors/Exception.h"

namespace qvvandrel {

namespace {

bool oldestAtMostVersionOr2(const ififo_rpc::InterfaceVersions& v) {
  return v.oldest <= std::min<uint32_t>(v.current, 2);
}

bool oldestZero(const ififo_rpc::InterfaceVersions& v) {
  return v.oldest == 0;
}

bool analogInputWindow(const ififo_rpc::InterfaceVersions& v) {
  return v.oldest <= v.current && v.oldest <= 2 && v.current != 0;
}

bool analogOutputWindow(const ififo_rpc::InterfaceVersions& v) {
  return v.current != 0 ? v.oldest <= 1 : v.oldest == 0;
}

}  // namespace

bool IfifoInterfaceCheck::satisfies(uint16_t interface, VersionRule rule, QueryFailure onFailure) {
  nQVVUSKS100::tStatus status;
  const ififo_rpc::InterfaceVersions versions =
      ififo_rpc::getInterfaceVersions(fifo, interface, &status);
  if (status.isError()) {
    if (onFailure == QueryFailure::kRaised) qverr::throwRecord(status);
    return false;
  }
  return versions.present() && rule(versions);
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

bool IfifoInterfaceCheck::isVersionCompatible19() {
  return satisfies(19, &oldestZero);
}

bool IfifoInterfaceCheck::isVersionCompatible21() {
  return satisfies(21, &oldestZero);
}

bool IfifoInterfaceCheck::isVersionCompatible9() {
  return satisfies(9, &analogInputWindow, QueryFailure::kRaised);
}

bool IfifoInterfaceCheck::isVersionCompatible13() {
  return satisfies(13, &analogOutputWindow, QueryFailure::kRaised);
}

bool IfifoInterfaceCheck::isVersionCompatible20() {
  return satisfies(20, &oldestZero, QueryFailure::kRaised);
}

void IfifoInterfaceCheck::requireInterface9() {
  requireInterface(9, &analogInputWindow, QueryFailure::kRaised);
}

void IfifoInterfaceCheck::requireInterface3() {
  requireInterface(3, &oldestAtMostVersionOr2);
}

void IfifoInterfaceCheck::requireInterface19() {
  requireInterface(19, &oldestZero);
}

void IfifoInterfaceCheck::requireInterface21() {
  requireInterface(21, &oldestZero);
}

void IfifoInterfaceCheck::requireInterface13() {
  requireInterface(13, &analogOutputWindow, QueryFailure::kRaised);
}

void IfifoInterfaceCheck::requireInterface20() {
  requireInterface(20, &oldestZero, QueryFailure::kRaised);
}

}  // namespace qvvandrel
