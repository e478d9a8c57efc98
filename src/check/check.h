#pragma once

// What brennel-check finds in a mod's folder: the state of its files, what
// each button would do from there, what to press, and findings about the
// lists. Nothing is changed on disk: the walks run on a DryRun.

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "dry_run.h"
#include "lint.h"
#include "presses.h"

namespace tavrik {

/// A file in the way of a pair: at its second path while its own file is
/// at its first.
struct Blocker {
  std::size_t pair = 0;  // from 1
  std::string path;      // the activation list's second path
  bool own = false;      // one of the mod's own files (another pair's)
};

struct CheckReport {
  std::string folder;
  /// "no-lists", "inactive", "active", "partial", "incomplete" or "mixed".
  std::string state;
  std::size_t pairs = 0;
  std::optional<std::size_t> partial_pairs;  // partial: pairs an activation got through
  std::vector<std::size_t> disagreeing;      // mixed: pairs whose files are out of turn
  std::vector<std::size_t> missing;          // pairs whose file is in neither place
  std::vector<Blocker> blocking;
  // Where the list the state is told by starts to be shifted by one entry
  // ("Tavrik.mla:3:1"; "" when not), the pair there (from 1), and whether
  // an empty entry does it. The state is of the pairs before it.
  std::string shift_at;
  std::size_t shift_pair = 0;
  bool shift_empty = false;
  // The report's first three lines, in words: the state, why (or what the
  // buttons do), and "To ...: ..." with the presses that the dry runs
  // proved.
  std::string summary, why, next;
  ButtonRun activate;
  ButtonRun deactivate;
  std::vector<Finding> findings;
};

/// Reads the lists of the working directory as the tool does and checks
/// them on `run`, which is left as the disk is. `folder` is the working
/// directory's path, which the report names and shows paths from.
CheckReport Check(DryRun& run, const std::string& folder);

/// 0 when the button for the current state runs to its end and the other
/// one then puts every file back; 2 when there are no lists; 1 otherwise.
int ExitStatus(const CheckReport& report);

}  // namespace tavrik
