#pragma once

// Where a mod's files are, pair by pair, and the state that makes.

#include <cstddef>
#include <vector>

#include "checked_list.h"
#include "dry_run.h"

namespace tavrik {

/// Where a pair's file is.
enum class PairPlace : unsigned char {
  kFirst,    // at its first path (where an activation starts it)
  kSecond,   // at its second (or there and unable to go back: a read-only disk)
  kBoth,     // a file at each of its paths
  kNeither,  // at neither
  kSame,     // its two paths name one file: the pair renames nothing
  kUnknown,  // cannot be told: a name on the way is ambiguous
};

enum class State : unsigned char {
  kNoLists,              // neither list is there
  kInactive,             // every file at its first path
  kIncomplete,           // ...but the files of some pairs at neither
  kActive,               // every file there at its second path
  kActivationStopped,    // pairs 1 to k-1 moved, none after: as an activation stopped at k
  kDeactivationStopped,  // the deactivation list's pairs 1 to k-1 back, none after
  kBothNames,            // a file at both paths of some pairs, the others in any state
  kAmbiguous,            // where some pairs' files are cannot be told
  kMixed,                // anything else
};
inline constexpr const char* kStateNames[] = {
    "no-lists",   "inactive",  "incomplete", "active", "activation-stopped", "deactivation-stopped",
    "both-names", "ambiguous", "mixed"};
inline const char* NameOf(State state) { return kStateNames[static_cast<int>(state)]; }

struct ModState {
  State state = State::kNoLists;
  std::vector<PairPlace> places;  // by pair of the list the state is told by
  std::size_t stop = 0;           // a stopped walk's pair, from 1, in the list it walks
  bool by_activation = true;      // the list is the activation list; else Tavrik.mla has no pair
  /// The pairs (from 1) whose file is at `place`.
  std::vector<std::size_t> At(PairPlace place) const;
};

/// Where the files of `list`'s pairs before its shift are, chains followed
/// as a walk follows them; `run` is left as the disk is. `uses`: the list's.
std::vector<PairPlace> Locate(DryRun& run, const CheckedList& list, const PathUses& uses);
/// The earlier pair (from 1) that `pair` (from 0) repeats, the last to use
/// either of its paths; 0 when none.
std::size_t Repeated(const CheckedList& list, const PathUses& uses, std::size_t pair);
/// The first pair (from 0) a walk stops at: the first not at `moved`, pairs
/// that rename nothing passed.
std::size_t StopOf(const std::vector<PairPlace>& places, PairPlace moved);
/// `by_deactivation`: the same files by the deactivation list's pairs, none
/// where it has no pair; `activates`: `places` are the activation list's.
ModState StateOf(std::vector<PairPlace> places, const std::vector<PairPlace>& by_deactivation,
                 bool shifted, bool activates);

}  // namespace tavrik
