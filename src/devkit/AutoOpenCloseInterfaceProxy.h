#pragma once
// A generated kernel-interface proxy that opens its device interface when it is made and
// closes it when it goes.

#include "foundation/errors/Exception.h"

namespace qvkel {

template <typename Proxy>
class AutoOpenCloseInterfaceProxy : public Proxy {
 public:
  // A failed open is raised.
  explicit AutoOpenCloseInterfaceProxy(const char* interfacePath) {
    qverr::ThrowingStatusRecord status;
    this->open(interfacePath, &status);
  }
  ~AutoOpenCloseInterfaceProxy() override { this->close(); }
  AutoOpenCloseInterfaceProxy(const AutoOpenCloseInterfaceProxy&) = delete;
  AutoOpenCloseInterfaceProxy& operator=(const AutoOpenCloseInterfaceProxy&) = delete;
};

}  // namespace qvkel
