#pragma once
// Shared pieces of the configuration-store tests: caught errors, a device walk given as a list
// of tokens, and an alias file in a fresh folder with the plug-in's provider and factory.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "discovery/AliasAttributeProvider.h"
#include "discovery/Configuration.h"
#include "discovery/DeviceIterator.h"
#include "discovery/LockableFile.h"
#include "foundation/errors/ErrorCodes.h"
#include "foundation/errors/Exception.h"
#include "tests/unit/foundation/system/TempDir.h"

namespace disctest {

struct Thrown {
  bool thrown = false;
  int code = 0;
  std::string detail;
};

// Runs `body`, which should throw qverr::Exception.
inline Thrown catchError(const std::function<void()>& body) {
  Thrown result;
  try {
    body();
  } catch (const qverr::Exception& error) {
    result.thrown = true;
    result.code = error.code();
    result.detail = error.status().detailText();
  }
  return result;
}

// Present modules by token; an empty token stands for a module whose token cannot be built.
class FakeDevices : public qvjsonconfig::DeviceIteratorInterface {
 public:
  explicit FakeDevices(std::vector<std::string> tokens = {}) : tokens_(std::move(tokens)) {}

  void getBusPropertyString(const char*, std::string&) override { fail(); }
  void getBusPropertyU32(const char*, std::uint32_t&) override { fail(); }
  void getDevicePropertyString(const char*, std::string&) override { fail(); }
  void getDevicePropertyU32(const char*, std::uint32_t&) override { fail(); }
  std::string getInterfacePath() override { return "/dev/qv/fake" + std::to_string(at_); }
  std::string getDriverName() override { return "fake"; }
  std::string getKey() override {
    if (tokens_[at_].empty()) fail();
    return tokens_[at_];
  }
  void next() override { ++at_; }
  bool isEnd() override { return at_ >= tokens_.size(); }

 private:
  [[noreturn]] static void fail() { qverr::throwError(qverr::kResourceNotFound); }

  std::vector<std::string> tokens_;
  size_t at_ = 0;
};

inline std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void writeFile(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

// Whether another holder has the file's flock: asked through a descriptor of its own, which
// conflicts with every other one, also within this process.
inline bool lockedElsewhere(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool locked = ::flock(fd, LOCK_EX | LOCK_NB) != 0;
  ::close(fd);
  return locked;
}

inline bool exists(const std::string& path) {
  struct stat info;
  return ::stat(path.c_str(), &info) == 0;
}

// An alias file in a fresh folder, with the plug-in's default-alias provider.
class AliasFile {
 public:
  AliasFile() : path_(dir_.path() + "/qvvandrelbrenmoor.config") {}

  const std::string& path() const { return path_; }
  std::string text() const { return readFile(path_); }
  // Once the file object exists, under its lock, as every writer of the file does: a session
  // on another thread then never reads a text half written.
  void write(const std::string& text) {
    if (file_ != nullptr) file_->lock();
    writeFile(path_, text);
    if (file_ != nullptr) file_->unlock();
  }

  qvjsonconfig::LockableFile& file() {
    if (file_ == nullptr) file_ = std::make_unique<qvjsonconfig::LockableFile>(path_.c_str(), true);
    return *file_;
  }
  // A configuration session over the given present modules.
  std::unique_ptr<qvjsonconfig::Configuration> open(
      std::vector<std::string> tokens = {}, qvjsonconfig::UpdateableInterface* target = nullptr) {
    FakeDevices devices(std::move(tokens));
    return std::make_unique<qvjsonconfig::Configuration>(file(), devices, provider_, target);
  }
  // Opens and closes one session.
  void load(std::vector<std::string> tokens = {}) { open(std::move(tokens)); }

  qvjsonconfig::SimpleAliasFactory& factory() { return factory_; }
  qvjsonconfig::AliasAttributeProvider& provider() { return provider_; }

 private:
  qvtest::TempDir dir_;
  std::string path_;
  std::unique_ptr<qvjsonconfig::LockableFile> file_;
  qvjsonconfig::SimpleAliasFactory factory_{"Vandrel"};
  qvjsonconfig::AliasAttributeProvider provider_{factory_};
};

// The persisted "alias" of an entry, or nothing.
inline std::optional<std::string> aliasOf(const qvjsonconfig::ConfigurationData& data,
                                          const std::string& token) {
  auto entry = data.findEntry(token);
  if (entry == nullptr) return std::nullopt;
  const cJSON* alias =
      cJSON_GetObjectItem(entry->getAttributes(qvjsonconfig::kPersistedAttributes), "alias");
  if (alias == nullptr || !cJSON_IsString(alias)) return std::nullopt;
  return std::string(alias->valuestring);
}

// Replaces the persisted "alias" of an entry.
inline void setAlias(qvjsonconfig::ConfigurationData& data, const std::string& token,
                     const std::string& alias) {
  cJSON* persisted = data.getEntry(token)->getAttributes(qvjsonconfig::kPersistedAttributes);
  cJSON_DeleteItemFromObject(persisted, "alias");
  cJSON_AddItemToObject(persisted, "alias", cJSON_CreateString(alias.c_str()));
}

}  // namespace disctest
