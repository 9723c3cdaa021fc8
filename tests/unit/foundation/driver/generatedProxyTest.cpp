// Every method of both generated proxies, once per outcome, against scripted replies. The
// command codes, record lengths, status lines and output offsets below are worked out from the
// driver's record layouts by hand, not taken from the proxies' own table.

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "DriverTestbed.h"
#include "foundation/driver/tInterfaceProxy_routing.h"
#include "foundation/driver/tInterfaceProxy_vandrelbrenmoor.h"

namespace {

using drivertest::DriverTestbed;
using nQVVANDRELBRENMOORU_22_8::tCommand0604Result;
using nQVVANDRELBRENMOORU_22_8::tInterfaceProxy_routing;
using nQVVANDRELBRENMOORU_22_8::tInterfaceProxy_vandrelbrenmoor;
using nQVVUSKS100::tStatus;

using Outs = std::vector<uint64_t>;  // [0] the return value, then the out-parameters

// Out-parameters start as these; a u8 flag starts as the value the test passes in.
constexpr uint16_t kSentinel16 = 0x5A5A;
constexpr uint32_t kSentinel32 = 0x5A5A5A5A;
// The caller's length of an in/out argument.
constexpr uint32_t kInOutLength = 77;

// The scripted output record carries byte 0xA0 + i at offset i.
constexpr uint64_t pat(unsigned offset, unsigned size) {
  uint64_t value = 0;
  for (unsigned i = 0; i < size; ++i) value |= uint64_t(0xA0 + offset + i) << (8 * i);
  return value;
}

template <typename Proxy>
struct Case {
  const char* name;
  uint32_t command;
  uint32_t inLength;
  uint32_t outLength;
  uint64_t line;
  bool statusOnly;  // returns whether the status took a code
  Outs fromPattern;
  std::function<Outs(Proxy&, tStatus*, bool flag)> call;
};

using D = tInterfaceProxy_vandrelbrenmoor;
using R = tInterfaceProxy_routing;

// Shorthands for the common shapes.
template <typename F>
std::function<Outs(D&, tStatus*, bool)> ret(F f) {
  return [f](D& p, tStatus* s, bool) { return Outs{static_cast<uint64_t>(f(p, s))}; };
}

const std::vector<Case<D>>& deviceCases() {
  static const std::vector<Case<D>> cases =
      {
          // iInterfaceProxy_vandrelbrenmoor
          {"command0901", 0x00200901, 4, 8, 62, false, {1}, ret([](D& p, tStatus* s) {
             return p.command0901(s);
           })},
          {"command0902", 0x00200902, 4, 4, 89, true, {0}, ret([](D& p, tStatus* s) {
             return p.command0902(s);
           })},
          {"command0900",
           0x00200900,
           16,
           8,
           118,
           true,
           {0, 1, 1},
           [](D& p, tStatus* s, bool flag) {
             bool a3 = flag, a4 = flag;
             const bool r = p.command0900(1, 2, &a3, &a4, s);
             return Outs{r, a3, a4};
           }},
          {"command0904",
           0x80200904,
           24,
           12,
           149,
           false,
           {pat(0, 4), pat(4, 2)},
           [](D& p, tStatus* s, bool) {
             uint16_t a4 = kSentinel16;
             const uint32_t r = p.command0904(1, 2, 3, &a4, s);
             return Outs{r, a4};
           }},
          {"command0907",
           0x40200907,
           40,
           8,
           182,
           true,
           {0, 1},
           [](D& p, tStatus* s, bool flag) {
             bool a6 = flag;
             const bool r = p.command0907(1, 2, 3, 4, 5, &a6, s);
             return Outs{r, a6};
           }},
          {"command0903", 0x40200903, 40, 4, 213, true, {0}, ret([](D& p, tStatus* s) {
             return p.command0903(1, 2, 3, 4, 5, 6, s);
           })},
          {"command0908", 0x40200908, 12, 4, 240, true, {0}, ret([](D& p, tStatus* s) {
             return p.command0908(1, 2, s);
           })},
          {"command0909", 0x40200909, 4, 4, 265, true, {0}, ret([](D& p, tStatus* s) {
             return p.command0909(s);
           })},
          {"command090A", 0x8020090A, 8, 8, 293, false, {1}, ret([](D& p, tStatus* s) {
             return p.command090A(1, s);
           })},
          {"command0300", 0x80200300, 4, 16, 322, false, {pat(0, 8)}, ret([](D& p, tStatus* s) {
             return p.command0300(s);
           })},
          {"command0301", 0x80200301, 4, 8, 351, false, {pat(0, 4)}, ret([](D& p, tStatus* s) {
             return p.command0301(s);
           })},
          {"command0302", 0x40200302, 24, 4, 381, true, {0}, ret([](D& p, tStatus* s) {
             return p.command0302(1, 2, 3, s);
           })},
          {"command0303", 0x80200303, 24, 4, 409, true, {0}, ret([](D& p, tStatus* s) {
             return p.command0303(1, 2, 3, s);
           })},
          {"command0308", 0x80200308, 4, 8, 436, false, {pat(0, 4)}, ret([](D& p, tStatus* s) {
             return p.command0308(s);
           })},
          {"command0304", 0x80200304, 4, 16, 465, false, {pat(0, 8)}, ret([](D& p, tStatus* s) {
             return p.command0304(s);
           })},
          {"command0305", 0x80200305, 4, 8, 494, false, {pat(0, 4)}, ret([](D& p, tStatus* s) {
             return p.command0305(s);
           })},
          {"command0306", 0x40200306, 4, 4, 521, true, {0}, ret([](D& p, tStatus* s) {
             return p.command0306(s);
           })},
          {"command0400", 0x80200400, 4, 8, 548, false, {1}, ret([](D& p, tStatus* s) {
             return p.command0400(s);
           })},
          {"command0800", 0x00200800, 16, 8, 579, false, {pat(0, 4)}, ret([](D& p, tStatus* s) {
             return p.command0800(1, 2, s);
           })},
          {"command0801", 0x00200801, 16, 4, 608, true, {0}, ret([](D& p, tStatus* s) {
             return p.command0801(1, 2, s);
           })},
          {"command0700", 0x80200700, 4, 8, 635, false, {pat(0, 4)}, ret([](D& p, tStatus* s) {
             return p.command0700(s);
           })},
          {"command0701", 0x80200701, 4, 8, 664, false, {pat(0, 4)}, ret([](D& p, tStatus* s) {
             return p.command0701(s);
           })},
          {"command0702", 0x40200702, 8, 4, 692, true, {0}, ret([](D& p, tStatus* s) {
             return p.command0702(1, s);
           })},
          {"command0401", 0x40200401, 12, 4, 719, true, {0}, ret([](D& p, tStatus* s) {
             return p.command0401(1, 2, s);
           })},
          {"command0402",
           0x80200402,
           4,
           12,
           746,
           true,
           {0, pat(0, 4), pat(4, 4)},
           [](D& p, tStatus* s, bool) {
             uint32_t a1 = kSentinel32, a2 = kSentinel32;
             const bool r = p.command0402(&a1, &a2, s);
             return Outs{r, a1, a2};
           }},
          {"command0403", 0x40200403, 12, 4, 773, true, {0}, ret([](D& p, tStatus* s) {
             return p.command0403(1, 2, s);
           })},
          {"command0404",
           0x80200404,
           4,
           12,
           800,
           true,
           {0, pat(0, 4), pat(4, 4)},
           [](D& p, tStatus* s, bool) {
             uint32_t a1 = kSentinel32, a2 = kSentinel32;
             const bool r = p.command0404(&a1, &a2, s);
             return Outs{r, a1, a2};
           }},
          {"command0405", 0x80200405, 8, 8, 828, false, {pat(0, 4)}, ret([](D& p, tStatus* s) {
             return p.command0405(1, s);
           })},
          {"command0406", 0x80200406, 4, 8, 857, false, {pat(0, 4)}, ret([](D& p, tStatus* s) {
             return p.command0406(s);
           })},
          {"command0407", 0x80200407, 4, 8, 886, false, {pat(0, 4)}, ret([](D& p, tStatus* s) {
             return p.command0407(s);
           })},
          {"command0408", 0x80200408, 8, 8, 916, false, {pat(0, 4)}, ret([](D& p, tStatus* s) {
             return p.command0408(1, s);
           })},
          {"command0409", 0x80200409, 8, 8, 946, false, {1}, ret([](D& p, tStatus* s) {
             return p.command0409(1, s);
           })},
          {"command040A", 0x8020040A, 8, 8, 976, false, {pat(0, 4)}, ret([](D& p, tStatus* s) {
             return p.command040A(1, s);
           })},
          {"command040B", 0x8020040B, 8, 16, 1006, false, {pat(0, 8)}, ret([](D& p, tStatus* s) {
             return p.command040B(1, s);
           })},
          {"command040C", 0x4020040C, 8, 4, 1034, true, {0}, ret([](D& p, tStatus* s) {
             return p.command040C(1, s);
           })},
          {"command040D", 0x8020040D, 4, 8, 1061, false, {1}, ret([](D& p, tStatus* s) {
             return p.command040D(s);
           })},
          {"command040E", 0x8020040E, 4, 8, 1090, false, {pat(0, 4)}, ret([](D& p, tStatus* s) {
             return p.command040E(s);
           })},
          {"command040F", 0x0020040F, 4, 8, 1119, false, {1}, ret([](D& p, tStatus* s) {
             return p.command040F(s);
           })},
          {"command0410", 0x00200410, 4, 4, 1146, true, {0}, ret([](D& p, tStatus* s) {
             return p.command0410(s);
           })},
          // iInterfaceProxy_atomickelddk_attribute
          {"command8300", 0x80208300, 8, 8, 1174, false, {pat(0, 4)}, ret([](D& p, tStatus* s) {
             return p.command8300(1, s);
           })},
          {"command8301", 0x40208301, 12, 4, 1203, true, {0}, ret([](D& p, tStatus* s) {
             return p.command8301(1, 2, s);
           })},
          {"command8302", 0x80208302, 4, 8, 1230, false, {1}, ret([](D& p, tStatus* s) {
             return p.command8302(s);
           })},
          // iInterfaceProxy_atomickelddk_configuration (command830B has no status: tested apart)
          {"command830C", 0x4020830C, 16, 4, 1278, true, {0}, ret([](D& p, tStatus* s) {
             return p.command830C(1, 2, s);
           })},
          {"command830D", 0x4020830D, 4, 4, 1303, true, {0}, ret([](D& p, tStatus* s) {
             return p.command830D(s);
           })},
          {"command830E", 0x4020830E, 4, 4, 1328, true, {0}, ret([](D& p, tStatus* s) {
             return p.command830E(s);
           })},
          {"command830F", 0x4020830F, 4, 4, 1353, true, {0}, ret([](D& p, tStatus* s) {
             return p.command830F(s);
           })},
          {"command8310", 0x40208310, 48, 4, 1384, true, {0}, ret([](D& p, tStatus* s) {
             return p.command8310(1, 2, 3, 4, 5, 6, s);
           })},
          // iInterfaceProxy_atomickelddk_io
          {"command8314", 0x80208314, 32, 4, 1414, true, {0}, ret([](D& p, tStatus* s) {
             return p.command8314(1, 2, 3, 4, 5, s);
           })},
          {"command8315", 0x40208315, 32, 4, 1444, true, {0}, ret([](D& p, tStatus* s) {
             return p.command8315(1, 2, 3, 4, 5, s);
           })},
          {"command8316", 0x80208316, 8, 8, 1472, false, {pat(0, 4)}, ret([](D& p, tStatus* s) {
             return p.command8316(1, s);
           })},
          {"command8317", 0x40208317, 12, 4, 1501, true, {0}, ret([](D& p, tStatus* s) {
             return p.command8317(1, 2, s);
           })},
          {"command8318", 0x00208318, 4, 8, 1528, false, {pat(0, 4)}, ret([](D& p, tStatus* s) {
             return p.command8318(s);
           })},
          // iInterfaceProxy_atomickelddk_irq
          {"command831E", 0x4020831E, 4, 4, 1555, true, {0}, ret([](D& p, tStatus* s) {
             return p.command831E(s);
           })},
          {"command831F", 0x4020831F, 4, 4, 1580, true, {0}, ret([](D& p, tStatus* s) {
             return p.command831F(s);
           })},
          {"command8320",
           0x40208320,
           12,
           12,
           1610,
           false,
           {pat(0, 4), 1},
           [](D& p, tStatus* s, bool flag) {
             bool a3 = flag;
             const uint32_t r = p.command8320(1, 2, &a3, s);
             return Outs{r, a3};
           }},
          // iInterfaceProxy_atomickelddk_fifo
          {"command8328", 0x40208328, 16, 4, 1639, true, {0}, ret([](D& p, tStatus* s) {
             return p.command8328(1, 2, s);
           })},
          {"command8329", 0x40208329, 16, 4, 1666, true, {0}, ret([](D& p, tStatus* s) {
             return p.command8329(1, 2, s);
           })},
          {"command832A", 0x4020832A, 16, 4, 1693, true, {0}, ret([](D& p, tStatus* s) {
             return p.command832A(1, 2, s);
           })},
          {"command832B",
           0x4020832B,
           32,
           16,
           1725,
           false,
           {pat(0, 8), 1},
           [](D& p, tStatus* s, bool flag) {
             bool a5 = flag;
             const uint64_t r = p.command832B(1, 2, 3, 4, &a5, s);
             return Outs{r, a5};
           }},
          {"command832C", 0x4020832C, 32, 4, 1755, true, {0}, ret([](D& p, tStatus* s) {
             return p.command832C(1, 2, 3, s);
           })},
          {"command832D", 0x4020832D, 16, 4, 1782, true, {0}, ret([](D& p, tStatus* s) {
             return p.command832D(1, 2, s);
           })},
          {"command832E", 0x4020832E, 56, 4, 1810, true, {0}, ret([](D& p, tStatus* s) {
             const uint64_t record[4] = {1, 2, 3, 4};
             return p.command832E(1, 2, record, s);
           })},
          // iInterfaceProxy_atomickelddk_flash
          {"command8332", 0x40208332, 16, 4, 1837, true, {0}, ret([](D& p, tStatus* s) {
             return p.command8332(1, 2, s);
           })},
          {"command8333", 0x40208333, 8, 4, 1863, true, {0}, ret([](D& p, tStatus* s) {
             return p.command8333(1, s);
           })},
          {"command8334", 0x80208334, 4, 8, 1890, false, {pat(0, 4)}, ret([](D& p, tStatus* s) {
             return p.command8334(s);
           })},
          {"command8335", 0x40208335, 4, 4, 1917, true, {0}, ret([](D& p, tStatus* s) {
             return p.command8335(s);
           })},
          // iInterfaceProxy_atomickelddk_p2p
          {"command833C", 0x8020833C, 8, 8, 1945, false, {pat(0, 4)}, ret([](D& p, tStatus* s) {
             return p.command833C(1, s);
           })},
          // iInterfaceProxy_atomickelddk_configure_personality_common
          {
              "command830A",
              0x4020830A,
              48,
              8,
              1979,
              true,
              {0, 1},
              [](D& p, tStatus* s, bool flag) {
                bool a7 = flag;
                const bool r = p.command830A(1, 2, 3, 4, 5, 6, &a7, s);
                return Outs{r, a7};
              }},
          // iInterfaceProxy_readwrite
          {"command0100", 0x80200100, 8, 8, 2007, false, {pat(0, 4)}, ret([](D& p, tStatus* s) {
             return p.command0100(1, s);
           })},
          {"command0101", 0x40200101, 12, 4, 2036, true, {0}, ret([](D& p, tStatus* s) {
             return p.command0101(1, 2, s);
           })},
          {"command0102", 0x80200102, 8, 8, 2064, false, {pat(0, 4)}, ret([](D& p, tStatus* s) {
             return p.command0102(1, s);
           })},
          {"command0103", 0x40200103, 12, 4, 2093, true, {0}, ret([](D& p, tStatus* s) {
             return p.command0103(1, 2, s);
           })},
          // iInterfaceProxy_vandrelsync
          {"command0500", 0x00200500, 12, 4, 2120, true, {0}, ret([](D& p, tStatus* s) {
             return p.command0500(1, 2, s);
           })},
          {"command0501", 0x00200501, 8, 4, 2146, true, {0}, ret([](D& p, tStatus* s) {
             return p.command0501(1, s);
           })},
          {"command0502", 0x00200502, 8, 4, 2172, true, {0}, ret([](D& p, tStatus* s) {
             return p.command0502(1, s);
           })},
          {"command0503", 0x00200503, 4, 4, 2197, true, {0}, ret([](D& p, tStatus* s) {
             return p.command0503(s);
           })},
          {"command0504", 0x00200504, 8, 8, 2225, false, {pat(0, 4)}, ret([](D& p, tStatus* s) {
             return p.command0504(1, s);
           })},
          {"command0505", 0x00200505, 8, 4, 2253, true, {0}, ret([](D& p, tStatus* s) {
             return p.command0505(1, s);
           })},
          {"command0506", 0x00200506, 4, 4, 2278, true, {0}, ret([](D& p, tStatus* s) {
             return p.command0506(s);
           })},
          {"command0507", 0x00200507, 4, 16, 2305, false, {pat(0, 8)}, ret([](D& p, tStatus* s) {
             return p.command0507(s);
           })},
          {"command0508", 0x00200508, 4, 4, 2332, true, {0}, ret([](D& p, tStatus* s) {
             return p.command0508(s);
           })},
          {"command0509", 0x00200509, 4, 16, 2359, false, {pat(0, 8)}, ret([](D& p, tStatus* s) {
             return p.command0509(s);
           })},
          {"command050A", 0x0020050A, 4, 4, 2386, true, {0}, ret([](D& p, tStatus* s) {
             return p.command050A(s);
           })},
          {"command050B", 0x0020050B, 4, 8, 2413, false, {1}, ret([](D& p, tStatus* s) {
             return p.command050B(s);
           })},
          {"command050C", 0x0020050C, 8, 4, 2441, true, {0}, ret([](D& p, tStatus* s) {
             return p.command050C(1, s);
           })},
          {"command050D", 0x0020050D, 4, 8, 2468, false, {1}, ret([](D& p, tStatus* s) {
             return p.command050D(s);
           })},
          {"command050E", 0x0020050E, 8, 4, 2496, true, {0}, ret([](D& p, tStatus* s) {
             return p.command050E(1, s);
           })},
          // iInterfaceProxy_vandrelififo
          {"command0200", 0x80200200, 24, 16, 2525, false, {pat(0, 8)}, ret([](D& p, tStatus* s) {
             return p.command0200(1, 2, s);
           })},
          {"command0201", 0x40200201, 24, 4, 2554, true, {0}, ret([](D& p, tStatus* s) {
             return p.command0201(1, 2, s);
           })},
          {"command0209", 0x80200209, 24, 16, 2584, false, {pat(0, 8)}, ret([](D& p, tStatus* s) {
             return p.command0209(1, 2, 3, s);
           })},
          {"command020A", 0x4020020A, 24, 4, 2614, true, {0}, ret([](D& p, tStatus* s) {
             return p.command020A(1, 2, 3, s);
           })},
          {"command030D", 0x0020030D, 24, 8, 2645, false, {pat(0, 4)}, ret([](D& p, tStatus* s) {
             return p.command030D(1, 2, 3, 4, s);
           })},
          // iInterfaceProxy_vandrelio
          {"command0600", 0x80200600, 4, 8, 2674, false, {pat(0, 4)}, ret([](D& p, tStatus* s) {
             return p.command0600(s);
           })},
          {"command0601", 0x80200601, 4, 8, 2703, false, {pat(0, 4)}, ret([](D& p, tStatus* s) {
             return p.command0601(s);
           })},
          {"command0602", 0x80200602, 4, 8, 2732, false, {1}, ret([](D& p, tStatus* s) {
             return p.command0602(s);
           })},
          {"command0603", 0x40200603, 20, 4, 2760, true, {0}, ret([](D& p, tStatus* s) {
             return p.command0603(1, 2, s);
           })},
          {"command0604",
           0x80200604,
           4,
           20,
           2787,
           false,
           {pat(0, 4), pat(4, 4), pat(8, 2), pat(10, 2), pat(12, 2), pat(14, 1), pat(15, 1)},
           [](D& p, tStatus* s, bool) {
             const tCommand0604Result r = p.command0604(s);
             return Outs{r.value1, r.value2, r.value3, r.value4, r.value5, r.value6, r.value7};
           }},
          {"command0605", 0x00200605, 8, 4, 2815, true, {0}, ret([](D& p, tStatus* s) {
             return p.command0605(1, s);
           })},
          {"command0606", 0x00200606, 4, 8, 2842, false, {1}, ret([](D& p, tStatus* s) {
             return p.command0606(s);
           })},
          {"command0607", 0x40200607, 8, 4, 2870, true, {0}, ret([](D& p, tStatus* s) {
             return p.command0607(1, s);
           })},
      };
  return cases;
}

template <typename F>
std::function<Outs(R&, tStatus*, bool)> rret(F f) {
  return [f](R& p, tStatus* s, bool) { return Outs{static_cast<uint64_t>(f(p, s))}; };
}

const std::vector<Case<R>>& routingCases() {
  static const std::vector<Case<R>> cases = {
      {"command8000",
       0x00208000,
       4,
       8,
       61,
       true,
       {0, pat(0, 4)},
       [](R& p, tStatus* s, bool) {
         uint32_t a1 = kSentinel32;
         const bool r = p.command8000(&a1, s);
         return Outs{r, a1};
       }},
      {"calculateRoute",
       0x00208001,
       56,
       12,
       97,
       false,
       {pat(0, 4), pat(4, 4)},
       [](R& p, tStatus* s, bool) {
         uint32_t a8 = kInOutLength;
         const uint32_t r = p.calculateRoute(1, 2, 3, 4, 5, 6, 7, &a8, s);
         return Outs{r, a8};
       }},
      {"destroyRoute", 0x00208002, 8, 4, 125, true, {0}, rret([](R& p, tStatus* s) {
         return p.destroyRoute(1, s);
       })},
      {"reserveRoute",
       0x00208003,
       24,
       8,
       154,
       true,
       {0, pat(0, 4)},
       [](R& p, tStatus* s, bool) {
         uint32_t a3 = kInOutLength;
         const bool r = p.reserveRoute(1, 2, &a3, s);
         return Outs{r, a3};
       }},
      {"programRoute", 0x00208004, 8, 4, 180, true, {0}, rret([](R& p, tStatus* s) {
         return p.programRoute(1, s);
       })},
      {"unreserveRoute", 0x00208005, 8, 4, 206, true, {0}, rret([](R& p, tStatus* s) {
         return p.unreserveRoute(1, s);
       })},
      {"unprogramRoute", 0x00208006, 8, 4, 232, true, {0}, rret([](R& p, tStatus* s) {
         return p.unprogramRoute(1, s);
       })},
      {"getRouteTerminalPath",
       0x00208007,
       24,
       8,
       261,
       true,
       {0, pat(0, 4)},
       [](R& p, tStatus* s, bool) {
         uint32_t a3 = kInOutLength;
         const bool r = p.getRouteTerminalPath(1, 2, &a3, s);
         return Outs{r, a3};
       }},
      {"command8008", 0x00208008, 16, 4, 288, true, {0}, rret([](R& p, tStatus* s) {
         return p.command8008(1, 2, s);
       })},
      {"command800A", 0x0020800A, 12, 4, 315, true, {0}, rret([](R& p, tStatus* s) {
         return p.command800A(1, 2, s);
       })},
      {"command800B", 0x0020800B, 24, 8, 345, false, {pat(0, 4)}, rret([](R& p, tStatus* s) {
         return p.command800B(1, 2, 3, s);
       })},
  };
  return cases;
}

// What the out-parameters hold when the method wrote none: sentinels, in/out lengths as
// passed, flags as passed (true).
template <typename Proxy>
Outs untouched(const Case<Proxy>& c, uint64_t returned) {
  const std::string name = c.name;
  // A returned record is all zero.
  if (name == "command0604") return Outs(c.fromPattern.size(), 0);
  Outs outs{returned};
  for (size_t i = 1; i < c.fromPattern.size(); ++i) {
    if (c.fromPattern[i] == 1) {
      outs.push_back(1);
    } else if (name == "calculateRoute" || name == "reserveRoute" ||
               name == "getRouteTerminalPath") {
      outs.push_back(kInOutLength);
    } else if (name == "command0904") {
      outs.push_back(kSentinel16);
    } else {
      outs.push_back(kSentinel32);
    }
  }
  return outs;
}

std::vector<uint8_t> pattern(uint32_t length) {
  std::vector<uint8_t> bytes(length);
  for (uint32_t i = 0; i < length; ++i) bytes[i] = static_cast<uint8_t>(0xA0 + i);
  return bytes;
}

sim::Reply replyWith(int32_t driverStatus, uint32_t outLength) {
  sim::Reply reply;
  reply.output = pattern(outLength);
  reply.status = driverStatus;
  return reply;
}

template <typename Proxy>
class ProxyRun {
 public:
  ProxyRun(sim::Interface& iface) : iface_(iface) {
    tStatus status;
    proxy_.open(iface.nodePath().c_str(), &status);
    EXPECT_EQ(status.code, 0);
  }

