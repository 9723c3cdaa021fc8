#pragma once
// This generation's default aliases: "Vandrel<n>" for a module whose driver allows it, none
// for one whose driver says it has no alias of its own.

#include <cstdint>
#include <string>

#include "discovery/AliasAttributeProvider.h"

namespace qvvandrelbrenmooru {

class AliasFactoryBrenmoor : public qvjsonconfig::AliasFactoryInterface {
 public:
  static constexpr const char* kFamilyName = "Vandrel";
  // The argument of the driver query (method 0x040B) whose flag says that the module takes no
  // default alias.
  static constexpr std::uint32_t kNoAliasQuery = 1;

  AliasFactoryBrenmoor() = default;
  AliasFactoryBrenmoor(const AliasFactoryBrenmoor&) = delete;
  AliasFactoryBrenmoor& operator=(const AliasFactoryBrenmoor&) = delete;

  // Asks the module's driver through a private proxy on its interface path (which must open:
  // else raised). A failed query, a negative result code or a set flag gives the empty alias;
  // otherwise the next free family alias.
  std::string createAlias(qvjsonconfig::DeviceIteratorInterface& device,
                          qvjsonconfig::ConfigurationData& data) override;

 private:
  qvjsonconfig::SimpleAliasFactory family_{kFamilyName};
};

}  // namespace qvvandrelbrenmooru
