#pragma once

// What a walk asks of a disk, one name in one folder at a time: the
// system's (system_disk.h), or a dry run's, which puts its own renames on
// top of it. Folders are handles the disk gives out; a disk that can also
// watch a folder reports every change to its names that it did not make
// itself, so that what a walk read there stays true until it hears otherwise.

#include <fcntl.h>
#include <sys/stat.h>

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "listing.h"

namespace tavrik {

/// A folder a disk has opened; kWorkingDirectory is where the process is.
using FolderHandle = int;
inline constexpr FolderHandle kWorkingDirectory = AT_FDCWD;

/// `name` in the folder at `folder` ("" for the working directory).
std::string JoinPath(std::string_view folder, std::string_view name);

/// The name a respelling parks a file under in its folder, so that a walk
/// stopped in between still finds the file by either spelling of its pair.
std::string RespellAside(std::string_view name);

/// True when two statuses are one file under two names: a hard link, as a
/// move by link and unlink that was stopped leaves. Only the inode number
/// says so, and only with a second link to it: file systems that number
/// inodes by name (exfat-fuse) have no hard links.
inline bool OneFile(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_nlink >= 2;
}

class Disk {
 public:
  virtual ~Disk() = default;

  /// Opens the folder `name` of `folder`, links followed; `linked` tells
  /// whether `name` itself is a link: 0 or errno.
  virtual int Open(FolderHandle folder, const std::string& name, FolderHandle& opened,
                   bool& linked) = 0;
  virtual void Close(FolderHandle folder) = 0;

  /// The status of `name` in `folder` ("." for the folder itself): 0 or errno.
  virtual int Stat(FolderHandle folder, const std::string& name, bool follow,
                   struct stat& status) = 0;
  /// Calls `add` with each name in `folder` but "." and "..": 0 or errno.
  virtual int ReadNames(FolderHandle folder,
                        const std::function<void(std::string_view, Listed)>& add) = 0;

  /// Moves `from_name` of `from` to `to_name` in `to`, never replacing
  /// anything: 0 or errno (EEXIST whenever the file system finds an entry
  /// at `to_name`, by its own rules for case).
  virtual int Move(FolderHandle from, const std::string& from_name, FolderHandle to,
                   const std::string& to_name) = 0;
  /// Gives `name` the spelling `respelled`, which differs only in case, in
  /// a folder that lists no other entry of that name in any case. On a
  /// failure the file keeps a name its pair finds it by: 0 or errno.
  virtual int Respell(FolderHandle folder, const std::string& name,
                      const std::string& respelled) = 0;

  /// Starts reporting changes to the names of `folder`: a watch number that
  /// is the same for every handle of one folder, or -1 when it cannot.
  virtual int Watch(FolderHandle folder) = 0;
  virtual void Unwatch(int watch) = 0;
  /// Adds the watches that saw a change since the last call, other than by
  /// this disk's own moves, to `changed`; false when it cannot tell which.
  virtual bool Changes(std::vector<int>& changed) = 0;
};

}  // namespace tavrik
