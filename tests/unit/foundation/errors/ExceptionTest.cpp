#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <new>
#include <stdexcept>
#include <string>
#include <system_error>
#include <typeinfo>

#include "foundation/errors/ErrorCodes.h"
#include "foundation/errors/Exception.h"

using nQVVUSKS100::tStatus;
using qverr::StatusLocation;

namespace {

constexpr StatusLocation kThrowSite{"tNotificationDispatcher", 191, "qvvandrelbrenmooru",
                                    "qvvuskerr_objectNameCollision"};
constexpr StatusLocation kBoundary{"FpgaSessionBoundary", 512, "qvvandrelbrenmooru"};

struct Unrelated {};

// Runs `body` at the boundary into a fresh full record.
template <typename F>
tStatus atBoundary(F&& body) {
  tStatus record;
  EXPECT_FALSE(qverr::runAtBoundary(&record, kBoundary, std::forward<F>(body)));
  return record;
}

void expectBoundaryLocation(const tStatus& record) {
  EXPECT_STREQ("qvvandrel", record.component);
  EXPECT_STREQ("FpgaSessionBoundary", record.file);
  EXPECT_EQ(512u, record.line);
}

}  // namespace

TEST(ExceptionBasics, WhatIsTheDetailOrEmpty) {
  try {
    qverr::throwError(-52005);
    FAIL() << "throwError returned";
  } catch (const qverr::Exception& e) {
    EXPECT_STREQ("", e.what());
    EXPECT_EQ(-52005, e.code());
    EXPECT_EQ(nullptr, e.status().detail);
  }
  try {
    qverr::throwStatusCode(0xFFFF34DBu);
    FAIL() << "nothing was thrown";
  } catch (const std::exception& e) {
    const auto* base = dynamic_cast<const qverr::ExceptionBase*>(&e);
    ASSERT_NE(nullptr, base);
    EXPECT_EQ(-52005, base->code());
  }
}

TEST(ExceptionBasics, RaiseWithErrorConstantGivesTheExactJson) {
  try {
    qverr::raise(qverr::kObjectNameCollision, kThrowSite);
    FAIL() << "nothing was thrown";
  } catch (const qverr::ExceptionBase& e) {
    EXPECT_STREQ(
        R"({"error_constant":"qvvuskerr_objectNameCollision","file":"tNotificationDispatcher",)"
        R"("line":191,"component":"qvvandrelbrenmooru"})",
        e.what());
    EXPECT_EQ(-52013, e.code());
  }
}

TEST(ExceptionBasics, RaiseWithoutErrorConstantWritesLocationOnly) {
  constexpr StatusLocation plain{"dynload", 65};
  try {
    qverr::raise(-52006, plain);
    FAIL() << "nothing was thrown";
  } catch (const std::exception& e) {
    EXPECT_STREQ(R"({"file":"dynload","line":65})", e.what());
  }
}

TEST(ExceptionBasics, CopyTakesOverTheDetailBuffer) {
  qverr::Status status;
  status.setCodeWithErrorConstant(-52000, kThrowSite);
  const std::string text = status.detail;
  qverr::Exception original(std::move(status));
  EXPECT_EQ(nullptr, status.detail);
  const char* buffer = original.status().detail;
  qverr::Exception copy(original);
  EXPECT_EQ(buffer, copy.status().detail);
  EXPECT_EQ(text, copy.what());
  EXPECT_STREQ("", original.what());
}

TEST(ExceptionBasics, ThrowIfErrorPassesNonNegativeCodes) {
  qverr::Status warning;
  warning.setCode(3);
  EXPECT_EQ(3, qverr::throwIfError(warning));
  qverr::Status error;
  error.setCodeWithLocation(-52024, kThrowSite);
  const std::string text = error.detail;
  try {
    qverr::throwIfError(error);
    FAIL();
  } catch (const qverr::Exception& e) {
    EXPECT_EQ(-52024, e.code());
    EXPECT_EQ(text, e.what());
  }
}

TEST(StatusGuards, RecordGuardIgnoresWarningAndThrowsError) {
  EXPECT_NO_THROW({
    qverr::ThrowingStatusRecord guard;
    guard.setCode(7, "c", "f", 1);
  });
  try {
    qverr::ThrowingStatusRecord guard;
    guard.setCode(-52006, "qvvandrelbrenmooru", "linuxDevEnumHelper", 87);
    EXPECT_EQ(216u, guard.structSize);
  } catch (const qverr::Exception& e) {
    EXPECT_EQ(-52006, e.code());
    EXPECT_STREQ(R"({"file":"linuxDevEnumHelper","line":87,"component":"qvvandrel"})", e.what());
    return;
  }
  FAIL() << "the guard did not throw";
}

