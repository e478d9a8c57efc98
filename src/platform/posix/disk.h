#pragma once

// What a walk asks of the disk. Folders are paths ("" is the working
// directory), resolved by the system at each call, as a plain rename
// resolves them: no folder is held open between calls, so a folder that
// another program swaps is seen at once. The real disk asks the system; a
// dry run puts its own renames on top of it.

#include <sys/stat.h>

#include <functional>
#include <string>
#include <string_view>

namespace tavrik {

/// `name` in the folder at `folder` ("" for the working directory).
std::string JoinPath(std::string_view folder, std::string_view name);

/// True when two statuses are one entry, as far as the system tells: FUSE
/// drivers that number inodes by name (exfat-fuse) give one file's two
/// spellings two numbers, and may keep a change time per spelling, so there
/// what the entry holds must agree.
bool SameEntry(const struct stat& a, const struct stat& b);

/// The name a respelling parks a file under in its folder, so that a walk
/// stopped in between (killed, say) still finds the file by either spelling:
/// see PathWalk::FindFile.
std::string RespellAside(std::string_view name);

class Disk {
 public:
  virtual ~Disk() = default;
  /// The status of `name` in `folder`, links followed or not: 0 or errno.
  virtual int Stat(const std::string& folder, const std::string& name, bool follow,
                   struct stat& status);
  /// Calls `add` with each name in `folder` but "." and "..": 0 or errno.
  virtual int ReadNames(const std::string& folder,
                        const std::function<void(std::string_view)>& add);
  /// Moves `from_name` of `from` to `to_name` in `to`, never replacing
  /// anything: 0 or errno (EEXIST whenever the file system finds an entry
  /// at `to_name`, by its own rules for case).
  virtual int Move(const std::string& from, const std::string& from_name, const std::string& to,
                   const std::string& to_name);
  /// Gives `name` in `folder` the spelling `respelled`, which the file
  /// system takes for the same entry (it ignores case). On a failure the
  /// file keeps a name a walk finds it by: 0 or errno.
  virtual int Respell(const std::string& folder, const std::string& name,
                      const std::string& respelled);
};

}  // namespace tavrik
