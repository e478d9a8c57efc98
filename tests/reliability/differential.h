#pragma once

// Random folder trees and lists, walked for real and by the reference in
// reference_platform.h on two copies of the tree; the two must end with the
// same files in the same places, the same message and the same error. Before
// the walk, brennel-check's dry run on the walk's copy must leave it as it
// is and predict each click's end, the pair it stops at, and the last tree.

#include <cstdint>
#include <functional>
#include <string>

namespace differential {

/// Where a case's choices come from: a seeded generator in the tests, the
/// fuzzer's bytes in the fuzz target. Returns a number below `n` (n > 0).
using Choose = std::function<std::uint32_t(std::uint32_t n)>;

struct Options {
  /// Another program changes the tree between pairs, in both copies alike:
  /// creates a file or a folder of a name the lists spell, in their
  /// spelling or in capitals, removes a file, renames a folder away and
  /// makes a new one,
  /// or puts a link where a folder was. The dry run cannot foresee that,
  /// so it is not compared then.
  bool changes = false;
  /// `scratch` is on a file system that ignores case: no two names of one
  /// key are made, and the dry run is not compared (it models a disk that
  /// tells case apart).
  bool case_insensitive = false;
  /// The file system has symbolic and hard links (exFAT has neither).
  bool links = true;
  /// The kernel's cache of names is dropped before every presence test:
  /// exfat-fuse leaves a renamed file's other spellings in it for a second,
  /// which a walk and the reference would meet at different moments.
  bool drop_cached_names = false;
};

/// Makes one random case under `scratch` (an empty folder), walks it both
/// ways and compares. Returns "" when both agree, else what differs, with
/// the case's tree and lists.
std::string RunCase(const Choose& choose, const std::string& scratch, const Options& options = {});

}  // namespace differential
