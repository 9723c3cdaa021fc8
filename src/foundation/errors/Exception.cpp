// The library exception, the scope guards, the errno table and the boundary map.

#include "foundation/errors/Exception.h"

#include <cerrno>
#include <initializer_list>
#include <new>
#include <stdexcept>
#include <system_error>
#include <typeinfo>

#include "foundation/errors/ErrorCodes.h"

namespace qverr {

ExceptionBase::ExceptionBase(Status&& status) {
  status_.mergeMove(status);
}

ExceptionBase::ExceptionBase(const ExceptionBase& other) {
  status_.mergeMove(other.status_);
}

ExceptionBase::~ExceptionBase() = default;

const char* ExceptionBase::what() const noexcept {
  return status_.detailText();
}

Exception::~Exception() = default;

const char* Exception::what() const noexcept {
  return ExceptionBase::what();
}

void throwRecord(const nQVVUSKS100::tStatus& record) {
  Status status;
  mergeRecordIntoStatus(record, status);
  throw Exception(std::move(status));
}

ThrowingStatusRecord::~ThrowingStatusRecord() noexcept(false) {
  if (code < 0 && std::uncaught_exceptions() == 0) throwRecord(*this);
}

ThrowingStatus::~ThrowingStatus() noexcept(false) {
  if (code < 0 && std::uncaught_exceptions() == 0) {
    Status carried;
    carried.mergeMove(*this);
    throw Exception(std::move(carried));
  }
}

void throwStatusCode(uint32_t code) {
  Status status;
  status.setCode(static_cast<int32_t>(code));
  throw Exception(std::move(status));
}

void throwError(int32_t code) {
  throwStatusCode(static_cast<uint32_t>(code));
}

int32_t throwIfError(Status& status) {
  if (status.code >= 0) return status.code;
  throw Exception(std::move(status));
}

void raise(int32_t code, const StatusLocation& where) {
  Status status;
  if (where.errorConstant != nullptr) {
    status.setCodeWithErrorConstant(code, where);
  } else {
    status.setCodeWithLocation(code, where);
  }
  throw Exception(std::move(status));
}

namespace {

constexpr int kErrnoTableSize = 131;

struct ErrnoTable {
  int32_t codes[kErrnoTableSize];

  constexpr ErrnoTable() : codes{} {
    for (int i = 1; i < kErrnoTableSize; ++i) codes[i] = kOsFault;
    set({EPERM, EACCES, EROFS}, kPermissionDenied);
    set({ENOENT, ESRCH, ENXIO, EBADF, ENODEV}, kResourceNotFound);
    set({EINTR, ECONNRESET}, kInterrupted);
    set({EIO, EPIPE, EBADMSG}, kIoError);
    set({ENOMEM, ENFILE, EMFILE}, kMemoryFull);
    set({ENOTTY, EOPNOTSUPP}, kNotSupported);
    set({ENOSPC, EOVERFLOW}, kEndOfData);
    set({EDEADLK, ENOLCK}, kDeadlock);
    set({EBUSY}, kBusy);
    set({EEXIST, EADDRINUSE}, kObjectNameCollision);
    set({EINVAL}, kInvalidParameter);
    set({EIDRM}, kResourceRemoved);
    set({ECONNABORTED}, kConnectionAborted);
    set({ENOBUFS}, kBufferTooSmall);
    set({ETIMEDOUT}, kTimeout);
    set({EALREADY, EINPROGRESS}, kAlreadyInProgress);
    set({EOWNERDEAD}, kOwnerDead);
  }

  constexpr void set(std::initializer_list<int> errnos, int32_t code) {
    for (int err : errnos) codes[err] = code;
  }
};

constexpr ErrnoTable kErrnoTable;

}  // namespace

int32_t statusFromErrno(int err) {
  if (err < 0 || err >= kErrnoTableSize) return kOsFault;
  return kErrnoTable.codes[err];
}

void recordErrno(nQVVUSKS100::tStatus& record, int err, const StatusLocation& where) {
  recordCode(record, statusFromErrno(err), where);
}

void recordCurrentException(nQVVUSKS100::tStatus& record, const StatusLocation& boundary) noexcept {
  const char* component = boundary.component ? boundary.component : kComponent;
  const char* file = boundary.file ? boundary.file : "";
  int32_t code = kInternalError;
  try {
    throw;
  } catch (const ExceptionBase& e) {
    mergeStatusIntoRecord(e.status(), record);
  } catch (const std::bad_alloc&) {
    code = kMemoryFull;
  } catch (const std::invalid_argument&) {
    code = kInvalidParameter;
  } catch (const std::bad_cast&) {
    code = kBadCast;
  } catch (const std::system_error&) {
    code = kOsFault;
  } catch (...) {
  }
  record.setCode(code, component, file, boundary.line);
}

}  // namespace qverr