  // Every case through every outcome.
  void runAll(const std::vector<Case<Proxy>>& cases, const char* header) {
    for (const Case<Proxy>& c : cases) {
      SCOPED_TRACE(c.name);
      success(c);
      driverWarning(c, header);
      driverErrorReplacesWarning(c, header);
      earlierWarningStays(c);
      failedIoctl(c);
      errorAlreadyInStatus(c);
    }
  }

 private:
  void success(const Case<Proxy>& c) {
    iface_.clearLog();
    iface_.script(c.command, replyWith(0, c.outLength));
    tStatus status;
    EXPECT_EQ(c.call(proxy_, &status, false), c.fromPattern);
    EXPECT_EQ(status.code, 0);
    const std::vector<sim::LogEntry> log = iface_.log();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].command, c.command);
    EXPECT_EQ(log[0].inLen, c.inLength);
    EXPECT_EQ(log[0].outLen, c.outLength);
    EXPECT_EQ(log[0].err, 0);
  }

  void driverWarning(const Case<Proxy>& c, const char* header) {
    iface_.script(c.command, replyWith(52, c.outLength));
    tStatus status;
    Outs expected = c.fromPattern;
    if (c.statusOnly) expected[0] = 1;  // the warning was taken
    EXPECT_EQ(c.call(proxy_, &status, false), expected);
    EXPECT_EQ(status.code, 52);
    EXPECT_STREQ(status.component, "qvvandrel");
    EXPECT_STREQ(status.file, header);
    EXPECT_EQ(status.line, c.line);
  }

  void driverErrorReplacesWarning(const Case<Proxy>& c, const char* header) {
    iface_.script(c.command, replyWith(-304500, c.outLength));
    tStatus status;
    status.setCode(7, "earlier", "earlierFile", 3);
    Outs expected = c.fromPattern;
    if (c.statusOnly) expected[0] = 1;
    EXPECT_EQ(c.call(proxy_, &status, false), expected) << "outputs come before the status";
    EXPECT_EQ(status.code, -304500);
    EXPECT_EQ(status.line, c.line);
    EXPECT_STREQ(status.file, header);
    // The input record carried the warning.
    const std::vector<sim::LogEntry> log = iface_.log();
    ASSERT_FALSE(log.empty());
    int32_t sent = 0;
    const size_t offset = statusInputOffset(c);
    ASSERT_LE(offset + 4, log.back().input.size());
    std::memcpy(&sent, log.back().input.data() + offset, 4);
    EXPECT_EQ(sent, 7);
  }

  void earlierWarningStays(const Case<Proxy>& c) {
    iface_.script(c.command, replyWith(99, c.outLength));
    tStatus status;
    status.setCode(7, "earlier", "earlierFile", 3);
    c.call(proxy_, &status, false);
    EXPECT_EQ(status.code, 7);
    EXPECT_STREQ(status.file, "earlierFile");
    EXPECT_EQ(status.line, 3u);
  }

  void failedIoctl(const Case<Proxy>& c) {
    sim::Reply reply = replyWith(0, c.outLength);
    reply.err = EIO;
    iface_.script(c.command, reply);
    tStatus status;
    EXPECT_EQ(c.call(proxy_, &status, true), untouched(c, 0));
    EXPECT_EQ(status.code, -52024);
    EXPECT_STREQ(status.file, "tDeviceInterfaceProxy");
    EXPECT_EQ(status.line, 85u);
  }

  void errorAlreadyInStatus(const Case<Proxy>& c) {
    iface_.clearLog();
    iface_.script(c.command, replyWith(0, c.outLength));
    tStatus status;
    status.setCode(-52008, "earlier", "earlierFile", 3);
    EXPECT_EQ(c.call(proxy_, &status, true), untouched(c, c.statusOnly ? 1 : 0));
    EXPECT_TRUE(iface_.log().empty()) << "no ioctl";
    EXPECT_EQ(status.code, -52008);
    EXPECT_EQ(status.line, 3u);
    iface_.clearScripts();
  }

  // Where the caller's status sits in the input record: the last four bytes, except for the
  // records whose status is followed by padding.
  static size_t statusInputOffset(const Case<Proxy>& c) {
    switch (c.command) {
      case 0x80200904:
        return 16;
      case 0x40200907:
        return 32;
      case 0x40208310:
        return 40;
      case 0x4020832C:
        return 24;
      case 0x4020832E:
        return 48;
      case 0x80200200:
        return 16;
      case 0x40200201:
        return 16;
      case 0x0020800B:
        return 16;
      default:
        return c.inLength - 4;
    }
  }

  sim::Interface& iface_;
  Proxy proxy_;
};

