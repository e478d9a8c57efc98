#pragma once

// What Linux refuses beyond names and permission bits, told before a rename:
// the dry run asks here (dry_run_posix.cpp), so that a check does not
// promise a walk that the system will stop.

#include <sys/stat.h>
#include <sys/types.h>

#include <map>
#include <string>
#include <tuple>
#include <utility>

namespace tavrik {

/// Refusals of a rename that the system decides by an entry's flags, its
/// folder's flags or its folder's sticky bit.
class RefusalForesight {
 public:
  using Identity = std::pair<dev_t, ino_t>;

  /// 0, or the errno (EPERM) with which the system will refuse to move
  /// `name` out of the folder held by `handle` (whose device and inode
  /// are `folder`); `status` is the entry's own, links not followed. The
  /// entry is immutable or append-only (chattr +i, +a); its folder is
  /// append-only (names may be added, none taken away); or its folder is
  /// sticky and neither the entry nor the folder belongs to the user running
  /// the check, who lacks CAP_FOWNER.
  /// An entry is asked about at its place on disk the first time, then known
  /// by its device, inode and change time (which chattr sets), so that a dry
  /// run may move it on top of the disk and ask again; a folder is asked
  /// about once, as the dry run asks once whether it may be written.
  int Refusal(int handle, Identity folder, const std::string& name, const struct stat& status);

 private:
  struct Known {
    unsigned long long attributes = 0;  // STATX_ATTR_IMMUTABLE, STATX_ATTR_APPEND
    mode_t mode = 0;
    uid_t owner = 0;
  };
  using Version = std::tuple<dev_t, ino_t, time_t, long>;  // with the change time

  const Known* Entry(int handle, const std::string& name, const struct stat& status);
  const Known& Folder(int handle, Identity folder);

  std::map<Version, Known> entries_;
  std::map<Identity, Known> folders_;
  int fowner_ = -1;  // whether the user has CAP_FOWNER, once asked
};

}  // namespace tavrik
