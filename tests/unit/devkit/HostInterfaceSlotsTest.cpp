// The host calls the plug-in's objects by slot: every operation of the host-facing interfaces
// sits at the slot the host expects.

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "qvkel/IDevice.h"
#include "qvkel/IFpgaSession.h"
#include "qvkel/IFpgaSessionTraditional.h"

namespace {

// The table slot a pointer to a virtual member designates. Under the C++ ABI of x86-64 Linux
// such a pointer holds 1 + the slot's byte offset in the table, then a `this` adjustment (0 for
// a single chain of bases). Anything else is no slot at all.
template <typename Member>
int64_t slotOf(Member member) {
  static_assert(sizeof(Member) == 2 * sizeof(uintptr_t));
  uintptr_t words[2];
  std::memcpy(words, &member, sizeof words);
  if (words[0] % 2 != 1 || words[1] != 0) return -1;
  return static_cast<int64_t>((words[0] - 1) / sizeof(void*));
}

struct Slot {
  const char* name;
  int64_t expected;
  int64_t actual;
};

Slot slot(const char* name, int64_t expected, int64_t actual) {
  return Slot{name, expected, actual};
}

void expectSlots(const std::vector<Slot>& slots) {
  for (const Slot& s : slots) EXPECT_EQ(s.actual, s.expected) << s.name;
}

#define QV_SLOT(Interface, n, operation) slot(#operation, n, slotOf(&Interface::operation))
// A group of eleven slots in the element-type order Bool, U8, U16, U32, U64, I8, I16, I32, I64,
// SGL, DBL.
#define QV_TYPED(Interface, first, prefix)                                                    \
  QV_SLOT(Interface, first, prefix##Bool), QV_SLOT(Interface, first + 1, prefix##U8),         \
      QV_SLOT(Interface, first + 2, prefix##U16), QV_SLOT(Interface, first + 3, prefix##U32), \
      QV_SLOT(Interface, first + 4, prefix##U64), QV_SLOT(Interface, first + 5, prefix##I8),  \
      QV_SLOT(Interface, first + 6, prefix##I16), QV_SLOT(Interface, first + 7, prefix##I32), \
      QV_SLOT(Interface, first + 8, prefix##I64), QV_SLOT(Interface, first + 9, prefix##Sgl), \
      QV_SLOT(Interface, first + 10, prefix##Dbl)

TEST(HostInterfaceSlotsTest, TheFpgaSessionChainHoldsItsOneHundredThirtyOneSlots) {
  using S = qvkel::IFpgaSession207;
  // The destructors take 113 and 114, between `invoke` and the first slot of version 1.
  expectSlots({QV_SLOT(S, 0, getInterfaceVersion),
               QV_SLOT(S, 1, openTraditionalSession),
               QV_SLOT(S, 2, clone),
               QV_SLOT(S, 3, open),
               QV_SLOT(S, 4, release),
               QV_SLOT(S, 5, close),
               QV_TYPED(S, 6, read),
               QV_TYPED(S, 17, write),
               QV_TYPED(S, 28, readArray),
               QV_TYPED(S, 39, writeArray),
               QV_SLOT(S, 50, download),
               QV_SLOT(S, 51, reset),
               QV_SLOT(S, 52, abort),
               QV_SLOT(S, 53, run),
               QV_SLOT(S, 54, sendIrqCommand831E),
               QV_SLOT(S, 55, sendIrqCommand831F),
               QV_SLOT(S, 56, waitOnIrqs),
               QV_SLOT(S, 57, acknowledgeIrqs),
               QV_SLOT(S, 58, configureFifo),
               QV_SLOT(S, 59, startFifo),
               QV_SLOT(S, 60, stopFifo),
               QV_TYPED(S, 61, readFifo),
               QV_TYPED(S, 72, writeFifo),
               QV_TYPED(S, 83, acquireFifoReadElements),
               QV_TYPED(S, 94, acquireFifoWriteElements),
               QV_SLOT(S, 105, releaseFifoElements),
               QV_SLOT(S, 106, getBitfileContents),
               QV_SLOT(S, 107, unsupportedRequest),
               QV_SLOT(S, 108, getBitfileSignature),
               QV_SLOT(S, 109, findRegister),
               QV_SLOT(S, 110, findFifo),
               QV_SLOT(S, 111, getPeerToPeerEndpoint),
               QV_SLOT(S, 112, invoke),
               QV_SLOT(S, 115, setFifoProperty),
               QV_SLOT(S, 116, getFifoProperty),
               QV_SLOT(S, 117, commitFifoConfiguration),
               QV_SLOT(S, 118, getFpgaState),
               QV_SLOT(S, 119, readFifoComposite),
               QV_SLOT(S, 120, writeFifoComposite),
               QV_SLOT(S, 121, acquireFifoReadElementsComposite),
               QV_SLOT(S, 122, acquireFifoWriteElementsComposite),
               QV_SLOT(S, 123, constantTrueQuery),
               QV_SLOT(S, 124, acquireFifoReadRegion),
               QV_SLOT(S, 125, acquireFifoWriteRegion),
               QV_SLOT(S, 126, releaseFifoRegion),
               QV_SLOT(S, 127, unconfigureFifo),
               QV_SLOT(S, 128, openPeerToPeerFifoBuffer),
               QV_SLOT(S, 129, getHmbRegion),
               QV_SLOT(S, 130, openHmbLlb)});
}

TEST(HostInterfaceSlotsTest, TheLegacySessionHoldsItsFortyOneSlotsWithThePlaceholders) {
  using L = qvkel::IFpgaSessionTraditional;
  // The destructors take 39 and 40.
  expectSlots({QV_SLOT(L, 0, getAttributeU32),
               QV_SLOT(L, 1, getAttributeString),
               QV_SLOT(L, 2, setAttributeU32),
               QV_SLOT(L, 3, setAttributeString),
               QV_SLOT(L, 4, download),
               QV_SLOT(L, 5, reset),
               QV_SLOT(L, 6, noOperation6),
               QV_SLOT(L, 7, noOperation7),
               QV_SLOT(L, 8, noOperation8),
               QV_SLOT(L, 9, unsupported9),
               QV_SLOT(L, 10, unsupported10),
               QV_SLOT(L, 11, unsupported11),
               QV_SLOT(L, 12, configureFifo),
               QV_SLOT(L, 13, startFifo),
               QV_SLOT(L, 14, stopFifo),
               QV_SLOT(L, 15, readFifo),
               QV_SLOT(L, 16, writeFifo),
               QV_SLOT(L, 17, acquireFifoElements),
               QV_SLOT(L, 18, releaseFifoElements),
               QV_SLOT(L, 19, noOperation19),
               QV_SLOT(L, 20, unsupported20),
               QV_SLOT(L, 21, writeBlock),
               QV_SLOT(L, 22, readBlock),
               QV_SLOT(L, 23, unsupported23),
               QV_SLOT(L, 24, readU32),
               QV_SLOT(L, 25, unsupported25),
               QV_SLOT(L, 26, unsupported26),
               QV_SLOT(L, 27, unsupported27),
               QV_SLOT(L, 28, writeU32),
               QV_SLOT(L, 29, unsupported29),
               QV_SLOT(L, 30, unsupported30),
               QV_SLOT(L, 31, query31),
               QV_SLOT(L, 32, unsupported32),
               QV_SLOT(L, 33, callIrqMethod1E),
               QV_SLOT(L, 34, callIrqMethod1F),
               QV_SLOT(L, 35, waitOnIrqs),
               QV_SLOT(L, 36, release),
               QV_SLOT(L, 37, unsupported37),
               QV_SLOT(L, 38, unsupported38)});
}

TEST(HostInterfaceSlotsTest, TheDeviceHoldsItsTwelveSlots) {
  using D = qvkel::IDevice;
  // The destructors take 10 and 11.
  expectSlots({QV_SLOT(D, 0, reserved0), QV_SLOT(D, 1, getName), QV_SLOT(D, 2, getDescriptorField5),
               QV_SLOT(D, 3, setLegacyValue), QV_SLOT(D, 4, getLegacyValue),
               QV_SLOT(D, 5, reserved5), QV_SLOT(D, 6, getDescriptorText2), QV_SLOT(D, 7, getAlias),
               QV_SLOT(D, 8, setAlias), QV_SLOT(D, 9, createFpgaSession)});
}

#undef QV_TYPED
#undef QV_SLOT

}  // namespace