using GeneratedProxy = DriverTestbed;

TEST_F(GeneratedProxy, EveryDeviceMethodOnceForEachOutcome) {
  ASSERT_EQ(deviceCases().size(), 100u) << "101 methods, command830B apart";
  ProxyRun<D> run(first.deviceInterface());
  run.runAll(deviceCases(),
             "./objects/codegen/qvvandrelbrenmooru/tInterfaceProxy_vandrelbrenmoor.h");
}

TEST_F(GeneratedProxy, EveryRoutingMethodOnceForEachOutcome) {
  ASSERT_EQ(routingCases().size(), 11u);
  ProxyRun<R> run(second.routingInterface());
  run.runAll(routingCases(), "./objects/codegen/qvvandrelbrenmooru/tInterfaceProxy_routing.h");
}

TEST_F(GeneratedProxy, SessionCloseReturnsTheResultWordAndReportsNothing) {
  sim::Interface& iface = first.deviceInterface();
  D proxy;
  // Closed: nothing reaches the driver and the result is 0.
  EXPECT_EQ(proxy.command830B(0x1234, 1), 0u);
  EXPECT_TRUE(iface.log().empty());

  tStatus status;
  proxy.open(iface.nodePath().c_str(), &status);
  sim::Reply reply;
  reply.resultWord = 0x600DF00D;
  iface.script(0x4020830B, reply);
  EXPECT_EQ(proxy.command830B(0x1234, 1), 0x600DF00Du);
  std::vector<sim::LogEntry> log = iface.log();
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(log[0].command, 0x4020830Bu);
  EXPECT_EQ(log[0].inLen, 16u);
  EXPECT_EQ(log[0].outLen, 0u);

  sim::Reply failing;
  failing.err = EINVAL;
  iface.script(0x4020830B, failing);
  EXPECT_EQ(proxy.command830B(0x1234, 0), 0u);
}

