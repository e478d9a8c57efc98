#pragma once

// The presence test and the rename of a walk on Linux, over a Disk: the
// checks of a list's path, the rule for names (name_rule.h), what a pair
// may do where case is ignored, and the errors as the report shows them.
// The real platform walks the system's disk with it, a dry run its own.

#include <cstddef>
#include <optional>
#include <string>
#include <utility>

#include "disk.h"
#include "folders.h"
#include "name_rule.h"

namespace tavrik {

class PathWalk {
 public:
  /// `bound`: folders held at most between pairs.
  explicit PathWalk(Disk& disk, std::size_t bound = kFoldersHeld)
      : disk_(disk), folders_(disk, bound), names_(folders_, disk) {}

  /// A new walk sees the disk afresh.
  void Forget();
  /// The pair whose presence test comes next: what changed on disk is taken
  /// in before it.
  void BeginPair(const std::string& source, const std::string& target);
  /// The name of the regular file the list's `path` names, or "". Throws
  /// Error when it cannot be looked for.
  std::string FindFile(const std::string& path);
  /// Never replaces a file. Throws Error naming both paths.
  void RenameFile(const std::string& source, const std::string& target);

  Folders& folders() { return folders_; }
  NameRule& names() { return names_; }

 private:
  struct Found {  // a regular file
    Folder* folder;
    std::string name, listed;
    const std::string& AsListed() const { return listed.empty() ? name : listed; }
  };
  std::optional<Found> Locate(std::string_view path);
  std::optional<Found> Parked(std::string_view path, std::string_view target);
  struct Changed {};  // another program changed what a pair learned
  static constexpr int kLooks = 3;
  void Move(const Found& from, const std::string& source, const std::string& target, bool recheck);
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
