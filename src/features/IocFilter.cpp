#include "features/IocFilter.h"

#include <cstddef>

namespace qvvandrel {

namespace {

using nQVVANDRELBRENMOORU_22_8::iInterfaceProxy_vandrelbrenmoor;
using nQVVANDRELBRENMOORU_22_8::tInterfaceProxy_vandrelbrenmoor;

// The adapter module's state byte (0x80200602). The generated method answers it as a flag,
// which cannot tell the operating state from any other non-zero one, so the record is read
// here: input {i32 status}, output {u8 state, 3 pad, i32 status}.
constexpr uint32_t kAdapterStateCommand = 0x80200602;
constexpr qverr::StatusLocation kAdapterStateLocation{tInterfaceProxy_vandrelbrenmoor::kHeaderFile,
                                                      2732, qverr::kComponent};
struct AdapterStateIn {
  int32_t status;
};
struct AdapterStateOut {
  uint8_t state;
  uint8_t pad[3];
  int32_t status;
};
static_assert(sizeof(AdapterStateIn) == 4);
static_assert(sizeof(AdapterStateOut) == 8);
static_assert(offsetof(AdapterStateOut, state) == 0);
static_assert(offsetof(AdapterStateOut, status) == 4);

uint8_t readAdapterState(iInterfaceProxy_vandrelbrenmoor& proxy, nQVVUSKS100::tStatus* status) {
  if (status->isError()) return 0;
  AdapterStateIn in{static_cast<int32_t>(status->code)};
  AdapterStateOut out{};
  nQVVUSKS100::tStatus transport;
  proxy.call(kAdapterStateCommand, &in, sizeof in, &out, sizeof out, &transport);
  if (transport.isError()) {
    status->merge(&transport);
    return 0;
  }
  status->setCode(out.status, kAdapterStateLocation.component, kAdapterStateLocation.file,
                  kAdapterStateLocation.line);
  return out.state;
}

}  // namespace

template <>
std::unique_ptr<IocFilter> IocFilter::create(SessionTransportInterface& transport,
                                             iInterfaceProxy_vandrelbrenmoor& proxy) {
  nQVVUSKS100::tStatus identifierStatus;
  const uint32_t identifier = proxy.command0600(&identifierStatus);
  nQVVUSKS100::tStatus stateStatus;
  const uint8_t state = readAdapterState(proxy, &stateStatus);
  const bool enabled = !identifierStatus.isError() && !stateStatus.isError() &&
                       identifier == kIocFilterAdapterModule && state == kIocFilterAdapterState;
  return std::make_unique<IocFilter>(transport, kIocFilterRegister, nullptr, enabled);
}

}  // namespace qvvandrel
