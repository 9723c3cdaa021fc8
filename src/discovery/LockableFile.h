#pragma once
// The alias configuration file as one stream kept open for the plug-in's life, locked against
// the other threads of this process (a recursive mutex) and against other processes (flock on
// the file). All processes share the file's inode and lock it, so it is rewritten in place and
// never replaced.
//
// A rewrite is recoverable: the text being written goes first to a sibling journal file
// ("<path>.journal"), made durable before the alias file is touched, and space for it is
// reserved in the alias file. A rewrite that fails writes the previous text back; one that is
// cut short (the process killed) is completed from the journal by the next reader or writer,
// under the lock. Programs that only read the alias file see nothing but whole documents.

#include <cstdio>
#include <memory>
#include <string>

#include "foundation/platform/synchronization.h"
#include "foundation/system/FileLock.h"

namespace qvjsonconfig {

class LockableFile {
 public:
  // Opens the file for reading and writing; with `create` a missing file is made with mode
  // 0666 whatever the umask. -52006 when it cannot be opened, -52003 when the mutex cannot
  // be made.
  LockableFile(const char* path, bool create);
  ~LockableFile();
  LockableFile(const LockableFile&) = delete;
  LockableFile& operator=(const LockableFile&) = delete;

  // Process mutex, then flock; unlock in the reverse order. Never nested.
  void lock();
  void unlock();

  // Callers hold the lock around these. Both first complete a rewrite that was cut short.
  // The whole content; -52012 on a read failure.
  void readAll(std::string& text);
  // Replaces the whole content; -52012 on failure, with the previous content kept.
  void writeAll(const char* begin, const char* end);

  const std::string& path() const { return path_; }
  // The sibling file that holds a rewrite in progress.
  const std::string& journalPath() const { return journalPath_; }

 private:
  struct Journal;

  void readRaw(std::string& text);
  void rewrite(const std::string& text, const std::string& base, bool* touched);
  void writeInPlace(const std::string& text);
  void recoverInterruptedWrite();
  void discardJournal();

  FILE* stream_ = nullptr;
  // Recursive, with priority inheritance; it knows whether it was created.
  nQVVANDRELBRENMOORU_22_8::nQVVUSK000::tMutex mutex_;
  std::unique_ptr<qvafa::FileLock> fileLock_;
  std::string path_;
  std::string journalPath_;
};

}  // namespace qvjsonconfig
