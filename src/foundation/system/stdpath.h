#pragma once
// Where things live on the machine, directory creation and whole-file reading.

#include <string>
#include <vector>

#include "foundation/errors/Status.h"

namespace qvsysq {

// Removes trailing white space, '/' and NUL characters, then leading white space.
std::string trimPath(const std::string& text);

// The trimmed content of "/etc/telmora/share/share.dir", or "/usr/local/telmora/share" when
// that file cannot be read.
void getShareDirectory(std::string& out, qverr::Status& status);

// XDG_CONFIG_HOME, else HOME (or the password database's home) + "/.config"; created when
// `create` is set.
void getConfigDirectory(std::string& out, bool create, qverr::Status& status);

// Creates one directory with mode 0700; an existing directory is success with *existed true.
void makeDirectory(const char* path, qverr::Status& status, bool* existed = nullptr);

using DirectoryCreator = void (*)(const char* path, qverr::Status& status, bool* existed);

// Creates `path` and every missing parent, one `creator` call per level.
void createDirectoryTree(const char* path, DirectoryCreator creator, qverr::Status& status);

// Reads the whole file; the output is its n bytes followed by one 0 byte.
void readWholeFile(const char* path, std::vector<char>& out, qverr::Status& status);

// The system queries as replaceable virtual operations that throw qverr::Exception.
class SysqWrapper {
 public:
  virtual ~SysqWrapper();
  virtual std::string getRunStateDirectory();
  virtual std::string getLocalStateDirectory();
  virtual std::string getShareDirectory();
  virtual std::string getShareDirectoryB();
  virtual std::string getTempDirectory();
  virtual std::string getConfigDirectory(bool create);
  // A fresh temporary name from tmpnam; empty when the system cannot make one. The name is
  // predictable: create the file exclusively.
  virtual std::string getTempFileName();
};

}  // namespace qvsysq
