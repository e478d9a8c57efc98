#pragma once

// Where a mod's files are, pair by pair, and the state that makes, named
// for what leaves the files so.

#include <cstddef>
#include <string>
#include <vector>

#include "checked_list.h"
#include "dry_run.h"

namespace tavrik {

/// Where a pair's file is.
enum class Place : unsigned char {
  kFirst,    // at its first path (where an activation starts it)
  kSecond,   // at its second path (or there and unable to go back: a read-only disk)
  kBoth,     // a file at each of its two paths
  kNeither,  // at neither
  kSame,     // its two paths name one file: the pair renames nothing
  kUnknown,  // cannot be told: a name on its way is ambiguous
};

enum class State : unsigned char {
  kNoLists,              // neither list is there
  kInactive,             // every file at its first path
  kIncomplete,           // ...but the files of some pairs at neither
  kActive,               // every file there at its second path
  kActivationStopped,    // pairs 1 to k-1 moved, none after: as an activation stopped at k
  kDeactivationStopped,  // the deactivation list's pairs 1 to k-1 back, none after
  kBothNames,            // a file at both paths of some pairs, the others in one state
  kAmbiguous,            // where some pairs' files are cannot be told
  kMixed,                // anything else
};
inline constexpr const char* kStateNames[] = {
    "no-lists",   "inactive",  "incomplete", "active", "activation-stopped", "deactivation-stopped",
    "both-names", "ambiguous", "mixed"};
inline const char* NameOf(State state) { return kStateNames[static_cast<int>(state)]; }

struct ModState {
  State state = State::kNoLists;
  std::vector<Place> places;  // by pair of the activation list (or of the list told by)
  std::size_t stop = 0;  // a stopped walk's pair, from 1, in the list it walks; at the shift too
  /// The pairs (from 1) whose file is at `place`.
  std::vector<std::size_t> At(Place place) const;
};

/// Where the files of `list`'s first `pairs` pairs are on `run`, with its
/// renames so far; the renames it tries are recorded on top (Reset
/// afterwards). Undone from the last pair to the first, a file at its
/// second path is at the end of its way; done again as an activation does
/// it, each first path must hold its file. Chains (a pair whose source is
/// an earlier pair's target) are followed as a walk follows them.
std::vector<Place> Locate(DryRun& run, const CheckedList& list, std::size_t pairs);

/// The state of `places`; `by_deactivation` are the same files by the
/// deactivation list's pairs. `shifted`: a shift follows the pairs told.
ModState StateOf(std::vector<Place> places, const std::vector<Place>& by_deactivation,
                 bool shifted);

/// "Error N: description", as the tool's box shows an error.
std::string ErrorText(const Error& error);

}  // namespace tavrik