TEST(StatusGuards, GuardsStaySilentWhileAnotherExceptionUnwinds) {
  try {
    qverr::ThrowingStatusRecord guard;
    qverr::ThrowingStatus status;
    guard.setCode(-52000, "a", "b", 1);
    status.setCodeWithLocation(-52005, kThrowSite);
    throw std::runtime_error("first");
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ("first", e.what());
  } catch (...) {
    FAIL() << "a guard replaced the first exception";
  }
}

TEST(StatusGuards, ThrowingStatusCarriesItsWholeDetail) {
  std::string expected;
  try {
    qverr::ThrowingStatus status;
    status.setCodeWithErrorConstant(-52007, kThrowSite);
    status.addString(status.reserveDetail(0), "extra", "value");
    expected = status.detail;
  } catch (const qverr::Exception& e) {
    EXPECT_EQ(-52007, e.code());
    EXPECT_EQ(expected, e.what());
    EXPECT_NE(std::string::npos, expected.find(R"("extra":"value")"));
    return;
  }
  FAIL() << "the guard did not throw";
}

TEST(StatusGuards, ThrowingStatusWithWarningDoesNotThrow) {
  EXPECT_NO_THROW({
    qverr::ThrowingStatus status;
    status.setCodeWithLocation(12, kThrowSite);
  });
}

TEST(BoundaryMap, LibraryExceptionKeepsItsOwnLocation) {
  const tStatus record = atBoundary([] { qverr::raise(-52013, kThrowSite); });
  EXPECT_EQ(-52013, record.code);
  EXPECT_STREQ("qvvandrel", record.component);
  EXPECT_STREQ("tNotificationDispatcher", record.file);
  EXPECT_EQ(191u, record.line);
}

TEST(BoundaryMap, ExceptionFromSetCodeWithErrorConstantLandsInFullRecord) {
  constexpr StatusLocation longSite{
      "objects/codegen/qvvandrelbrenmooru/generated/proxies/of/the/device/generation/"
      "tInterfaceProxy_vandrelbrenmoor.h",
      2870, "qvvandrelbrenmooru", "qvvuskerr_memoryFull"};
  const std::string file = longSite.file;
  ASSERT_GT(file.size(), 100u);
  const tStatus record = atBoundary([&] {
    qverr::Status status;
    status.setCodeWithErrorConstant(-52000, longSite);
    throw qverr::Exception(std::move(status));
  });
  EXPECT_EQ(-52000, record.code);
  EXPECT_STREQ("qvvandrel", record.component);
  // Through the detail the location keeps the last 100 characters of its file name.
  EXPECT_EQ(file.substr(file.size() - 100), std::string(record.file));
  EXPECT_EQ(2870u, record.line);
}

TEST(BoundaryMap, ExceptionLandsInShortRecordAsCodeOnly) {
  alignas(8) unsigned char bytes[216];
  std::memset(bytes, 0x3C, sizeof bytes);
  const uint64_t size = 16;
  std::memset(bytes + 8, 0, 8);
  std::memcpy(bytes, &size, 8);
  auto* record = reinterpret_cast<tStatus*>(bytes);
  EXPECT_FALSE(qverr::runAtBoundary(record, kBoundary, [] { qverr::raise(-52000, kThrowSite); }));
  int64_t code = 0;
  std::memcpy(&code, bytes + 8, 8);
  EXPECT_EQ(-52000, code);
  for (size_t i = 16; i < sizeof bytes; ++i) ASSERT_EQ(0x3C, bytes[i]) << i;
}

TEST(BoundaryMap, LibraryExceptionWithoutCodeBecomesInternalError) {
  const tStatus record = atBoundary([] { throw qverr::Exception(); });
  EXPECT_EQ(-52003, record.code);
  expectBoundaryLocation(record);

  const tStatus zero = atBoundary([] { qverr::raise(0, kThrowSite); });
  EXPECT_EQ(-52003, zero.code);
  expectBoundaryLocation(zero);
}

TEST(BoundaryMap, LibraryWarningYieldsToInternalError) {
  const tStatus record = atBoundary([] { qverr::throwError(5); });
  EXPECT_EQ(-52003, record.code);
  expectBoundaryLocation(record);
}

