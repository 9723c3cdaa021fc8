#pragma once
// The library's one exception type, the guards that raise it at scope exit, the errno table and
// the one map that turns whatever was thrown into a code at a host-facing boundary.

#include <cstdint>
#include <exception>
#include <type_traits>
#include <utility>

#include "foundation/errors/Status.h"

namespace qverr {

class ExceptionBase {
 public:
  ExceptionBase() = default;
  // Takes over the status's code and detail.
  explicit ExceptionBase(Status&& status);
  // The detail buffer passes from the source to the copy.
  ExceptionBase(const ExceptionBase& other);
  ExceptionBase& operator=(const ExceptionBase&) = delete;
  virtual ~ExceptionBase();
  // The whole JSON detail, or "" when there is none.
  virtual const char* what() const noexcept;

  const Status& status() const { return status_; }
  Status& status() { return status_; }
  int32_t code() const { return status_.code; }

 private:
  mutable Status status_;
};

class Exception : public virtual ExceptionBase, public virtual std::exception {
 public:
  Exception() = default;
  explicit Exception(Status&& status) : ExceptionBase(std::move(status)) {}
  Exception(const Exception& other) : ExceptionBase(other), std::exception(other) {}
  ~Exception() override;
  const char* what() const noexcept override;
};

// A full-layout record that raises its error as an Exception at scope exit.
class ThrowingStatusRecord : public nQVVUSKS100::tStatus {
 public:
  ThrowingStatusRecord() = default;
  ThrowingStatusRecord(const ThrowingStatusRecord&) = delete;
  ThrowingStatusRecord& operator=(const ThrowingStatusRecord&) = delete;
  ~ThrowingStatusRecord() noexcept(false);
};

// A Status that raises its error as an Exception at scope exit.
class ThrowingStatus : public Status {
 public:
  ThrowingStatus() = default;
  ~ThrowingStatus() noexcept(false);
};

// Raises the record's code and location as an Exception.
[[noreturn]] void throwRecord(const nQVVUSKS100::tStatus& record);
[[noreturn]] void throwStatusCode(uint32_t code);
[[noreturn]] void throwError(int32_t code);
int32_t throwIfError(Status& status);

// Raises `code` with a detail naming `where` (and its error constant when it has one).
[[noreturn]] void raise(int32_t code, const StatusLocation& where);

// The errno table: 0 gives 0, a value outside 0..130 gives -52008.
int32_t statusFromErrno(int err);
// Records the errno table's code for `err` at `where` in a status record by the merge rule.
void recordErrno(nQVVUSKS100::tStatus& record, int err, const StatusLocation& where);

// The boundary map. Call only inside a catch handler; writes the code for the exception being
// handled into `record` by the merge rule, located at `boundary`.
void recordCurrentException(nQVVUSKS100::tStatus& record, const StatusLocation& boundary) noexcept;

// Runs `body` under the boundary map. Returns true when it completed without an exception.
// A null record still runs the body; the outcome then has nowhere to go.
template <typename F>
bool runAtBoundary(nQVVUSKS100::tStatus* record, const StatusLocation& boundary, F&& body) {
  try {
    std::forward<F>(body)();
    return true;
  } catch (...) {
    if (record != nullptr) {
      recordCurrentException(*record, boundary);
    }
    return false;
  }
}

}  // namespace qverr
