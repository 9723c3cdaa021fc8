#include "model/Resolvers.h"

#include "foundation/errors/ErrorCodes.h"
#include "foundation/errors/Exception.h"

namespace qvvandrel {
namespace {

constexpr qverr::StatusLocation kAlreadyLinkedLocation{"qvvandrel/dependency/AttributeLink", 48,
                                                       qverr::kComponent};

}  // namespace

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

void raiseAlreadyLinked() {
  qverr::raise(qverr::kInternalError, kAlreadyLinkedLocation);
}

}  // namespace qvvandrel
