#pragma once
// Run-time loading of the maker's libraries: failures become statuses whose detail names the
// library or symbol and carries the loader's own message.

#include <cstdint>

#include "foundation/errors/Status.h"

// dlopen(path, flags); null with -52005 and a detail on failure. Nothing when the status
// already holds an error.
void* qvdynlib_load(const char* path, int32_t flags, qverr::Status& status);

// dlsym(handle, name); null with -52005 and a detail on failure.
void* qvdynlib_getSymbol(void* handle, const char* name, qverr::Status& status);

namespace qvdynlib {

// Owns one library handle and closes it on destruction.
class AutoLib {
 public:
  AutoLib() = default;
  explicit AutoLib(void* handle) : handle_(handle) {}
  ~AutoLib();
  AutoLib(const AutoLib&) = delete;
  AutoLib& operator=(const AutoLib&) = delete;

  void* handle() const { return handle_; }
  // Closes the handle held so far and takes `handle`.
  void reset(void* handle = nullptr);

 private:
  void* handle_ = nullptr;
};

// A library handle together with the table T of entry points resolved from it.
template <typename T>
class AutoLibWithInterface : private AutoLib {
 public:
  AutoLibWithInterface() = default;
  AutoLibWithInterface(void* handle, const T& entries) : AutoLib(handle), entries_(entries) {}
  virtual ~AutoLibWithInterface() = default;

  using AutoLib::handle;
  const T& entries() const { return entries_; }
  T& entries() { return entries_; }
  void reset(void* handle, const T& entries) {
    AutoLib::reset(handle);
    entries_ = entries;
  }

 private:
  T entries_{};
};

// Resolves `symbolName` in `libraryName`, loading that library at most once per process (it
// stays loaded until exit). Any failure gives null; a failed load is tried again next time.
void* loadOnceAndGetSymbol(const char* symbolName, const char* libraryName);

}  // namespace qvdynlib
