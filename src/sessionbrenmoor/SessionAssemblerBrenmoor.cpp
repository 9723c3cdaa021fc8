#include "sessionbrenmoor/SessionAssemblerBrenmoor.h"

#include "routing/TerminalAliasInfo.h"
#include "session/PersonalityConfigurerBrenmoor.h"
#include "session/TargetClassCheckerBrenmoor.h"
#include "sessionbrenmoor/SessionBrenmoor.h"

namespace qvvandrelbrenmooru {

std::unique_ptr<qvkel::user::Session> SessionAssemblerBrenmoor::assemble(
    const SessionInputs& inputs) {
  auto aliases = std::make_shared<TerminalAliasInfo>(*inputs.bitfile);
  PersonalityConfigurerBrenmoor configurer(inputs.routes, inputs.driverName, inputs.proxy,
                                           *inputs.bitfile, inputs.openFlags, inputs.flashImage,
                                           aliases.get());
  TargetClassCheckerBrenmoor checker(inputs.attributeHandler, inputs.proxy);
  std::shared_ptr<qvkel::IAttributeHandler> handler = inputs.attributeHandler;
  std::shared_ptr<qvkel::user::IIoAccessor> accessor = inputs.ioAccessor;
  std::shared_ptr<const qvkel::Bitfile> bitfile = inputs.bitfile;
  std::shared_ptr<nQVVANDRELBRENMOORU_22_8::iInterfaceProxy_vandrelbrenmoor> proxy = inputs.proxy;
  return std::make_unique<SessionBrenmoor>(inputs.fpga, proxy, configurer, checker, handler,
                                           accessor, bitfile, inputs.name, inputs.openFlags,
                                           inputs.routes, inputs.driverName.c_str(), aliases);
}

}  // namespace qvvandrelbrenmooru
