#include "routing/RoCoSession.h"

#include <exception>
#include <type_traits>
#include <utility>

#include "foundation/errors/Exception.h"

namespace rocout {

namespace {

using nQVVANDRELBRENMOORU_22_8::nQVVUSK000::tMutexLock;

// Raises the library's error with its code and detail, unless an exception is already on its
// way (an operation run while a destructor unwinds): then the error is dropped, as a warning
// always is.
void raiseLibraryError(qverr::Status& status) {
  if (status.isError() && std::uncaught_exceptions() == 0)
    throw qverr::Exception(std::move(status));
}

}  // namespace

RoCoSession::RoCoSession() {
  qvrocoapi::load(holder_, loadStatus_);
  library_ = &holder_.entries();
}

RoCoSession::~RoCoSession() {
  if (!library_->has_destroySession()) return;
  for (void** field : {&routeSession_, &resetSession_}) {
    if (*field == nullptr) continue;
    library_->destroySession(*field);
    *field = nullptr;
  }
}

void* RoCoSession::librarySession(void*& field) {
  tMutexLock lock(creationMutex_);
  if (field != nullptr) return field;
  if (loadStatus_.isError()) {
    // The first raise takes the load failure's detail along; later ones carry the code.
    qverr::Status raised;
    raised.mergeMove(loadStatus_);
    throw qverr::Exception(std::move(raised));
  }
  qverr::Status status;
  void* session = library_->createSession(&status);
  // A failed creation leaves the field empty, so the next operation tries again.
  raiseLibraryError(status);
  field = session;
  return field;
}

template <typename Call>
auto RoCoSession::guarded(void** field, Call&& call) {
  qverr::Status status;
  void* session = field != nullptr ? librarySession(*field) : nullptr;
  if constexpr (std::is_void_v<decltype(call(session, &status))>) {
    call(session, &status);
    raiseLibraryError(status);
  } else {
    auto result = call(session, &status);
    raiseLibraryError(status);
    return result;
  }
}

u32 RoCoSession::calculateRoute(const char* source, const char* destination, void* attributes) {
  return guarded(&routeSession_, [&](void* session, qverr::Status* status) {
    return library_->calculateRoute(session, source, destination, attributes, status);
  });
}

void RoCoSession::reserveRoute(u32 route) {
  guarded(&routeSession_, [&](void* session, qverr::Status* status) {
    library_->reserveRoute(session, route, status);
  });
}

void RoCoSession::programRoute(u32 route) {
  guarded(&routeSession_, [&](void* session, qverr::Status* status) {
    library_->programRoute(session, route, status);
  });
}

void RoCoSession::unprogramRoute(u32 route) {
  guarded(&routeSession_, [&](void* session, qverr::Status* status) {
    library_->unprogramRoute(session, route, status);
  });
}

void RoCoSession::unreserveRoute(u32 route) {
  guarded(&routeSession_, [&](void* session, qverr::Status* status) {
    library_->unreserveRoute(session, route, status);
  });
}

void RoCoSession::destroyRoute(u32 route) {
  guarded(&routeSession_, [&](void* session, qverr::Status* status) {
    library_->destroyRoute(session, route, status);
  });
}

void RoCoSession::resetTerminal(const char* terminal, const char* mode) {
  guarded(&routeSession_, [&](void* session, qverr::Status* status) {
    library_->resetTerminal(session, terminal, mode, status);
  });
}

u32 RoCoSession::calculateResetTerminal(u64 a, u64 b) {
  return guarded(&routeSession_, [&](void* session, qverr::Status* status) {
    return library_->calculateResetTerminal(session, a, b, status);
  });
}

void RoCoSession::destroyImmediateRoute(u64 a, u64 b) {
  guarded(&routeSession_, [&](void* session, qverr::Status* status) {
    library_->destroyImmediateRoute(session, a, b, status);
  });
}

void RoCoSession::initiateDeviceReset(u64 deviceName) {
  guarded(&resetSession_, [&](void* session, qverr::Status* status) {
    library_->initiateDeviceReset(session, reinterpret_cast<const char*>(deviceName), status);
  });
}

void RoCoSession::completeDeviceReset(u64 deviceName) {
  guarded(&resetSession_, [&](void* session, qverr::Status* status) {
    library_->completeDeviceReset(session, reinterpret_cast<const char*>(deviceName), status);
  });
}

void* RoCoSession::getTerminalNamesAndAttributesForDevice(u64 device,
                                                          const std::vector<std::string>& names) {
  std::vector<const char*> array;
  array.reserve(names.size() + 1);
  for (const std::string& name : names) array.push_back(name.c_str());
  array.push_back(nullptr);
  return guarded(&routeSession_, [&](void* session, qverr::Status* status) {
    return library_->getTerminalNamesAndAttributesForDevice(session, device, array.data(), status);
  });
}

u64 RoCoSession::TerminalContainer_begin(u64 a) {
  return library_->TerminalContainer_begin(a);
}

u64 RoCoSession::TerminalIterator_next(u64 a) {
  return library_->TerminalIterator_next(a);
}

u64 RoCoSession::TerminalIterator_isEnd(u64 a, u64 b) {
  return library_->TerminalIterator_isEnd(a, b);
}

u64 RoCoSession::TerminalContainer_destroy(u64 a) {
  return library_->TerminalContainer_destroy(a);
}

void* RoCoSession::TerminalIterator_getStringAttribute(u64 a, u64 b, u64 c) {
  return guarded(nullptr, [&](void*, qverr::Status* status) {
    return library_->TerminalIterator_getStringAttribute(a, b, c, status);
  });
}

u32 RoCoSession::TerminalIterator_getBoolAttribute(u64 a, u64 b, u64 c) {
  return guarded(nullptr, [&](void*, qverr::Status* status) {
    return library_->TerminalIterator_getBoolAttribute(a, b, c, status);
  });
}

u32 RoCoSession::validateTerminalURI(u64 a) {
  return guarded(&routeSession_, [&](void* session, qverr::Status* status) {
    return library_->validateTerminalURI(session, a, status);
  });
}

u32 RoCoSession::areTerminalURIsEqual(u64 a, u64 b) {
  return guarded(&routeSession_, [&](void* session, qverr::Status* status) {
    return library_->areTerminalURIsEqual(session, a, b, status);
  });
}

}  // namespace rocout
