#pragma once
// This generation's aliases: "Vandrel<n>" by default for a module whose driver allows it; a
// module whose driver says it has no alias of its own gets none and shows none, whatever the
// alias file holds for it.

#include <cstdint>
#include <string>

#include "discovery/AliasAttributeProvider.h"
#include "discovery/IAliasVisibility.h"

namespace qvvandrelbrenmooru {

class AliasFactoryBrenmoor : public qvjsonconfig::AliasFactoryInterface,
                             public qvkel::IAliasVisibility {
 public:
  static constexpr const char* kFamilyName = "Vandrel";
  // The argument of the driver query (method 0x040B) whose flag says that the module has no
  // alias of its own.
  static constexpr std::uint32_t kNoAliasQuery = 1;

  AliasFactoryBrenmoor() = default;
  AliasFactoryBrenmoor(const AliasFactoryBrenmoor&) = delete;
  AliasFactoryBrenmoor& operator=(const AliasFactoryBrenmoor&) = delete;

  // The empty alias when the driver does not allow one (below); otherwise the next free family
  // alias.
  std::string createAlias(qvjsonconfig::DeviceIteratorInterface& device,
                          qvjsonconfig::ConfigurationData& data) override;
  // Asks the module's driver through a private proxy on its interface path (which must open:
  // else raised). A failed query, a negative result code or a set flag: false.
  bool showsAlias(const qvkel::DeviceInfo& device) override;

 private:
  static bool driverAllowsAlias(const std::string& interfacePath);

  qvjsonconfig::SimpleAliasFactory family_{kFamilyName};
};

}  // namespace qvvandrelbrenmooru
