#pragma once

// What a walk knows of the folders it reached, and for how long. A folder
// is known by device and inode, its names are read once, and all of it
// stays true while the watches report no change but the walk's own. A name
// another program made or removed is taken into the folder's names as the
// watch tells it; a folder moved or removed is read and opened again; where
// the watches cannot say what changed (a folder that could not be watched,
// a queue that overflowed), or a link to a folder leads elsewhere now, the
// walk lets go of all before the next pair. Where no watch can be had, or
// the queue overflowed, a listing let go is kept as a hint: what it names
// is asked of the disk before it decides anything, so such a walk still
// costs a look-up by name a pair, not a listing.

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <list>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "disk.h"
#include "listing.h"

namespace tavrik {

/// Folders a walk knows and watches at most: lists go round thousands, and
/// a desktop gives a user tens of thousands of watches.
inline constexpr std::size_t kFoldersHeld = 4096;
/// Folders a walk holds open at most at any time, however deep its paths:
/// an eighth of the descriptors the process may have, 16 to 256. A folder
/// let go is opened again from the nearest one held, and known again only
/// by its device and inode.
std::size_t FoldersOpen();

class Folders {
 public:
  /// A folder the walk reached, by its name in its parent as listed there.
  struct Folder {
    Folder* parent = nullptr;
    std::string name;
    FolderHandle handle = -1;  // -1 while let go
    bool linked = false;       // reached through a link
    dev_t device = 0;          // what it is, wherever a link to it led
    ino_t inode = 0;
    int watch = -1;
    int pins = 0;                       // kept open while above 0
    std::list<Folder*>::iterator open;  // its place among those held open
    std::optional<Listing> names;       // read when first needed
    bool hinted = false;                // names from before a change: each hit is asked again
    bool unlistable = false;            // may be entered but not listed (mode 0300)
    std::optional<bool> ignores_case;   // its file system's, once a name told
    std::uint64_t read_at = 0;          // the walk's moves before its names were read
    std::map<std::string, std::unique_ptr<Folder>, std::less<>> children;
  };

  explicit Folders(Disk& disk, std::size_t bound = kFoldersHeld) : disk_(disk), bound_(bound) {}
  ~Folders() { Forget(); }
  Folders(const Folders&) = delete;
  Folders& operator=(const Folders&) = delete;

  /// The working directory, or the root. Throws Error when it cannot be opened.
  Folder& Here() { return Top(here_, "."); }
  Folder& Root() { return Top(root_, "/"); }

  /// Its descriptor, opened again where it was let go. Throws Error when
  /// it cannot be.
  FolderHandle Handle(Folder& folder);
  /// Holds a folder's descriptor open while it lives: a move's two.
  class Pin {
   public:
    Pin(Folders& folders, Folder& folder) : folder_(folder) {
      folders.Handle(folder);
      ++folder_.pins;
    }
    ~Pin() { --folder_.pins; }
    Pin(const Pin&) = delete;
    Pin& operator=(const Pin&) = delete;

   private:
    Folder& folder_;
  };

  /// Before a pair: what changed is read again; all is let go of where the
  /// disk cannot say what (hints are kept where no watch can be had).
  void Refresh();
  /// Within a pair: whether another program changed anything since the
  /// last look, which is then read again.
  bool Changed();
  /// A new walk: nothing is known.
  void Forget();
  /// A listing turned out wrong: let go of all before the next pair.
  void Distrust() { distrusted_ = true; }
  /// Its names read again at the next look.
  static void Reread(Folder& folder) {
    folder.names.reset();
    folder.hinted = false;
  }

  /// The folder `name` of `folder`: 0 or errno.
  int Child(Folder& folder, const std::string& name, Folder*& child);
  /// The names of `folder`; nullptr when it may not be listed. Throws Error
  /// when reading it fails otherwise. NamesFor reads them again first where
  /// the walk has since made or moved away a name of `name`'s key in another
  /// folder: one folder reached two ways (a FUSE view) hears nothing of that.
  const Listing* Names(Folder& folder);
  const Listing* NamesFor(Folder& folder, std::string_view name);
  /// From the root or the working directory ("" for it).
  std::string PathOf(const Folder& folder) const;

  /// The folder a list's folder text reached in this walk, and how (the
  /// name rule's kMatched...), or nullptr: known as long as the folders.
  struct Way {
    Folder* folder = nullptr;
    unsigned matched = 0;
  };
  Way WayOf(std::string_view text) const;
  void Remember(std::string_view text, Way way) { ways_.emplace(text, way); }

  /// After the walk moved `from_name` of `from` to `to_name` of `to`.
  void Moved(Folder& from, const std::string& from_name, Folder& to, const std::string& to_name);

 private:
  Folder& Top(std::unique_ptr<Folder>& top, const std::string& name);
  std::unique_ptr<Folder> Open(Folder* parent, const std::string& name, int& number);
  void Held(Folder& folder, FolderHandle handle);
  void Watch(Folder& folder, int watch);
  void Unwatch(Folder& folder);
  void Close(Folder& folder);
  void MakeRoom();
  void Unlearn(Folder& folder);
  bool Told(bool& all);
  void Take(Folder& folder, const NameChange& change);
  void LetGo(bool keep_hints);
  void Drop(std::unique_ptr<Folder>& folder, bool keep_hints);

  Disk& disk_;
  std::size_t bound_, held_ = 0, open_bound_ = FoldersOpen();
  bool distrusted_ = false, unwatched_ = false, watching_ = true;
  std::list<Folder*> open_;                         // least recently used first
  std::unordered_multimap<int, Folder*> watchers_;  // the folders known by each watch
  std::map<std::pair<dev_t, ino_t>, Listing> hints_;
  std::unique_ptr<Folder> here_, root_;
  std::vector<Folder*> linked_;  // reached through links: where they lead is asked
  struct Touched {               // a name the walk made or moved away: when, and where
    std::uint64_t at = 0;
    const Folder* folder = nullptr;
  };
  // By the hash of the name's key: two keys of one hash only have a listing
  // read again.
  std::unordered_map<std::size_t, Touched> touched_;
  std::uint64_t moves_ = 0;
  std::vector<NameChange> changed_;  // what the watches told at the last look, kept for its room
  struct TextHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view text) const {
      return std::hash<std::string_view>()(text);
    }
  };
  std::unordered_map<std::string, Way, TextHash, std::equal_to<>> ways_;
};

}  // namespace tavrik
