#pragma once
// The last steps of opening a device session: the bitfile's terminal aliases, the personality
// configurer and the target-class checker (which live only for the construction), and the
// session over them.

#include "session/SessionFactoryBrenmoor.h"

namespace qvvandrelbrenmooru {

class SessionAssemblerBrenmoor : public SessionAssembler {
 public:
  std::unique_ptr<qvkel::user::Session> assemble(const SessionInputs& inputs) override;
};

}  // namespace qvvandrelbrenmooru
