#pragma once
// The session's module-IO status: two indicator registers of one block, resolved with one
// status, and the read-only attributes "IO Error" and "IO Ready" that read them on every get.
// The error register is also what the module-change check and the calibration read.

#include <cstdint>
#include <memory>

#include "attributes/AttributeRegistry.h"
#include "model/IndicatorBackedAttribute.h"
#include "model/SessionTransportInterface.h"

namespace qvvandrel {

class ModuleIoIndicators {
 public:
  static constexpr const char* kErrorRegister = "vandrel.module.io error 0";
  static constexpr const char* kReadyRegister = "vandrel.module.io ready 0";
  static constexpr std::uint32_t kIoError = 0x1000000D;
  static constexpr std::uint32_t kIoReady = 0x40000003;

  using ErrorRegister = qvisl::Register<int, SessionTransportInterface>;
  using ReadyRegister = qvisl::Register<bool, SessionTransportInterface>;

  // Null when the bitfile lacks either register (or holds one twice).
  static std::unique_ptr<ModuleIoIndicators> create(SessionTransportInterface& transport);
  ModuleIoIndicators(const ModuleIoIndicators&) = delete;
  ModuleIoIndicators& operator=(const ModuleIoIndicators&) = delete;

  // "IO Error", then "IO Ready".
  void registerAttributes(atat::AttributeRegistry& registry);
  ErrorRegister& errorRegister() { return error_; }
  // The module-IO error register as a signed value; a failed read counts as 0 (no error).
  std::int32_t readErrorOrZero() {
    nQVVUSKS100::tStatus status;
    std::int32_t error = 0;
    error_.transport()->readI32(error_.address(), &error, &status);
    return status.isError() ? 0 : error;
  }

 private:
  explicit ModuleIoIndicators(SessionTransportInterface& transport);

  nQVVUSKS100::tStatus status_;
  ErrorRegister error_;
  ReadyRegister ready_;
  IndicatorBackedAttribute<int> ioError_;
  IndicatorBackedAttribute<bool> ioReady_;
};

}  // namespace qvvandrel
