#pragma once

// The one rule by which a list's path names an entry on Linux, as Windows
// would find it (docs/design.md):
//
// 1. Exact spelling first. Each name is looked up in its folder as spelled,
//    then without its trailing dots and spaces, then as the one entry that
//    matches it in any case, then that without trailing dots. Several in
//    another case and none exact: the rule does not guess.
// 2. A folder's names are read once and known while its watch vouches for
//    them (folders.h).
// 3. What the names lack is asked of the disk (a file system that ignores
//    case matches by its own rule), and the call proves the rest.

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "disk.h"
#include "error_condition.h"
#include "folders.h"
#include "list_path.h"

namespace tavrik {

using Folder = Folders::Folder;

/// How a name was found, when not as spelled.
inline constexpr unsigned kMatchedTrimmed = 1;    // without its trailing dots and spaces
inline constexpr unsigned kMatchedOtherCase = 2;  // in another case

class NameRule {
 public:
  NameRule(Folders& folders, Disk& disk) : folders_(folders), disk_(disk) {}
  /// A new walk: the working directory's path is asked again.
  void Reset() { here_asked_ = false; }

  /// An entry: its name ("" for none), and as its folder lists it ("" when
  /// the disk found it unlisted).
  struct Entry {
    std::string name, listed;
    Listed::Kind kind = Listed::Kind::kUnknown;
    unsigned matched = 0;
    const std::string& AsListed() const { return listed.empty() ? name : listed; }
  };
  /// The folder a path names its last name in (or, ending in a separator,
  /// the folder), or why there is none (ENOENT, ENOTDIR, ELOOP).
  struct Reached {
    Folder* folder = nullptr;
    int number = 0;
    unsigned matched = 0;
  };
  Reached FolderOf(const ListPath& path);
  /// The same for a list's path as text, found again only where the walk
  /// has not reached its folder text yet.
  Reached FolderOf(std::string_view text);
  /// Throws Error (the reason only) when ambiguous or unreadable. A folder
  /// `on_the_way` needs no look for names the walk made (it makes files).
  Entry Find(Folder& folder, std::string_view spelled, bool on_the_way = false);
  /// A regular file, or a link to one.
  bool IsFile(Folder& folder, const Entry& entry);
  /// Whether the file system finds `name` of `folder` also in another case;
  /// nothing when `name` has no case.
  std::optional<bool> IgnoresCase(Folder& folder, const std::string& name);

 private:
  /// From `start`, through `here` where the walk reaches it by another way.
  std::optional<Entry> Look(Folder& folder, std::string_view spelled, bool on_the_way);
  bool FindsUnlisted(Folder& folder, const std::string& unlisted, const std::string& listed,
                     bool& reread);
  Reached Walk(Folder& start, std::span<const std::string_view> names, Folder* here = nullptr);
  const std::vector<std::string>* HereNames();

  Folders& folders_;
  Disk& disk_;
  bool here_asked_ = false, here_known_ = false;
  std::vector<std::string> here_;  // the working directory's names from the root
};

/// A spelling of `name` in upper or lower case that `names` (when read)
/// does not list; nothing when `name` has no case.
std::optional<std::string> UnlistedSpelling(const std::string& name, const Listing* names);

/// Whether the file system finds `name`, which `folder` lists (`names`: its
/// listing, when read), also in another case: asked of it in upper or lower
/// case, whichever is not listed; nothing when `name` has no case. Throws
/// Error when the disk fails otherwise.
std::optional<bool> FindsInAnyCase(Disk& disk, FolderHandle folder, const std::string& name,
                                   const Listing* names);

/// Entries that differ only in case, where one is meant: the reason, and,
/// where the file system takes them for one name, what to do.
Error Ambiguous(const std::string& folder, std::string_view spelled,
                const Listing::Matches& matches, bool one_name_to_the_file_system);

}  // namespace tavrik
