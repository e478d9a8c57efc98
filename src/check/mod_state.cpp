// Where a mod's files are, and the state that makes.

#include "mod_state.h"

#include <algorithm>
#include <iterator>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "presses.h"

namespace tavrik {

namespace {

enum class Presence { kNo, kYes, kUnknown };

// Several names in other cases: a failed lookup is no file, but cannot be told.
Presence PresenceOf(DryRun& run, const std::string& path) {
  return OrElse([&] { return run.FindFile(path).empty() ? Presence::kNo : Presence::kYes; },
                Presence::kUnknown);
}

// The pair (from 1) a walk that moves files to `moved` stopped at, or 0: the
// pairs before it moved and none after it. `cut`: the list goes on past `places`.
std::size_t StoppedAt(const std::vector<PairPlace>& places, PairPlace moved, bool cut) {
  const std::size_t stop = StopOf(places, moved);
  const bool none_after = std::find(places.begin() + stop, places.end(), moved) == places.end();
  return stop > 0 && (stop < places.size() || cut) && none_after ? stop + 1 : 0;
}

}  // namespace

std::size_t StopOf(const std::vector<PairPlace>& places, PairPlace moved) {
  std::size_t at = 0;
  while (at < places.size() && (places[at] == moved || places[at] == PairPlace::kSame)) ++at;
  return at;
}

std::size_t Repeated(const CheckedList& list, const PathUses& uses, std::size_t pair) {
  const std::string &first = list.Key(2 * pair + 1), &second = list.Key(2 * pair + 2);
  // The last pair before it to use a path.
  const auto last = [&](const std::string& key) -> std::size_t {
    const auto found = uses.Of(key);
    const auto at = std::ranges::lower_bound(found, pair, {}, &PathUses::Use::first);
    return at == found.begin() ? 0 : std::prev(at)->first + 1;
  };
  const std::size_t earlier = last(first);
  return earlier > 0 && earlier == last(second) && list.Key(2 * earlier - 1) == first &&
                 list.Key(2 * earlier) == second
             ? earlier
             : 0;
}

std::vector<std::size_t> ModState::At(PairPlace place) const {
  std::vector<std::size_t> pairs;
  for (std::size_t pair = 0; pair < places.size(); ++pair) {
    if (places[pair] == place) pairs.push_back(pair + 1);
  }
  return pairs;
}

// Undone from the last pair to the first, a file at its second path is at
// the end of its way; done again as an activation does it, each first path
// must hold its file.
std::vector<PairPlace> Locate(DryRun& run, const CheckedList& list, const PathUses& uses) {
  std::vector<PairPlace> place(list.Unshifted(), PairPlace::kFirst);
  // Where no path of a pair is a path of another, no move touches a later
  // pair's file: only chains and doubled paths need the moves made.
  std::unordered_set<std::string_view> paths;
  bool chained = false;
  for (std::size_t entry = 1; !chained && entry <= 2 * place.size(); ++entry) {
    chained = !paths.insert(list.Key(entry)).second;
  }
  // A pair that repeats an earlier one finds its file moved away by it: the
  // walk stops there, and its file is where that pair's is.
  std::vector<std::size_t> repeats(chained ? place.size() : 0);
  for (std::size_t pair = 0; pair < repeats.size(); ++pair) {
    repeats[pair] = Repeated(list, uses, pair);
  }
  const auto repeat = [&](std::size_t pair) { return chained && repeats[pair] > 0; };
  const auto located = [&] {
    for (std::size_t pair = 0; pair < repeats.size(); ++pair) {
      if (repeats[pair] > 0) place[pair] = place[repeats[pair] - 1];
    }
    run.EndWalk();
    run.Reset();
    return place;
  };
  run.BeginWalk();
  // A file at a second path may be another pair's at its first, such as a
  // game's file that an earlier pair moves aside before the mod's takes its
  // name: where an activation moves every file there is and finds no other in
  // its way, each file is at its first path.
  bool inactive = chained;
  for (std::size_t pair = 0; inactive && pair < place.size(); ++pair) {
    if (repeat(pair)) continue;
    if (PresenceOf(run, list.First(pair)) == Presence::kYes) {
      inactive = Goes([&] { run.RenameFile(list.First(pair), list.Second(pair)); });
    } else {
      place[pair] = PairPlace::kNeither;
      inactive = PresenceOf(run, list.Second(pair)) == Presence::kNo;
    }
  }
  if (inactive) return located();
  std::ranges::fill(place, PairPlace::kFirst);
  run.Reset();
  run.TakeRenames();
  for (std::size_t pair = place.size(); pair-- > 0;) {
    if (repeat(pair)) continue;
    const Presence second = PresenceOf(run, list.Second(pair));
    if (second == Presence::kUnknown) place[pair] = PairPlace::kUnknown;
    if (second != Presence::kYes) continue;
    if (Goes([&] { run.RenameFile(list.Second(pair), list.First(pair)); })) {
      place[pair] = run.TakeRenames() == 0 ? PairPlace::kSame : PairPlace::kSecond;
    } else {  // a file at each path; or one that may not go back, moved
      // Of pairs that share a path, the walk's order decides whose file is
      // there: a later pair's put back at this first path, or an earlier
      // pair's at this second, where this pair's own is at its first.
      const int first = list.activation ? 1 : 2, second = 3 - first;  // the roles in `uses`
      bool later = false, earlier = false;
      if (chained) {
        for (const auto& [other, role] : uses.Of(list.Key(2 * pair + 1))) {
          later |= (role & first) != 0 && other > pair && other < place.size() &&
                   place[other] == PairPlace::kSecond;
        }
        for (const auto& [other, role] : uses.Of(list.Key(2 * pair + 2))) {
          earlier |= (role & second) != 0 && other < pair;
        }
      }
      const bool gone = PresenceOf(run, list.First(pair)) == Presence::kNo;
      place[pair] = later || gone ? PairPlace::kSecond
                    : earlier     ? PairPlace::kFirst
                                  : PairPlace::kBoth;
    }
  }
  for (std::size_t pair = 0; pair < place.size(); ++pair) {
    if (repeat(pair) || (place[pair] != PairPlace::kFirst && place[pair] != PairPlace::kSecond)) {
      continue;
    }
    const Presence first = PresenceOf(run, list.First(pair));
    if (first == Presence::kYes && chained) {
      // Refused: the walk tells why where it meets it.
      Goes([&] { run.RenameFile(list.First(pair), list.Second(pair)); });
    } else if (first != Presence::kYes && place[pair] == PairPlace::kFirst) {
      place[pair] = first == Presence::kNo ? PairPlace::kNeither : PairPlace::kUnknown;
    }
  }
  return located();
}

ModState StateOf(std::vector<PairPlace> places, const std::vector<PairPlace>& by_deactivation,
                 bool shifted, bool activates) {
  const auto count = [&](PairPlace place) {
    return std::count(places.begin(), places.end(), place);
  };
  const std::size_t first = count(PairPlace::kFirst), second = count(PairPlace::kSecond);
  const std::size_t both = count(PairPlace::kBoth);
  const auto settled = [&](State state, std::size_t stop = 0) {
    return ModState{state, std::move(places), stop, activates};
  };
  if (count(PairPlace::kUnknown) > 0) return settled(State::kAmbiguous);
  // Two versions of a file, whatever the others' state: which to keep is the player's to say.
  if (both > 0) return settled(State::kBothNames);
  if (second == 0) {
    return settled(count(PairPlace::kNeither) > 0 ? State::kIncomplete : State::kInactive);
  }
  if (first == 0 && !shifted) return settled(State::kActive);
  if (const std::size_t stop = activates ? StoppedAt(places, PairPlace::kSecond, shifted) : 0) {
    return settled(State::kActivationStopped, stop);
  }
  if (const std::size_t stop = StoppedAt(by_deactivation, PairPlace::kFirst, false)) {
    return settled(State::kDeactivationStopped, stop);
  }
  return settled(State::kMixed);
}

}  // namespace tavrik