TEST(BoundaryMap, StandardExceptionsMapToTheirCodes) {
  struct Case {
    const char* name;
    void (*thrower)();
    int64_t code;
  };
  const Case cases[] = {
      {"bad_alloc", [] { throw std::bad_alloc(); }, -52000},
      {"invalid_argument", [] { throw std::invalid_argument("x"); }, -52005},
      {"bad_cast", [] { throw std::bad_cast(); }, -52004},
      {"system_error", [] { throw std::system_error(std::make_error_code(std::errc::io_error)); },
       -52008},
      {"runtime_error", [] { throw std::runtime_error("x"); }, -52003},
      {"out_of_range", [] { throw std::out_of_range("x"); }, -52003},
      {"int", [] { throw 42; }, -52003},
      {"unrelated", [] { throw Unrelated(); }, -52003},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const tStatus record = atBoundary(c.thrower);
    EXPECT_EQ(c.code, record.code);
    expectBoundaryLocation(record);
  }
}

TEST(BoundaryMap, RecordAlreadyHoldingAnErrorKeepsIt) {
  for (int which = 0; which < 2; ++which) {
    tStatus record;
    record.setCode(-52031, "earlier", "earlier.cpp", 5);
    qverr::runAtBoundary(&record, kBoundary, [&] {
      if (which == 0) qverr::raise(-52013, kThrowSite);
      throw std::bad_alloc();
    });
    EXPECT_EQ(-52031, record.code);
    EXPECT_STREQ("earlier", record.component);
    EXPECT_STREQ("earlier.cpp", record.file);
    EXPECT_EQ(5u, record.line);
  }
}

TEST(BoundaryMap, BodyWithoutExceptionLeavesTheRecord) {
  tStatus record;
  record.setCode(4, "w", "w.cpp", 2);
  int ran = 0;
  EXPECT_TRUE(qverr::runAtBoundary(&record, kBoundary, [&] { ++ran; }));
  EXPECT_EQ(1, ran);
  EXPECT_EQ(4, record.code);
  EXPECT_FALSE(qverr::runAtBoundary(nullptr, kBoundary, [] { qverr::throwError(-1); }));
}

TEST(ErrnoTable, EveryRowGivesItsCode) {
  struct Row {
    int err;
    int32_t code;
  };
  const Row rows[] = {
      {0, 0},
      {EPERM, -52026},
      {EACCES, -52026},
      {EROFS, -52026},
      {ENOENT, -52006},
      {ESRCH, -52006},
      {ENXIO, -52006},
      {EBADF, -52006},
      {ENODEV, -52006},
      {EINTR, -52025},
      {ECONNRESET, -52025},
      {EIO, -52024},
      {EPIPE, -52024},
      {EBADMSG, -52024},
      {ENOMEM, -52000},
      {ENFILE, -52000},
      {EMFILE, -52000},
      {ENOTTY, -52002},
      {EOPNOTSUPP, -52002},
      {ENOSPC, -52012},
      {EOVERFLOW, -52012},
      {EDEADLK, -52015},
      {ENOLCK, -52015},
      {EBUSY, -52031},
      {EEXIST, -52013},
      {EADDRINUSE, -52013},
      {EINVAL, -52005},
      {EIDRM, -52020},
      {ECONNABORTED, -52023},
      {ENOBUFS, -52019},
      {ETIMEDOUT, -52007},
      {EALREADY, -52011},
      {EINPROGRESS, -52011},
      {EOWNERDEAD, -52014},
  };
  // Linux x86-64 numbers, written out so that a wrong macro cannot hide a wrong row.
  const int numbers[] = {0,  1,  13, 30, 2,  3,  6,  9,  19, 4,  104, 5,   32,  74,  12,  23,  24,
                         25, 95, 28, 75, 35, 37, 16, 17, 98, 22, 43,  103, 105, 110, 114, 115, 130};
  ASSERT_EQ(std::size(rows), std::size(numbers));
  bool listed[131] = {};
  for (size_t i = 0; i < std::size(rows); ++i) {
    SCOPED_TRACE(rows[i].err);
    EXPECT_EQ(numbers[i], rows[i].err);
    EXPECT_EQ(rows[i].code, qverr::statusFromErrno(rows[i].err));
    listed[rows[i].err] = true;
  }
  for (int err = 1; err <= 130; ++err) {
    if (!listed[err]) {
      EXPECT_EQ(-52008, qverr::statusFromErrno(err)) << "errno " << err;
    }
  }
}

TEST(ErrnoTable, OutsideTheTableIsOsFault) {
  EXPECT_EQ(-52008, qverr::statusFromErrno(131));
  EXPECT_EQ(-52008, qverr::statusFromErrno(-1));
  EXPECT_EQ(-52008, qverr::statusFromErrno(100000));
  EXPECT_EQ(-52008, qverr::statusFromErrno(-2147483647 - 1));
}
