#pragma once

// What a walk knows of the folders it reached, and for how long: a folder
// is held by handle and its names are read once, and both stay true while
// the disk's watches report no change that the walk did not make itself.
// A folder that cannot be watched is asked again at each pair, and so is
// the target of a link to a folder, which no watch follows.

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "disk.h"
#include "listing.h"

namespace tavrik {

/// How many folders a walk holds at most between two pairs: few enough to
/// leave the process descriptors to spare.
inline constexpr std::size_t kFoldersHeld = 256;

class Folders {
 public:
  /// A folder the walk reached: by its name in its parent, as listed there.
  struct Folder {
    Folder* parent = nullptr;
    std::string name;
    FolderHandle handle = -1;
    int watch = -1;       // -1: not watched
    bool linked = false;  // reached through a link
    dev_t device = 0;
    ino_t inode = 0;
    std::optional<Listing> names;      // read when first needed
    bool unlistable = false;           // may be entered but not listed (mode 0300)
    bool stale = false;                // its watch saw a change: read again
    std::optional<bool> ignores_case;  // its file system's, once a name told
    std::uint64_t read_at = 0;         // the walk's moves when its names were read
    std::map<std::string, std::unique_ptr<Folder>, std::less<>> children;
  };

  /// `bound`: how many folders are held at most between two pairs.
  explicit Folders(Disk& disk, std::size_t bound = kFoldersHeld) : disk_(disk), bound_(bound) {}
  ~Folders() { Forget(); }
  Folders(const Folders&) = delete;
  Folders& operator=(const Folders&) = delete;

  /// The working directory, or the root. Throws Error when it cannot be opened.
  Folder& Here() { return Top(here_, "."); }
  Folder& Root() { return Top(root_, "/"); }

  /// Before a pair: drops what the disk no longer vouches for, and all of
  /// it when more than the bound is held or the disk lost count.
  void Refresh();
  /// Drops everything: the next pair sees the disk afresh.
  void Forget();
  /// Drops everything at the next Refresh: a listing turned out wrong.
  void Distrust() { distrusted_ = true; }

  /// The folder `name` of `folder`: 0, or errno (ENOENT, ENOTDIR, ELOOP...).
  int Child(Folder& folder, const std::string& name, Folder*& child);
  /// The names of `folder`, read when not known; nullptr when it may not be
  /// listed. Throws Error when reading it fails otherwise.
  const Listing* Names(Folder& folder);
  /// The same, read again first where the walk has since made a name of
  /// `name`'s key in another folder: one folder reached two ways (a FUSE view
  /// of it) hears nothing of what is made through the other.
  const Listing* NamesFor(Folder& folder, std::string_view name);
  /// The folder's path as the walk reached it, from the root or the working
  /// directory ("" for the working directory itself).
  std::string PathOf(const Folder& folder) const;

  /// After the walk itself moved `from_name` of `from` to `to_name` of `to`.
  void Moved(Folder& from, const std::string& from_name, Folder& to, const std::string& to_name);
  /// After a respelling in `folder`: its names are read again when needed.
  void Respelled(Folder& folder);

 private:
  Folder& Top(std::unique_ptr<Folder>& top, const std::string& name);
  std::unique_ptr<Folder> Open(Folder* parent, const std::string& name, int& number);
  void Sweep(std::unique_ptr<Folder>& folder);
  void Drop(std::unique_ptr<Folder>& folder);
  void DropBelow(Folder& folder);
  // Each held folder that is `folder` on disk, or that `watch` watches.
  void ForEachOf(Folder& folder, const std::function<void(Folder&)>& act);
  void ForEachOf(int watch, const std::function<void(Folder&)>& act);
  bool StillThere(const Folder& folder);

  Disk& disk_;
  std::size_t bound_;
  std::size_t held_ = 0;
  bool distrusted_ = false;
  std::unique_ptr<Folder> here_, root_;
  struct Made {  // a name the walk made: at which of its moves, in which folder
    std::uint64_t at = 0;
    int watch = -1;
  };
  std::unordered_map<std::string, Made, NameKeyHash, NameKeyEqual> made_;  // by key
  std::uint64_t moves_ = 0;
  std::multimap<int, Folder*> watched_;  // by watch: one watch, one folder on disk
  std::size_t unvouched_ = 0;            // held folders asked again at each pair
};

}  // namespace tavrik
