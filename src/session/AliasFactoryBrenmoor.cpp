#include "session/AliasFactoryBrenmoor.h"

#include "discovery/DeviceIterator.h"
#include "foundation/driver/tInterfaceProxy_vandrelbrenmoor.h"
#include "foundation/errors/Exception.h"

namespace qvvandrelbrenmooru {

bool AliasFactoryBrenmoor::driverAllowsAlias(const std::string& interfacePath) {
  nQVVANDRELBRENMOORU_22_8::tInterfaceProxy_vandrelbrenmoor proxy;
  {
    qverr::ThrowingStatusRecord status;
    proxy.open(interfacePath.c_str(), &status);
  }
  nQVVUSKS100::tStatus status;
  const std::uint64_t noAlias = proxy.command040B(kNoAliasQuery, &status);
  return !status.isError() && noAlias == 0;
}

std::string AliasFactoryBrenmoor::createAlias(qvjsonconfig::DeviceIteratorInterface& device,
                                              qvjsonconfig::ConfigurationData& data) {
  if (!driverAllowsAlias(device.getInterfacePath())) return {};
  return family_.createAlias(device, data);
}

bool AliasFactoryBrenmoor::showsAlias(const qvkel::DeviceInfo& device) {
  return driverAllowsAlias(device.interfacePath);
}

}  // namespace qvvandrelbrenmooru
