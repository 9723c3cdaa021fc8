#pragma once
// Where aliases are kept, as the alias manager sees it: snapshots to read, and edit sessions
// that hold the shared file's lock from reading to committing.

#include <functional>
#include <memory>
#include <string>

#include "qvkel/IChangeNotificationHandler.h"

namespace qvkel {

// Aliases by persistent token. A snapshot handed out is never changed afterwards.
class IAliasStorageData {
 public:
  virtual ~IAliasStorageData() = default;
  // The stored alias; empty when the token has no entry or the entry no alias. -52004 when the
  // stored alias is not a text.
  virtual std::string getAlias(const std::string& token) const = 0;
  // Tokens for which `passOver` is true are not looked at.
  using TokenFilter = std::function<bool(const std::string& token)>;

  // The first token, in token order, whose stored alias equals `alias` without regard to ASCII
  // case and that `passOver` (when given) does not pass over; empty when none. -52004 when a
  // stored alias is not a text.
  virtual std::string findTokenByAlias(const std::string& alias,
                                       const TokenFilter& passOver = {}) const = 0;
  // Replaces the entry's alias: -1074097793 for a token without an entry, -52006 for an entry
  // that holds no alias.
  virtual void setAlias(const std::string& token, const std::string& alias) = 0;
  // An independent copy.
  virtual std::shared_ptr<IAliasStorageData> clone() const = 0;
};

// One edit session: the shared file stays locked until the committer is released, which does
// not commit. The data belongs to the session and is valid while it lives.
class IAutoLockingAliasStorageDataCommitter {
 public:
  virtual ~IAutoLockingAliasStorageDataCommitter() = default;
  virtual std::shared_ptr<IAliasStorageData> getData() = 0;
  // Writes the file when the data differs from what it holds.
  virtual void commit() = 0;
};

class IAliasStorage {
 public:
  virtual ~IAliasStorage() = default;
  // Listeners are told after the stored aliases changed, whoever changed them.
  virtual void addChangeListener(IChangeNotificationHandler* listener) = 0;
  virtual void removeChangeListener(IChangeNotificationHandler* listener) = 0;
  // The aliases as last read; reads no file.
  virtual std::shared_ptr<IAliasStorageData> getSnapshot() = 0;
  // Returns once this thread holds the file's lock and has read (and merged) the file.
  virtual std::shared_ptr<IAutoLockingAliasStorageDataCommitter> beginEdit() = 0;
};

}  // namespace qvkel
