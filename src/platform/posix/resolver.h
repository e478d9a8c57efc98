#pragma once

// The one rule by which a list's path names its entry on Linux (README,
// "Lists written on Windows"), asked of the disk as it stands at each call.
// What a walk learns, the listings of folders it had to search, only
// chooses which names to try: the list's exact spelling is always asked of
// the disk first, every folder of a path is resolved by the system at the
// call, and a listing is read again where the disk lacks a name it lists
// or the walk itself made a name of that key through another path.

#include <sys/types.h>

#include <cerrno>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "disk.h"
#include "listing.h"

namespace tavrik {

/// Hashes std::string keys so that a string_view finds them without a copy.
struct TextHash {
  using is_transparent = void;
  std::size_t operator()(std::string_view text) const noexcept {
    return std::hash<std::string_view>()(text);
  }
};

/// How a name was found, when not as spelled.
inline constexpr unsigned kMatchedTrimmed = 1;    // without its trailing dots and spaces
inline constexpr unsigned kMatchedOtherCase = 2;  // in another case

/// An entry of a folder: its name as found and what it is, links followed.
struct Entry {
  std::string name;     // empty: none
  int number = ENOENT;  // 0: `mode` holds its type; ENOENT: a dangling link; ELOOP
  mode_t mode = 0;
  unsigned matched = 0;  // kMatched...
  bool assumed = false;  // a folder on the way, found in a listing and not asked for
};

/// What a list's spelling of a folder reaches: its path ("" for the working
/// directory, relative below it, else from the root), or the errno that
/// says why there is none (ENOENT, ENOTDIR: a file on the way, ELOOP).
struct Reached {
  std::string path;
  int number = 0;
  unsigned matched = 0;  // kMatched... of the names on the way
  bool assumed = false;  // not all asked for at this call: the call that uses it proves it
};

/// A regular file (or a link to one): its folder and its name there.
struct Located {
  std::string folder;
  std::string name;
};

/// Where a rename puts a file.
struct Destination {
  std::string folder;
  std::string name;
  bool same = false;     // the file is there already: nothing to do
  bool respell = false;  // the file itself in another case, where case is ignored
  bool assumed = false;  // see Reached
};

class Resolver {
 public:
  explicit Resolver(Disk& disk) : disk_(disk) {}

  /// Drops what was learnt: a new walk sees the disk afresh.
  void Forget();

  /// Makes the next call part of the last one: a pair's rename right after
  /// its presence test sees what that test saw, as its own few calls may.
  void Continue() { continuing_ = true; }

  /// The regular file (links followed) that the list's `path` names, or
  /// none. Throws Error (the reason only) when a folder cannot be looked at
  /// or a name is ambiguous.
  std::optional<Located> Locate(std::string_view path);

  /// What the list's `path` reaches now: its folder (or why there is none)
  /// and, in it, the entry its last name means.
  struct Trace {
    Reached folder;
    Entry entry;
  };
  Trace TraceOf(std::string_view path);

  /// kFirst; kAgain: the folder a first pass assumed was gone; kRefused:
  /// the disk refused the move with EEXIST.
  enum class Pass { kFirst, kAgain, kRefused };
  /// Where moving `from` to the list's `target` puts it. Throws Error (the
  /// reason only) when the target's folder is not there or its name is
  /// taken by another entry in any case.
  Destination DestinationOf(Located& from, std::string_view target, Pass pass = Pass::kFirst);

  /// Keeps what is known current after the walk moved `from` to `to`.
  void Moved(const Located& from, const Destination& to);

 private:
  struct Known {
    Listing listing;
    std::uint32_t folder = 0;   // FolderId
    std::uint64_t read_at = 0;  // clock_ when read
    bool unlistable = false;    // may be entered but not read (mode 0300)
    dev_t device = 0;           // the folder then, so that a swap is told
    ino_t inode = 0;
  };
  enum class Lookup { kFound, kNone, kStale };

  void Begin() {
    if (!std::exchange(continuing_, false)) call_start_ = ++clock_;
  }
  // The way a list's folder text was last found in another case: the
  // names it lacked as spelled, each in the folder it was looked for in.
  struct Route {
    struct Name {
      std::string folder, name;
    };
    std::vector<Name> lacking;
    std::string path;  // "": none
    unsigned matched = 0;
    std::uint64_t asked_at = 0;  // clock_ when its names were last asked for
  };
  struct Spelled {
    std::string exact;    // the folder as spelled, from where it starts
    bool bare = false;    // no name beyond where it starts
    bool lacked = false;  // the disk lacked it as spelled, earlier in this walk
    Route route;
  };
  Spelled& SpelledOf(std::string_view text);
  const std::string* AsSpelled(std::string_view text);
  Reached Reach(std::string_view text, bool target, bool verify);
  std::string Start(std::size_t ups, bool from_root);
  const std::string& Here();
  std::string Normal(std::string path);
  Entry Find(const std::string& folder, std::string_view name, bool on_the_way);
  Lookup InAnyCase(const std::string& folder, const Known& known, std::string_view spelling,
                   unsigned matched, bool unasked, Entry& entry);
  bool Probe(const std::string& folder, std::string_view name, unsigned matched, Entry& entry);
  Known* Listed(const std::string& folder, bool fresh);
  std::uint32_t FolderId(const std::string& folder);
  bool Stale(const Known& known, std::string_view name) const;
  bool Swapped(const std::string& folder, const Known& known);
  std::string Taken(const Located& from, bool same_folder, const std::string& folder,
                    std::string_view spelled, std::string_view name);
  bool SourceItself(const Located& from, const std::string& folder, const std::string& taken);
  [[noreturn]] void RefuseTaken(const Located& from, const std::string& folder,
                                std::string_view name, std::string_view spelled,
                                const std::string& taken);
  std::string Canonical(const std::string& path);

  Disk& disk_;
  std::uint64_t clock_ = 0;                       // counts calls and the walk's own renames
  std::uint64_t call_start_ = 0;                  // clock_ when this call began: what is fresh
  bool continuing_ = false;                       // the next call continues this one
  std::optional<std::string> here_;               // the working directory's path; "" when unknown
  std::unordered_map<std::string, Known> known_;  // by folder path
  struct Created {  // a name the walk made: when, and through which folder path
    std::uint64_t at = 0;
    std::uint32_t folder = 0;  // FolderId
  };
  std::unordered_map<std::string, Created, NameKeyHash, NameKeyEqual> created_;  // by key
  Created latest_, latest_other_;  // the last name made, and the last made elsewhere
  std::unordered_map<std::string, Spelled, TextHash, std::equal_to<>> spelled_;  // by list text
  std::unordered_set<std::string, NameKeyHash, NameKeyEqual> route_keys_;  // names routes lacked
  std::unordered_map<std::string, std::uint32_t> folder_ids_;
};

}  // namespace tavrik
