#include "model/SessionTransportInterface.h"

#include <cstring>

namespace qvisl {

namespace {

constexpr qverr::StatusLocation kUnresolved{"qvisl/Register", 48, qverr::kComponent,
                                            qverr::constant::kResourceNotFound};

}  // namespace

void RegisterRecord::setName(const char* text) {
  const std::size_t length = text ? strnlen(text, kNameSize - 1) : 0;
  std::memcpy(name, text ? text : "", length);
  name[length] = '\0';
  nameInline = 1;
  externalName = nullptr;
}

void raiseUnresolvedRegister() {
  qverr::raise(qverr::kResourceNotFound, kUnresolved);
}

}  // namespace qvisl