TEST_F(GeneratedProxy, NullOutParametersAreSkipped) {
  sim::Interface& iface = first.deviceInterface();
  D proxy;
  tStatus status;
  proxy.open(iface.nodePath().c_str(), &status);
  iface.script(0x80200904, replyWith(0, 12));
  EXPECT_EQ(proxy.command0904(1, 2, 3, nullptr, &status), pat(0, 4));
  iface.script(0x40208320, replyWith(0, 12));
  EXPECT_EQ(proxy.command8320(1, 2, nullptr, &status), pat(0, 4));
  EXPECT_EQ(status.code, 0);

  // A missing buffer record is refused before anything is sent.
  iface.clearLog();
  EXPECT_FALSE(proxy.command832E(1, 2, nullptr, &status));
  EXPECT_EQ(status.code, -52005);
  EXPECT_EQ(status.line, 1810u);
  EXPECT_TRUE(iface.log().empty());
}

TEST_F(GeneratedProxy, RoutingLengthComesBackEvenWithADriverError) {
  sim::Interface& iface = second.routingInterface();
  R proxy;
  tStatus status;
  proxy.open(iface.nodePath().c_str(), &status);
  sim::Reply reply;
  reply.output = {0x11, 0, 0, 0, 0x40, 0x01, 0, 0};
  reply.status = -304010;
  iface.script(0x00208001, reply);
  uint32_t length = 64;
  EXPECT_EQ(proxy.calculateRoute(1, 2, 3, 4, 5, 6, 7, &length, &status), 0x11u);
  EXPECT_EQ(length, 0x140u);
  EXPECT_EQ(status.code, -304010);
  EXPECT_EQ(status.line, 97u);
  // The caller's length went out unchanged.
  const std::vector<sim::LogEntry> log = iface.log();
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(log[0].input[48], 64);

  // With an error already in the status the length stays as it was.
  // (A status-only method then answers with the caller's error code, as a flag.)
  uint32_t kept = 5;
  EXPECT_TRUE(proxy.getRouteTerminalPath(1, 2, &kept, &status));
  EXPECT_EQ(kept, 5u);
}

