#include "model/Resolvers.h"

#include "foundation/errors/ErrorCodes.h"
#include "foundation/errors/Exception.h"

namespace qvvandrel {

void wireCompileResolver(const ResolverRoots& roots, Dependency& compileResolver,
                         Dependency* deployResolver) {
  roots.compileRoot->addPrerequisite(&compileResolver);
  compileResolver.addDependent(roots.compileRoot);
  if (deployResolver != nullptr) compileResolver.addDependent(deployResolver);
}

void wireInput(Dependency& compileResolver, Dependency& input) {
  compileResolver.addPrerequisite(&input);
  input.addDependent(&compileResolver);
}

// A bare code: a feature commissioned twice is a fault of the session, not of the host's input.
void raiseAlreadyLinked() {
  qverr::throwError(qverr::kInternalError);
}

}  // namespace qvvandrel
