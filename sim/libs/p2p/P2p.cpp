// Stand-in for the maker's peer-to-peer streaming library "libqvp2p.so". Registration hands out
// increasing identifiers (from 1) and keeps each endpoint; unregistration forgets it. Both are
// logged ("register <id>", "unregister <id>") and can be made to fail. A test can make the
// library call a registered endpoint's query or describe from a thread of its own, as the
// maker's library does when a peer asks.
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "sim/libs/StandInLog.h"

// The endpoint interface as the library sees it, written from its slot table: query, describe,
// three operations the library does not use, then the destructor pair. A product whose slots
// differ answers the wrong operation here.
namespace nQVP2P {
class iEndpointSession {
 public:
  virtual int32_t query(uint32_t* value) = 0;
  virtual int32_t describe(uint32_t* record, uint32_t* version) = 0;
  virtual int32_t reserved2() = 0;
  virtual int32_t reserved3() = 0;
  virtual int32_t reserved4() = 0;
  virtual ~iEndpointSession() = default;
};
}  // namespace nQVP2P

namespace {

constexpr int32_t kUnknownEndpoint = -52006;

std::mutex gMutex;
std::map<uint32_t, nQVP2P::iEndpointSession*> gEndpoints;
uint32_t gNextId = 1;
std::map<std::string, int32_t> gFailures;  // entry point -> status of its next call
std::vector<std::string> gCalls;

// The injected status of the entry point's next call, else 0.
int32_t injected(const char* entry) {
  auto f = gFailures.find(entry);
  if (f == gFailures.end()) return 0;
  const int32_t code = f->second;
  gFailures.erase(f);
  return code;
}

nQVP2P::iEndpointSession* endpoint(uint32_t id) {
  std::lock_guard lock(gMutex);
  auto e = gEndpoints.find(id);
  return e != gEndpoints.end() ? e->second : nullptr;
}

// Runs `call` on a thread of the library's own and returns its result.
template <typename F>
int32_t onLibraryThread(F call) {
  int32_t result = 0;
  std::thread worker([&] { result = call(); });
  worker.join();
  return result;
}

}  // namespace

#define P2P_EXPORT extern "C" __attribute__((visibility("default")))

P2P_EXPORT int32_t qvstreamuRegisterEndpointInternal(nQVP2P::iEndpointSession* endpoint,
                                                     uint32_t* id) {
  std::lock_guard lock(gMutex);
  if (const int32_t code = injected("qvstreamuRegisterEndpointInternal"); code != 0) {
    gCalls.push_back("register failed " + std::to_string(code));
    return code;
  }
  const uint32_t assigned = gNextId++;
  gEndpoints[assigned] = endpoint;
  if (id != nullptr) *id = assigned;
  gCalls.push_back("register " + std::to_string(assigned));
  return 0;
}

#ifndef QVSIM_P2P_WITHOUT_UNREGISTER
P2P_EXPORT int32_t qvstreamuUnregisterEndpointInternal(uint32_t id) {
  std::lock_guard lock(gMutex);
  gCalls.push_back("unregister " + std::to_string(id));
  if (const int32_t code = injected("qvstreamuUnregisterEndpointInternal"); code != 0) return code;
  return gEndpoints.erase(id) != 0 ? 0 : kUnknownEndpoint;
}
#endif

// Test controls.
P2P_EXPORT void qvsim_p2p_reset(void) {
  std::lock_guard lock(gMutex);
  gEndpoints.clear();
  gNextId = 1;
  gFailures.clear();
  gCalls.clear();
}

P2P_EXPORT void qvsim_p2p_failNext(const char* entry, int32_t code) {
  std::lock_guard lock(gMutex);
  gFailures[entry] = code;
}

P2P_EXPORT int qvsim_p2p_callCount(void) {
  std::lock_guard lock(gMutex);
  return static_cast<int>(gCalls.size());
}

P2P_EXPORT int qvsim_p2p_callName(int index, char* buffer, int size) {
  std::lock_guard lock(gMutex);
  return sim::libs::copyLoggedCall(gCalls, index, buffer, size);
}

P2P_EXPORT int qvsim_p2p_registered(void) {
  std::lock_guard lock(gMutex);
  return static_cast<int>(gEndpoints.size());
}

// The endpoint's query (slot 0) and describe (slot 1), called from a thread of the library's
// own; an identifier the library does not know answers kUnknownEndpoint.
P2P_EXPORT int32_t qvsim_p2p_query(uint32_t id, uint32_t* value) {
  nQVP2P::iEndpointSession* e = endpoint(id);
  if (e == nullptr) return kUnknownEndpoint;
  return onLibraryThread([&] { return e->query(value); });
}

P2P_EXPORT int32_t qvsim_p2p_describe(uint32_t id, uint32_t* record, uint32_t* version) {
  nQVP2P::iEndpointSession* e = endpoint(id);
  if (e == nullptr) return kUnknownEndpoint;
  return onLibraryThread([&] { return e->describe(record, version); });
}