TEST_F(GeneratedProxy, OneObjectBehindEveryInterface) {
  D proxy;
  nQVVANDRELBRENMOORU_22_8::iInterfaceProxy_atomickelddk_io& io = proxy;
  nQVVANDRELBRENMOORU_22_8::iInterfaceProxy_readwrite& rw = proxy;
  nQVVANDRELBRENMOORU_22_8::iInterfaceProxy_atomickelddk& kit = proxy;
  nQVVANDRELBRENMOORU_22_8::iInterfaceProxy_atomickelddk_attribute& attribute = kit;
  nQVVANDRELBRENMOORU_22_8::nQVVUSK000::iInterfaceProxy& a = io;
  nQVVANDRELBRENMOORU_22_8::nQVVUSK000::iInterfaceProxy& b = rw;
  nQVVANDRELBRENMOORU_22_8::nQVVUSK000::iInterfaceProxy& c = attribute;
  EXPECT_EQ(&a, &b);
  EXPECT_EQ(&a, &c);
  EXPECT_EQ(dynamic_cast<D*>(&a), &proxy);

  // A method through an interface reference reaches the same node.
  sim::Interface& iface = first.deviceInterface();
  tStatus status;
  proxy.open(iface.nodePath().c_str(), &status);
  iface.script(0x80208316, replyWith(0, 8));
  EXPECT_EQ(io.command8316(0x40, &status), pat(0, 4));
  EXPECT_EQ(iface.count(0x80208316), 1u);
}

}  // namespace
