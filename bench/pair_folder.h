#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace bench {

/// One pair of a list: where a file lies before activation, and after.
struct Pair {
  std::string source;
  std::string target;
};

/// How a list spells its paths: as on disk, or with every name that exists on
/// disk in other case (all of a source, a target's folders).
enum class Spelling { kExact, kOtherCase };

/// Where the files lie: the way a texture pack ships, mod/data/textures/
/// f00000.dds moving to game/data/textures/g00000.dds; or flat in the
/// working directory, f00000.dds moving to g00000.dds.
enum class Layout { kNested, kFlat };

/// The first `count` pairs of `layout`, in Linux syntax.
std::vector<Pair> PairsOf(std::size_t count, Layout layout = Layout::kNested);

/// True when the pair's file is at its target and not at its source.
bool IsMoved(const Pair& pair);

/// Puts every file found at a pair's target back at its source. Returns how
/// many were moved; throws std::runtime_error.
std::size_t RestorePairs(const std::vector<Pair>& pairs);

/// `count` empty files in the working directory, each the source of one
/// pair of `layout`. The pairs' paths are relative, as in a list; the files
/// and folders are removed from where they were made when the object goes.
class PairFolder {
 public:
  explicit PairFolder(std::size_t count, Layout layout = Layout::kNested);
  ~PairFolder();
  PairFolder(const PairFolder&) = delete;
  PairFolder& operator=(const PairFolder&) = delete;

  /// The pairs as the disk spells them.
  const std::vector<Pair>& pairs() const { return pairs_; }

  /// A list file's text as written on Windows, one entry per CR LF line and
  /// folders separated by backslashes: the pairs' paths in order, spelled as
  /// `spelling` says.
  std::string ListText(Spelling spelling) const;

  /// Puts every file found at its target back at its source. Returns how
  /// many were moved.
  std::size_t Restore() const { return RestorePairs(pairs_); }

  /// How many pairs have their file at the target and none at the source.
  std::size_t CountMoved() const;

 private:
  std::string root_;  // the working directory when the files were made
  Layout layout_;
  std::vector<Pair> pairs_;
};

/// The system-call floor of an activation: lstat on each source, then
/// renameat2(RENAME_NOREPLACE) to its target, stopping at the first source
/// that is not a regular file. Returns the number of pairs moved; throws
/// std::runtime_error when a rename is refused.
std::size_t FloorWalk(const std::vector<Pair>& pairs);

/// Replaces the file at `path` with `text`; throws std::runtime_error.
void WriteTextFile(const std::string& path, const std::string& text);

}  // namespace bench
