#pragma once

// The one rule by which a list's path names an entry on Linux, as Windows
// would find it (README, "Lists written on Windows"; docs/design.md):
//
// 1. Exact spelling first. Each name is looked up in its folder as spelled,
//    then without its trailing dots and spaces, then as the one entry that
//    matches it in any case, then that without trailing dots. Several
//    entries in another case and none exact: the rule does not guess.
// 2. A folder's names are known while the kernel vouches for them. They are
//    read once, after the folder's watch was set, and kept with the walk's
//    own moves; anything else that changes them has them read again before
//    the next pair (folders.h).
// 3. What the names lack is asked of the disk, and the call proves the
//    rest: a name not listed is looked up on disk as spelled (a file system
//    that ignores case matches by its own rule), a listed twin is looked up
//    before a rename is refused for it, and the rename itself never
//    replaces a file.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "disk.h"
#include "error_condition.h"
#include "folders.h"
#include "list_path.h"

namespace tavrik {

/// How a name was found, when not as spelled.
inline constexpr unsigned kMatchedTrimmed = 1;    // without its trailing dots and spaces
inline constexpr unsigned kMatchedOtherCase = 2;  // in another case

using Folder = Folders::Folder;

class NameRule {
 public:
  NameRule(Folders& folders, Disk& disk) : folders_(folders), disk_(disk) {}

  /// A new walk: the working directory's path is asked again.
  void Reset() { here_asked_ = false; }

  /// An entry of a folder, as found: its name there ("" for none), and as
  /// the folder lists it ("" when it does not: the disk found it).
  struct Entry {
    std::string name, listed;
    Listed::Kind kind = Listed::Kind::kUnknown;
    unsigned matched = 0;  // kMatched...
    const std::string& AsListedName() const { return listed.empty() ? name : listed; }
  };
  /// The folder that a list's path names its last name in (or, for a path
  /// that names a folder, that folder); or the errno that says why there is
  /// none (ENOENT, ENOTDIR: a file on the way, ELOOP).
  struct Reached {
    Folder* folder = nullptr;
    int number = 0;
    unsigned matched = 0;  // kMatched... of the names on the way
  };
  Reached FolderOf(const ListPath& path);

  /// The entry of `folder` that `spelled` means, by the rule. Throws Error
  /// (the reason only) when it is ambiguous or the folder cannot be read.
  Entry Find(Folder& folder, std::string_view spelled);
  /// True when `entry` is a regular file, or a link to one.
  bool IsFile(Folder& folder, const Entry& entry);
  /// Whether the file system of `folder` finds its entry `name` also in
  /// another case, which it does not list; nothing when `name` has no case.
  std::optional<bool> IgnoresCase(Folder& folder, const std::string& name);

 private:
  Reached Walk(Folder* folder, const std::vector<std::string_view>& names, std::size_t first,
               std::size_t end);
  const std::vector<std::string>* HereNames();

  Folders& folders_;
  Disk& disk_;
  bool here_asked_ = false, here_known_ = false;
  std::vector<std::string> here_;  // the working directory's names from the root
};

/// Two or more entries that `spelled` means in another case: the reason
/// it cannot be told which, and, on a file system that takes them for one
/// name, what to do.
Error Ambiguous(const std::string& folder, std::string_view spelled,
                const Listing::Matches& matches, bool one_name_to_the_file_system);

}  // namespace tavrik
