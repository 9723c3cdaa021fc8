#include "discovery/LockableFile.h"

#include <fcntl.h>
#include <stdio_ext.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <ctime>

#include "attributes/Elaboration.h"
#include "foundation/errors/ErrorCodes.h"
#include "foundation/errors/Exception.h"
#include "foundation/system/OsErrorDetail.h"

namespace qvjsonconfig {

namespace {

constexpr const char* kSource = "LockableFile";

constexpr qverr::StatusLocation kOpenFailed{kSource, 96, qverr::kComponent,
                                            qverr::constant::kStatusResourceNotFound};
constexpr qverr::StatusLocation kReadFailed{kSource, 151, qverr::kComponent,
                                            qverr::constant::kStatusEndOfData};
constexpr qverr::StatusLocation kWriteFailed{kSource, 174, qverr::kComponent,
                                             qverr::constant::kStatusEndOfData};
constexpr qverr::StatusLocation kTruncateFailed{kSource, 181, qverr::kComponent,
                                                qverr::constant::kStatusEndOfData};
constexpr qverr::StatusLocation kFsyncFailed{kSource, 185, qverr::kComponent,
                                             qverr::constant::kStatusEndOfData};
constexpr qverr::StatusLocation kFlushFailed{kSource, 189, qverr::kComponent,
                                             qverr::constant::kStatusEndOfData};
constexpr qverr::StatusLocation kJournalFailed{kSource, 233, qverr::kComponent,
                                               qverr::constant::kStatusEndOfData};
constexpr qverr::StatusLocation kReserveFailed{kSource, 262, qverr::kComponent,
                                               qverr::constant::kStatusEndOfData};

constexpr int kOpenAttempts = 6;
constexpr long kOpenRetryNs = 10'000'000;
constexpr size_t kReadChunk = 128;
constexpr mode_t kSharedMode = 0666;

// Raises `code` with the translator detail: the path when given, the comment and, when `err`
// is set, the errno object.
[[noreturn]] void raiseFileError(int32_t code, const qverr::StatusLocation& where,
                                 const char* comment, const char* path, const int* err) {
  qverr::Status status;
  if (err != nullptr) {
    qvsysq::setOsError(status, code, where, *err);
  } else {
    status.setCodeWithErrorConstant(code, where);
  }
  atat::elaboration::Cursor cursor =
      atat::elaboration::openTranslatorElaboration(status, atat::kTranslatorName);
  if (path != nullptr) {
    cursor = atat::elaboration::appendUsageString(cursor, "kUsageTypeFilePath", path);
  }
  atat::writeCommentItem(cursor, comment);
  throw qverr::Exception(std::move(status));
}

[[noreturn]] void raiseErrno(const qverr::StatusLocation& where, const char* comment) {
  const int err = errno;
  raiseFileError(qverr::kEndOfData, where, comment, nullptr, &err);
}

void sleepBeforeRetry() {
  timespec wait{0, kOpenRetryNs};
  timespec left{};
  while (nanosleep(&wait, &left) != 0 && errno == EINTR) wait = left;
}

// 64-bit FNV-1a: enough to tell a whole journal from a cut one.
uint64_t hashBytes(const char* data, size_t size) {
  uint64_t hash = 0xcbf29ce484222325ull;
  for (size_t i = 0; i < size; ++i) {
    hash ^= static_cast<unsigned char>(data[i]);
    hash *= 0x100000001b3ull;
  }
  return hash;
}

bool writeFully(int fd, const char* data, size_t size) {
  while (size > 0) {
    const ssize_t n = ::write(fd, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

bool readFully(int fd, std::string& out) {
  char buffer[4096];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n == 0) return true;
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    out.append(buffer, static_cast<size_t>(n));
  }
}

// Makes a new directory entry durable; failures only weaken durability, so they are ignored.
void syncDirectoryOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  const std::string directory = slash == std::string::npos ? "." : path.substr(0, slash + 1);
  const int fd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  (void)::fsync(fd);
  ::close(fd);
}

}  // namespace

void LockableFile::discardJournal() {
  if (::unlink(journalPath_.c_str()) == 0 || errno == ENOENT) return;
  // Not ours to remove (another user's, in a sticky folder): empty it, which also retires it.
  const int fd = ::open(journalPath_.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
  if (fd >= 0) ::close(fd);
}

// The journal file: a 48-byte header, then the text being written.
//   0  "QVJRNL01"   8 target length   16 target hash   24 base length   32 base hash
//   40 hash of bytes 0..39
// The base is what the alias file held before the rewrite: a file still equal to it was
// never touched. All numbers little-endian.
struct LockableFile::Journal {
  static constexpr char kMagic[8] = {'Q', 'V', 'J', 'R', 'N', 'L', '0', '1'};
  static constexpr size_t kHeaderSize = 48;

  std::string target;
  uint64_t baseLength = 0;
  uint64_t baseHash = 0;

  static void putU64(std::string& out, size_t at, uint64_t value) {
    for (int i = 0; i < 8; ++i) out[at + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
  }
  static uint64_t getU64(const std::string& in, size_t at) {
    uint64_t value = 0;
    for (int i = 7; i >= 0; --i) value = (value << 8) | static_cast<unsigned char>(in[at + i]);
    return value;
  }

  static std::string encode(const std::string& target, const std::string& base) {
    std::string out(kHeaderSize, '\0');
    std::memcpy(out.data(), kMagic, sizeof kMagic);
    putU64(out, 8, target.size());
    putU64(out, 16, hashBytes(target.data(), target.size()));
    putU64(out, 24, base.size());
    putU64(out, 32, hashBytes(base.data(), base.size()));
    putU64(out, 40, hashBytes(out.data(), 40));
    out += target;
    return out;
  }

  // False for anything but a whole journal.
  bool decode(const std::string& in) {
    if (in.size() < kHeaderSize || std::memcmp(in.data(), kMagic, sizeof kMagic) != 0) {
      return false;
    }
    if (getU64(in, 40) != hashBytes(in.data(), 40)) return false;
    const uint64_t length = getU64(in, 8);
    if (length != in.size() - kHeaderSize) return false;
    target.assign(in, kHeaderSize, std::string::npos);
    if (hashBytes(target.data(), target.size()) != getU64(in, 16)) return false;
    baseLength = getU64(in, 24);
    baseHash = getU64(in, 32);
    return true;
  }

  bool isBase(const std::string& text) const {
    return text.size() == baseLength && hashBytes(text.data(), text.size()) == baseHash;
  }
};

LockableFile::LockableFile(const char* path, bool create)
    : path_(path), journalPath_(std::string(path) + ".journal") {
  stream_ = std::fopen(path, "r+be");
  if (stream_ == nullptr) {
    if (!create) {
      raiseFileError(qverr::kResourceNotFound, kOpenFailed, "Failed to open file", path, nullptr);
    }
    int err = 0;
    for (int attempt = 0; attempt < kOpenAttempts; ++attempt) {
      const int fd = ::open(path, O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, kSharedMode);
      if (fd >= 0) {
        // The mode again, so that the umask cannot keep other users' processes out.
        (void)::fchmod(fd, kSharedMode);
        (void)::fsync(fd);
        ::close(fd);
      }
      stream_ = std::fopen(path, "r+be");
      if (stream_ != nullptr) break;
      err = errno;
      sleepBeforeRetry();
    }
    if (stream_ == nullptr) {
      raiseFileError(qverr::kResourceNotFound, kOpenFailed, "Failed to open file", path, &err);
    }
  }

  nQVVUSKS100::tStatus record;
  mutex_.create(&record);
  if (record.isError()) {
    std::fclose(stream_);
    stream_ = nullptr;
    qverr::Status status;
    qverr::mergeRecordIntoStatus(record, status);
    throw qverr::Exception(std::move(status));
  }
  try {
    fileLock_ = std::make_unique<qvafa::FileLock>(stream_);
  } catch (...) {
    mutex_.destroy();
    std::fclose(stream_);
    stream_ = nullptr;
    throw;
  }
}

LockableFile::~LockableFile() {
  fileLock_.reset();
  mutex_.destroy();
  if (stream_ != nullptr) std::fclose(stream_);
}

void LockableFile::lock() {
  mutex_.lock();
  try {
    fileLock_->lock();
  } catch (...) {
    mutex_.unlock();
    throw;
  }
}

void LockableFile::unlock() {
  fileLock_->unlock();
  mutex_.unlock();
}

void LockableFile::readAll(std::string& text) {
  recoverInterruptedWrite();
  readRaw(text);
}

void LockableFile::readRaw(std::string& text) {
  std::rewind(stream_);
  text.clear();
  char chunk[kReadChunk];
  for (;;) {
    const size_t n = std::fread(chunk, 1, sizeof chunk, stream_);
    text.append(chunk, n);
    if (n < sizeof chunk) break;
  }
  if (std::ferror(stream_)) raiseErrno(kReadFailed, "Failed to read file");
}

void LockableFile::writeInPlace(const std::string& text) {
  std::rewind(stream_);
  for (char byte : text) {
    if (std::fwrite(&byte, 1, 1, stream_) == 0) raiseErrno(kWriteFailed, "Failed to write file");
  }
  std::fflush(stream_);
  if (::ftruncate(fileno(stream_), static_cast<off_t>(text.size())) != 0) {
    raiseErrno(kTruncateFailed, "Failed to truncate file");
  }
  if (::fsync(fileno(stream_)) != 0) raiseErrno(kFsyncFailed, "Failed to fsync file");
  if (std::ferror(stream_)) raiseErrno(kFlushFailed, "Failed to flush file");
}

void LockableFile::writeAll(const char* begin, const char* end) {
  recoverInterruptedWrite();
  std::string previous;
  readRaw(previous);
  bool touched = false;
  try {
    rewrite(std::string(begin, end), previous, &touched);
  } catch (...) {
    if (touched) {
      // Drop whatever a failed stream write left buffered, so it cannot land later.
      __fpurge(stream_);
      std::clearerr(stream_);
      try {
        writeInPlace(previous);
        discardJournal();
      } catch (...) {
        // The journal stays; the next reader completes the rewrite from it.
      }
    }
    throw;
  }
}

void LockableFile::rewrite(const std::string& text, const std::string& base, bool* touched) {
  const std::string journal = Journal::encode(text, base);
  const int fd =
      ::open(journalPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, kSharedMode);
  if (fd < 0) raiseErrno(kJournalFailed, "Failed to write file");
  (void)::fchmod(fd, kSharedMode);
  if (!writeFully(fd, journal.data(), journal.size()) || ::fsync(fd) != 0) {
    const int err = errno;
    ::close(fd);
    discardJournal();
    raiseFileError(qverr::kEndOfData, kJournalFailed, "Failed to write file", nullptr, &err);
  }
  ::close(fd);
  syncDirectoryOf(journalPath_);

  // Reserve the blocks first so the in-place write does not run out of space half-way.
  // Keeping the size leaves readers of the file unaware; file systems without reservation
  // go on without it.
  if (!text.empty() &&
      ::fallocate(fileno(stream_), FALLOC_FL_KEEP_SIZE, 0, static_cast<off_t>(text.size())) != 0 &&
      errno != EOPNOTSUPP && errno != ENOSYS) {
    const int err = errno;
    discardJournal();
    raiseFileError(qverr::kEndOfData, kReserveFailed, "Failed to write file", nullptr, &err);
  }

  *touched = true;
  writeInPlace(text);
  discardJournal();
}

void LockableFile::recoverInterruptedWrite() {
  const int fd = ::open(journalPath_.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return;
  std::string bytes;
  const bool read = readFully(fd, bytes);
  ::close(fd);
  if (!read) return;

  Journal journal;
  if (!journal.decode(bytes)) {
    // Cut short before it was durable: the alias file was not touched yet.
    discardJournal();
    return;
  }
  std::string current;
  readRaw(current);
  if (current != journal.target && !journal.isBase(current)) writeInPlace(journal.target);
  discardJournal();
}

}  // namespace qvjsonconfig
