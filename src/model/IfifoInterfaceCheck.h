#pragma once
// The once-per-session check that a CLIP interface exists and speaks a version this library
// understands, before a feature sends it instructions. The session keeps one checker per
// interface; the interface number belongs to the check, not to the checker.

#include "clip/Instruction.h"
#include "clip/InterfaceMethods.h"

namespace qvvandrel {

struct IfifoInterfaceCheck {
  ififo_rpc::FifoRef fifo;
  bool done = false;  // set by the first successful requirement

  // Version rules of the session's own interfaces; a failed query makes the answer false.
  // Interface 3: oldest compatible version <= min(version, 2).
  bool isVersionCompatible();
  // Interfaces 19 and 21: oldest compatible version 0.
  bool isVersionCompatible19();
  bool isVersionCompatible21();
  // Interface 9 (analog input): oldest compatible version <= version, oldest compatible
  // version <= 2 and version != 0. A failed query is raised as it is.
  bool isVersionCompatible9();
  // Interface 13 (analog output): oldest compatible version <= 1 for a version other than 0,
  // else oldest compatible version 0. Interface 20 (digital and PFI lines): oldest compatible
  // version 0. A failed query is raised as it is.
  bool isVersionCompatible13();
  bool isVersionCompatible20();

  // Unless done: -304306 when the interface is not supported, -304307 when its version rule
  // fails; then done.
  void requireInterface3();
  void requireInterface19();
  void requireInterface21();
  void requireInterface9();
  void requireInterface13();
  void requireInterface20();

  // The building blocks for further interfaces: the handle and version window of an interface
  // (absent gives none; a failed query gives none or is raised), and the requirement under a
  // rule.
  using VersionRule = bool (*)(const ififo_rpc::InterfaceVersions& versions);
  enum class QueryFailure : uint8_t { kIncompatible, kRaised };
  bool satisfies(uint16_t interface, VersionRule rule,
                 QueryFailure onFailure = QueryFailure::kIncompatible);
  void requireInterface(uint16_t interface, VersionRule rule,
                        QueryFailure onFailure = QueryFailure::kIncompatible);
};

}  // namespace qvvandrel
