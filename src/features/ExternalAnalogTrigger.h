#pragma once
// The external analog edge trigger: a comparator on the trigger input whose threshold a DAC
// sets. The host sets the level in volts, the slope and a hysteresis; the compile step checks
// the level against what the DAC reaches and rounds it to a DAC code, and checks the
// hysteresis against the input's fixed one; the deploy step sends the code (0xE02) and the
// slope (0xE00) over CLIP interface 14.

#include <cstdint>

#include "attributes/AttributeRegistry.h"
#include "clip/ClipCapabilities.h"
#include "model/AttributeCatalogue.h"
#include "model/ClipConfiguration.h"
#include "model/CommissionInterface.h"
#include "model/Resolvers.h"

namespace qvvandrel {

class ExternalAnalogTrigger : public CommissionInterface {
 public:
  using LevelAttribute = CatalogueAttribute<0x20000004>;       // volts
  using RisingAttribute = CatalogueAttribute<0x4000000B>;      // slope
  using HysteresisAttribute = CatalogueAttribute<0x20000021>;  // volts

  // The threshold DAC as the CLIP describes it.
  struct Dac {
    std::int32_t minimumCode = 0;    // 400
    std::int32_t maximumCode = 0;    // 401
    std::int32_t numerator = 0;      // 402: codes per volt = numerator / denominator
    std::int32_t denominator = 0;    // 404
    std::int32_t offset = 0;         // 403: the code of 0 V
    double maximumHysteresis = 0.0;  // 405, volts; 0 when not reported
  };

  // Both are the session's and outlive the feature. Present when the CLIP describes the DAC
  // (capabilities 400 to 404; 405 may be missing).
  ExternalAnalogTrigger(const ClipCapabilities& capabilities, ClipConfiguration& clip);
  ExternalAnalogTrigger(const ExternalAnalogTrigger&) = delete;
  ExternalAnalogTrigger& operator=(const ExternalAnalogTrigger&) = delete;

  // Level, rising, hysteresis.
  void registerAttributes(atat::AttributeRegistry* registry) override;
  void commission(const ResolverRoots* roots, atat::AttributeRegistry* registry) override;
  // A level outside the DAC's reach, or one without a 32-bit code, and a hysteresis outside
  // [0, maximum] raise -304408 with the bounds. The level becomes the voltage the DAC gives;
  // the hysteresis is the input's own, whatever was asked.
  void compile();
  // Sends the compiled DAC code, then the slope.
  void deploy(bool force);

  bool present() const { return present_; }
  const Dac& dac() const { return dac_; }
  std::int32_t code() const { return code_; }
  LevelAttribute& level() { return level_; }
  RisingAttribute& rising() { return rising_; }
  HysteresisAttribute& hysteresis() { return hysteresis_; }

 private:
  double ratio() const;

  CompileResolver<ExternalAnalogTrigger> compileResolver_;
  DeployResolver<ExternalAnalogTrigger> deployResolver_;
  ClipConfiguration* clip_;
  bool present_;
  Dac dac_;
  LevelAttribute level_;
  RisingAttribute rising_;
  HysteresisAttribute hysteresis_;
  std::int32_t code_ = 0;
};

}  // namespace qvvandrel
