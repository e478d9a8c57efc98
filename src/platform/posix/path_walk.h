#pragma once

// The presence test and the rename of a walk on Linux, over a Disk: the
// checks of a list's path, the rule for names (folder_tree.h) and the
// errors as the top-level report shows them. The real platform walks the
// system's disk with it, a dry run a disk with its renames on top.

#include <optional>
#include <string>

#include "folder_tree.h"

namespace tavrik {

class PathWalk {
 public:
  explicit PathWalk(Disk& disk) : disk_(disk), folders_(disk) {}

  /// Drops what the walk learnt and closes every folder.
  void Forget();

  /// The name of the regular file that the list's `path` names, or "".
  /// Throws Error when it cannot be looked for.
  std::string FindFile(const std::string& path);

  /// Moves `source` to `target`, never replacing a file. Throws Error,
  /// naming both paths, when that cannot be done.
  void RenameFile(const std::string& source, const std::string& target);

  FolderTree& folders() { return folders_; }

 private:
  void Move(FolderTree::Located& from, const std::string& target);

  Disk& disk_;
  FolderTree folders_;
  // The last presence test: the list's path and the file it found, whose
  // folder stays open for the rename that follows.
  std::string tested_path_;
  std::optional<FolderTree::Located> tested_;
};

}  // namespace tavrik
