#pragma once
// The once-per-session check that a CLIP interface exists and speaks a version this library
// understands, before a feature sends it instructions. The session keeps one checker per
// interface; the interface number belongs to the check, not to the checker.

#include "clip/Instruction.h"
#include "clip/InterfaceMethods.h"
#include "foundation/errors/Status.h"

namespace qvvandrel {

struct IfifoInterfaceCheck {
  ififo_rpc::FifoRef fifo;
  bool done = false;  // set by the first successful requirement

  // Version rules. What a failed version query means differs: interface 3 and 0x12 (18) take
  // it as incompatible, the others raise it as it is.
  // Interface 3: oldest compatible version <= min(version, 2).
  bool isVersionCompatible();
  // Interfaces 2, 13 and 0x12: oldest compatible version <= min(version, 1).
  bool isVersionCompatible2();
  bool isVersionCompatible13();
  bool isVersionCompatible18();
  // Interface 9: oldest compatible version <= version, oldest compatible version <= 2 and
  // version != 0.
  bool isVersionCompatible9();
  // Interfaces 14, 19, 20 and 21: oldest compatible version 0.
  bool isVersionCompatible14();
  bool isVersionCompatible19();
  bool isVersionCompatible20();
  bool isVersionCompatible21();

  // Unless done: -304306 when the interface is not supported (a failed support query is
  // raised as it is), -304307 when its version rule fails; then done.
  void requireInterface2();
  void requireInterface3();
  void requireInterface9();
  void requireInterface13();
  void requireInterface14();
  void requireInterface18();
  void requireInterface19();
  void requireInterface20();
  void requireInterface21();

  // The building blocks for further interfaces and for callers that read a failed query their
  // own way. The handle and version window of an interface under a rule: a failed query makes
  // the answer false and is left in `status`.
  using VersionRule = bool (*)(const ififo_rpc::InterfaceVersions& versions);
  bool satisfies(uint16_t interface, VersionRule rule, nQVVUSKS100::tStatus* status);
  enum class QueryFailure : uint8_t { kIncompatible, kRaised };
  bool satisfies(uint16_t interface, VersionRule rule,
                 QueryFailure onFailure = QueryFailure::kIncompatible);
  void requireInterface(uint16_t interface, VersionRule rule,
                        QueryFailure onFailure = QueryFailure::kIncompatible);

  static bool oldestAtMostVersionOr1(const ififo_rpc::InterfaceVersions& v);
  static bool oldestAtMostVersionOr2(const ififo_rpc::InterfaceVersions& v);
  static bool oldestAtMostVersionAnd2(const ififo_rpc::InterfaceVersions& v);
  static bool oldestZero(const ififo_rpc::InterfaceVersions& v);
};

}  // namespace qvvandrel
