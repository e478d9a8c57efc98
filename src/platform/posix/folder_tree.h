#pragma once

// The folders a walk's lists name and the one rule by which a list's name
// finds its entry on Linux (README, "Lists written on Windows"). Each folder
// is opened once and read at most once per walk; what a walk learns is kept
// current with its own renames and dropped when it ends.

#include <sys/stat.h>
#include <sys/types.h>

#include <cerrno>
#include <cstddef>
#include <functional>
#include <list>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include "listing.h"

namespace tavrik {

struct Folder;

/// Hashes std::string keys so that a string_view finds them without a copy.
struct TextHash {
  using is_transparent = void;
  std::size_t operator()(std::string_view text) const noexcept {
    return std::hash<std::string_view>()(text);
  }
};

/// What a list's spelling of a folder reached: the folder, or the errno that
/// says why there is none (ENOENT, ENOTDIR: a file on the way, ELOOP).
struct Reached {
  Folder* folder = nullptr;
  int number = 0;
  unsigned matched = 0;  // kMatched... of the names on the way
};

/// How a name was found, when not as spelled.
inline constexpr unsigned kMatchedTrimmed = 1;    // without its trailing dots and spaces
inline constexpr unsigned kMatchedOtherCase = 2;  // in another case

/// A folder reached by one path of names on disk. Two spellings of the list
/// that lead through the same names share it; two paths are two folders
/// even where a link or a bind mount makes them one place, so that every
/// call goes through the path, and the mount, that the list names.
struct Folder {
  Folder* parent = nullptr;        // nullptr: the root (or a working directory without a path)
  std::string name;                // in `parent` as on disk; "/" for the root
  std::string path;                // for messages: from the working directory, else from the root
  bool working_directory = false;  // opened as "." rather than from its parent
  // Only a hint that two folders may be one place, whose listings must then
  // not outlive a rename in the other: FUSE file systems repeat inode numbers.
  dev_t device = 0;
  ino_t inode = 0;
  bool shared = false;  // another folder has the same device and inode
  int fd = -1;          // O_PATH, or -1 while closed
  int pins = 0;         // users that need `fd` open
  std::list<Folder*>::iterator open_at;
  std::optional<Listing> listing;
  bool unlistable = false;  // may be entered but not read (mode 0300)
  std::map<std::string, std::unique_ptr<Folder>, std::less<>> children;  // by name on disk
  // The list's spellings of subfolders met here, and what they reached.
  std::unordered_map<std::string, Reached, TextHash, std::equal_to<>> spelled;
  std::unordered_set<std::string> spelled_keys;  // their keys, trimmed too
};

/// `name` in the folder at `folder` (a Folder's path: "" for the working
/// directory), for messages.
std::string JoinPath(const std::string& folder, std::string_view name);

/// An entry of a folder: its name on disk and what it is, links followed.
struct Entry {
  std::string name;
  int number = ENOENT;  // 0: `mode` holds its type; ENOENT: a dangling link; ELOOP
  mode_t mode = 0;
  unsigned matched = 0;  // kMatched...
};

/// What a walk asks of the disk (disk.cpp). The real one asks the system; a
/// dry run puts its own renames on top of it.
class Disk {
 public:
  virtual ~Disk() = default;
  /// The status of `name` in `folder` (open), links followed or not: 0 or errno.
  virtual int Stat(const Folder& folder, const std::string& name, bool follow, struct stat& status);
  /// Calls `add` with each name of `folder` (open) but "." and "..": 0 or errno.
  virtual int ReadNames(const Folder& folder, const std::function<void(std::string_view)>& add);
  /// Moves `from_name` of `from` to `to_name` in `to` (both open), never
  /// replacing a file: 0 or errno.
  virtual int Move(const Folder& from, const std::string& from_name, const Folder& to,
                   const std::string& to_name);
};

class FolderTree {
 public:
  /// Folders kept open between operations; past it the one used longest ago
  /// is closed, and opened again from its parent when it is needed again.
  static constexpr std::size_t kMaxOpenFolders = 64;

  /// The bound of the trees made from now on. Tests lower it, so that
  /// folders are closed and opened again on nearly every call.
  static inline std::size_t open_limit = kMaxOpenFolders;

  explicit FolderTree(Disk& disk) : disk_(disk), open_limit_(open_limit < 1 ? 1 : open_limit) {}
  ~FolderTree() { Forget(); }
  FolderTree(const FolderTree&) = delete;
  FolderTree& operator=(const FolderTree&) = delete;

  /// Keeps a folder open while it lives: no other folder's opening can close
  /// its descriptor, so a number in use can never come to name another
  /// folder. A folder that is not pinned may be closed at any other call.
  class Pin {
   public:
    Pin(FolderTree& tree, Folder& folder);
    Pin(Pin&& other) noexcept : folder_(std::exchange(other.folder_, nullptr)) {}
    Pin& operator=(Pin&& other) noexcept;
    ~Pin() { Release(); }
    Folder& folder() const { return *folder_; }
    int fd() const { return folder_->fd; }

   private:
    void Release() noexcept;
    Folder* folder_;
  };

  /// A regular file that a list's path names, its folder held open.
  struct Located {
    Pin folder;
    std::string name;
  };

  /// Where a rename puts a file: the folder, held open, and the new name.
  struct Destination {
    Pin folder;
    std::string name;
    bool same = false;  // the file is there already: nothing to do
  };

  /// Closes every folder and drops what was learnt: afterwards the disk is
  /// seen afresh, with what other programs changed.
  void Forget();

  /// The regular file (links followed) that the list's `path` names, or
  /// none. Throws Error (the reason only) when a folder cannot be looked at
  /// or a name is ambiguous.
  std::optional<Located> Locate(std::string_view path);

  /// What the list's `path` reaches now: its folder (or why there is
  /// none) and, in it, the entry its last name means (none: an empty name).
  struct Trace {
    Reached folder;
    Entry entry;
  };
  Trace TraceOf(std::string_view path);

  /// Where moving `from` to the list's `target` puts it. Throws Error (the
  /// reason only) when the target's folder is not there or its name is
  /// taken by another entry in any case.
  Destination DestinationOf(Located& from, std::string_view target);

  /// Keeps what is known current after `from_name` in `from` became
  /// `to_name` in `to`.
  void Moved(Folder& from, std::string_view from_name, Folder& to, std::string_view to_name);

  /// The folder's listing, read on first use; nullptr when it may not be
  /// read. Throws Error when reading fails otherwise.
  const Listing* ListingOf(Folder& folder);

 private:
  Reached Reach(std::string_view text);
  Reached Subfolder(Folder& folder, std::string_view spelling);
  Entry Find(Folder& folder, std::string_view name);
  bool Probe(const Folder& folder, std::string_view name, Entry& entry);
  bool SameFile(const Folder& folder, std::string_view a, std::string_view b);
  Folder& Root();
  Folder& Here();
  Folder& Child(Folder& parent, std::string_view name);
  void Open(Folder& folder);
  void CloseBeyondLimit();
  void ForgetSpellings(Folder& folder, std::string_view from_name, std::string_view to_name);

  Disk& disk_;
  std::size_t open_limit_;
  std::unique_ptr<Folder> root_, lost_;  // lost_: a working directory without a path
  Folder* here_ = nullptr;
  std::list<Folder*> open_;  // used longest ago first
  std::unordered_map<std::string, Reached, TextHash, std::equal_to<>> reached_;  // by list text
  std::multimap<std::pair<dev_t, ino_t>, Folder*> by_identity_;
};

}  // namespace tavrik
