#pragma once

// The presence test and the rename of a walk on Linux, over a Disk: the
// checks of a list's path, the rule for names (resolver.h) and the errors
// as the top-level report shows them. The real platform walks the system's
// disk with it, a dry run a disk with its renames on top.

#include <optional>
#include <string>

#include "disk.h"
#include "resolver.h"

namespace tavrik {

class PathWalk {
 public:
  explicit PathWalk(Disk& disk) : disk_(disk), names_(disk) {}

  /// Drops what the walk learnt.
  void Forget();

  /// The name of the regular file that the list's `path` names, or "".
  /// Throws Error when it cannot be looked for.
  std::string FindFile(const std::string& path);

  /// Moves `source` to `target`, never replacing a file. Throws Error,
  /// naming both paths, when that cannot be done.
  void RenameFile(const std::string& source, const std::string& target);

  Resolver& names() { return names_; }

 private:
  void Move(Located& from, const std::string& target);
  int MoveOnDisk(const Located& from, const Destination& to);

  Disk& disk_;
  Resolver names_;
  // The last presence test: the list's path and the file it found, which
  // the rename that follows moves.
  std::string tested_path_;
  std::optional<Located> tested_;
};

}  // namespace tavrik
