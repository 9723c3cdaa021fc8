#pragma once
// The IOC filter: "IOC Filter Enable" mirrored into the register "vandrel.io.ioc filter
// enabled 0". The filter starts on only on the adapter module that has it, in its operating
// state.

#include <cstdint>
#include <memory>

#include "foundation/driver/tInterfaceProxy_vandrelbrenmoor.h"
#include "model/TrivialUnaryFeature.h"

namespace qvvandrel {

inline constexpr int kIocFilterEnable = 0x40000004;
using IocFilter = TrivialUnaryFeature<kIocFilterEnable>;

inline constexpr const char* kIocFilterRegister = "vandrel.io.ioc filter enabled 0";
// The adapter module that carries the filter (vendor 0x1FA7 in the high half) and the state
// in which it starts enabled.
inline constexpr std::uint32_t kIocFilterAdapterModule = 0x1FA7798B;
inline constexpr std::uint8_t kIocFilterAdapterState = 3;

// Asks the I/O interface for the adapter module's identifier (0x80200600) and state
// (0x80200602; a failed query counts as another module), then makes the feature: present when
// the bitfile has the register, starting enabled on that adapter module in that state.
template <>
std::unique_ptr<IocFilter> IocFilter::create(
    SessionTransportInterface& transport,
    nQVVANDRELBRENMOORU_22_8::iInterfaceProxy_vandrelbrenmoor& proxy);

}  // namespace qvvandrel
