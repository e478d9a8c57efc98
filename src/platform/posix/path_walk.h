#pragma once

// The presence test and the rename of a walk on Linux, over a Disk: the
// checks of a list's path, the rule for names (name_rule.h), what a pair
// may do where case is ignored, and the errors as the top-level report
// shows them. The real platform walks the system's disk with it, a dry
// run a disk with its renames on top.

#include <cstddef>
#include <optional>
#include <string>

#include "disk.h"
#include "folders.h"
#include "name_rule.h"

namespace tavrik {

class PathWalk {
 public:
  /// `bound`: folders held at most between pairs (folders.h).
  explicit PathWalk(Disk& disk, std::size_t bound = kFoldersHeld)
      : disk_(disk), folders_(disk, bound), names_(folders_, disk) {}

  /// Drops what the walk learnt: a new walk sees the disk afresh.
  void Forget();

  /// The pair whose presence test comes next; before it, what changed on
  /// disk since the last pair is taken in.
  void BeginPair(const std::string& source, const std::string& target);

  /// The name of the regular file that the list's `path` names, or "".
  /// Throws Error when it cannot be looked for.
  std::string FindFile(const std::string& path);

  /// Moves `source` to `target`, never replacing a file. Throws Error,
  /// naming both paths, when that cannot be done.
  void RenameFile(const std::string& source, const std::string& target);

  /// What the list's `path` reaches now: its folder (or why there is none)
  /// and, in it, the entry its last name means. Throws Error.
  struct Trace {
    NameRule::Reached folder;
    NameRule::Entry entry;
  };
  Trace TraceOf(const std::string& path);
  Folders& folders() { return folders_; }

 private:
  // A regular file: its folder, its name there and the folder's listing of it.
  struct Found {
    Folder* folder;
    std::string name, listed;
    const std::string& AsListed() const { return listed.empty() ? name : listed; }
  };
  std::optional<Found> Locate(const ListPath& path);
  std::optional<Found> Parked(const ListPath& path, const std::string& target);
  void Move(const Found& from, const std::string& target);
  void RefuseTwins(const Found& from);
  std::string Taken(Folder& folder, std::string_view spelled, std::string_view name,
                    const std::string* self);
  [[noreturn]] void RefuseTaken(const Found& from, Folder& folder, std::string_view name,
                                std::string_view spelled, const std::string& taken);

  Disk& disk_;
  Folders folders_;
  NameRule names_;
  std::optional<std::pair<std::string, std::string>> pair_;  // announced, not yet tested
  std::string tested_path_;                                  // the last presence test
  std::optional<Found> tested_;                              // and the file it found
};

}  // namespace tavrik
