#include "session/AliasFactoryBrenmoor.h"

#include "discovery/DeviceIterator.h"
#include "foundation/driver/tInterfaceProxy_vandrelbrenmoor.h"
#include "foundation/errors/Exception.h"

namespace qvvandrelbrenmooru {

std::string AliasFactoryBrenmoor::createAlias(qvjsonconfig::DeviceIteratorInterface& device,
                                              qvjsonconfig::ConfigurationData& data) {
  nQVVANDRELBRENMOORU_22_8::tInterfaceProxy_vandrelbrenmoor proxy;
  {
    qverr::ThrowingStatusRecord status;
    proxy.open(device.getInterfacePath().c_str(), &status);
  }
  nQVVUSKS100::tStatus status;
  const std::uint64_t noAlias = proxy.command040B(kNoAliasQuery, &status);
  if (status.isError() || noAlias != 0) return {};
  return family_.createAlias(device, data);
}

}  // namespace qvvandrelbrenmooru
