#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <ctime>
#include <map>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

namespace tavrik {

/// What this process knows of one directory's entries.
struct Listing {
  dev_t device = 0;
  ino_t inode = 0;

  /// The names of the entries that match `name` without regard to case,
  /// an exact match among them.
  const std::vector<std::string>& Matching(const std::string& name) const;
  void Add(const std::string& name);
  void Remove(const std::string& name);

 private:
  friend class DirectoryCache;
  bool StillCurrent(const struct stat& st) const;
  std::unordered_map<std::string, std::vector<std::string>> by_folded_name_;
  timespec modified_{};
  timespec changed_{};
  bool settled_ = false;  // false: read too soon after a change to trust its times
};

/// Listings of the directories that names were looked up in, so that a walk
/// reads each directory once rather than once per entry. A listing is read
/// again when the directory's modification or change time has moved since.
/// Changes made by another program in the same clock tick as a rename of
/// ours can go unseen until the directory changes again.
class DirectoryCache {
 public:
  /// The listing of the directory at `path`, read from disk unless the kept
  /// one is still current. nullptr when `path` is not a directory. Throws
  /// Error when the directory cannot be read.
  const Listing* Current(const std::string& path);

  /// Forgets the listing of `path` if the directory changed since it was
  /// kept. Reads nothing. Call it before a rename of ours, so that Moved only
  /// updates listings that were current.
  void DropStale(const std::string& path);

  /// Brings the kept listings up to date after this process moved the entry
  /// `from_name` of directory `from` to `to_name` in directory `to`.
  void Moved(const std::string& from, const std::string& from_name, const std::string& to,
             const std::string& to_name);

 private:
  using Key = std::pair<dev_t, ino_t>;
  /// Reads the directory at `path`. Throws Error when it cannot.
  static Listing Read(const std::string& path);

  std::map<Key, Listing> listings_;
};

}  // namespace tavrik
