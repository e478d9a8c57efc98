#pragma once

// What a walk asks of a disk, one name in one folder at a time: the
// system's (system_disk.h), or a dry run's, which puts its renames on top
// of it. A disk that watches a folder reports every change to its names
// that the disk did not make itself.

#include <fcntl.h>
#include <sys/stat.h>

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "listing.h"

namespace tavrik {

/// A folder a disk opened; kWorkingDirectory is where the process is.
using FolderHandle = int;
inline constexpr FolderHandle kWorkingDirectory = AT_FDCWD;

/// `path` made the path of `name` in the folder at `path` ("" for the working directory).
inline std::string& AppendName(std::string& path, std::string_view name) {
  if (!path.empty() && path.back() != '/') path += '/';
  return path.append(name);
}
inline std::string JoinPath(std::string_view folder, std::string_view name) {
  std::string path;
  path.reserve(folder.size() + 1 + name.size());  // one allocation
  return AppendName(path.append(folder), name);
}

/// The name a respelling parks a file under, beside it.
inline std::string RespellAside(std::string_view name) {
  return std::string(".").append(name).append(".brennel-respell");
}

/// One inode on one device.
inline bool SameInode(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

/// One file under two names (a hard link, as a move by link and unlink
/// stopped half-way leaves): the inode says so only beside a second link,
/// since some file systems (exfat-fuse) number inodes by name.
inline bool OneFile(const struct stat& a, const struct stat& b) {
  return SameInode(a, b) && a.st_nlink >= 2;
}

/// What another program did to one name of a watched folder, or to the
/// folder itself (`name` empty: moved, removed, or no longer watched).
struct NameChange {
  int watch = -1;
  bool made = false;  // the name is there now, else gone
  bool folder = false;
  bool beside_own = false;  // told with this disk's own move there: in which order, unknown
  std::string name;
};

/// Every call returns 0 or an errno.
class Disk {
 public:
  virtual ~Disk() = default;
  /// The folder `path` of `folder` (names joined by '/'), links followed;
  /// `linked`: its last name is a link.
  virtual int Open(FolderHandle folder, const std::string& path, FolderHandle& opened,
                   bool& linked) = 0;
  /// The descriptor only: a watch outlives it.
  virtual void Close(FolderHandle folder) = 0;
  /// `name` "." is the folder itself.
  virtual int Stat(FolderHandle folder, const std::string& name, bool follow,
                   struct stat& status) = 0;
  /// Each name but "." and "..".
  virtual int ReadNames(FolderHandle folder,
                        const std::function<void(std::string_view, Listed)>& add) = 0;
  /// Never replaces anything: EEXIST whenever the file system finds an entry
  /// at `to_name` by its own rule for case.
  virtual int Move(FolderHandle from, const std::string& from_name, FolderHandle to,
                   const std::string& to_name) = 0;
  /// `respelled` differs from `name` only in case, and the folder lists no
  /// other entry of that name. On a failure the file keeps a name its pair
  /// finds it by.
  virtual int Respell(FolderHandle folder, const std::string& name,
                      const std::string& respelled) = 0;
  /// A watch number, the same for every handle of one folder; -1 for none.
  /// `known`: the folder's watch already, to be told by this handle too.
  virtual int Watch(FolderHandle folder, int known = -1) = 0;
  /// No more events of `watch` are told.
  virtual void Unwatch(int watch) = 0;
  /// Adds the changes the watches saw since the last call, other than by
  /// this disk's own moves; false when it cannot tell them all.
  virtual bool Changes(std::vector<NameChange>& changed) = 0;
};

/// The spelling of the one entry of `folder` that matches `name` in any
/// case; nothing where it lists none (`none` then), several, or cannot be
/// listed.
inline std::optional<std::string> OnlyListed(Disk& disk, FolderHandle folder,
                                             const std::string& name, bool* none = nullptr) {
  std::optional<std::string> only;
  std::size_t count = 0;
  const int number = disk.ReadNames(folder, [&](std::string_view entry, Listed) {
    if (NameKeyEqual()(entry, name) && ++count == 1) only.emplace(entry);
  });
  if (none != nullptr) *none = number == 0 && count == 0;
  return number == 0 && count == 1 ? only : std::nullopt;
}

}  // namespace tavrik
