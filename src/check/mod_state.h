#pragma once

// Where a mod's files are, pair by pair, and what state that makes: as the
// activation list starts them, as a whole or a stopped activation leaves
// them, or otherwise.

#include <cstddef>
#include <string>
#include <vector>

#include "checked_list.h"
#include "dry_run.h"

namespace tavrik {

struct ModState {
  /// "inactive", "active", "partial", "incomplete" (nothing moved, but the
  /// files of some pairs are in neither place) or "mixed".
  std::string state;
  std::size_t pairs = 0;
  std::size_t through = 0;               // pairs from the first on whose file is at its second path
  std::vector<std::size_t> disagreeing;  // pairs at their second path after one that is not
  std::vector<std::size_t> missing;      // pairs whose file is in neither place
  std::vector<std::size_t> blocked;      // pairs whose second path holds another file
  std::size_t refused = 0;               // the first pair whose move is refused otherwise
  std::string refusal;                   // and the error, as the tool would show it

  /// Every pair whose file is there is at its second path, in a run from
  /// the first: what Activate leaves when it can.
  bool Activated() const {
    return pairs > 0 && disagreeing.empty() && blocked.empty() && through + missing.size() == pairs;
  }
  /// No file at its second path.
  bool Deactivated() const { return through == 0 && disagreeing.empty(); }
};

/// The state of `list`'s files on `run`, with the renames recorded on it
/// so far; the renames it tries to tell it are recorded on top (Reset
/// afterwards). Undone from its last pair to its first, a pair whose file
/// is at its second path is at the end of its way; then, done as an
/// activation does it, every first path must hold its file. Chains (a pair
/// whose source is an earlier pair's target) are followed as a walk
/// follows them.
/// Only the first `pairs` pairs are looked at (those before a shift).
ModState Classify(DryRun& run, const CheckedList& list, std::size_t pairs);

/// "Error N: description", as the tool's box shows an error.
std::string ErrorText(const Error& error);

}  // namespace tavrik
