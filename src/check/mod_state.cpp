#include "mod_state.h"

#include <algorithm>

namespace tavrik {

namespace {

enum class Place : unsigned char {
  kFirst,
  kSecond,
  kStuck,  // at its second path, and cannot go back (a read-only disk)
  kBoth,   // the two paths name one file: a pair that renames nothing
};

bool Present(DryRun& run, const std::string& path) {
  try {
    return !run.FindFile(path).empty();
  } catch (const Error&) {
    return true;  // several names in other cases: there, and a rename says why not
  }
}

}  // namespace

std::string ErrorText(const Error& error) {
  return "Error " + std::to_string(error.Number()) + ": " + error.Description();
}

ModState Classify(DryRun& run, const CheckedList& list, std::size_t pairs) {
  ModState state;
  state.pairs = std::min(pairs, list.Pairs());
  std::vector<Place> place(state.pairs, Place::kFirst);
  run.BeginWalk();
  run.TakeRenames();
  for (std::size_t pair = state.pairs; pair-- > 0;) {
    if (!Present(run, list.Second(pair))) continue;
    try {
      run.RenameFile(list.Second(pair), list.First(pair));
      place[pair] = run.TakeRenames() == 0 ? Place::kBoth : Place::kSecond;
    } catch (const Error&) {
      // Both places hold a file: the one at the second path is in the way
      // (below). Otherwise the file is there but may not be moved back (a
      // read-only disk): it counts as moved, and stays where it is.
      if (!Present(run, list.First(pair))) place[pair] = Place::kStuck;
    }
  }
  for (std::size_t pair = 0; pair < state.pairs; ++pair) {
    if (place[pair] == Place::kStuck || place[pair] == Place::kBoth) continue;
    if (!Present(run, list.First(pair))) {
      if (place[pair] == Place::kFirst) state.missing.push_back(pair + 1);
      continue;
    }
    try {
      run.RenameFile(list.First(pair), list.Second(pair));
    } catch (const Error& error) {
      if (place[pair] != Place::kFirst) continue;
      if (Present(run, list.Second(pair))) {
        state.blocked.push_back(pair + 1);
      } else if (state.refused == 0) {
        state.refused = pair + 1;
        state.refusal = ErrorText(error);
      }
    }
  }
  run.EndWalk();
  // A pair that renames nothing is where both states leave it.
  const auto moved = [&](std::size_t pair) {
    return place[pair] == Place::kSecond || place[pair] == Place::kStuck;
  };
  if (std::any_of(place.begin(), place.end(),
                  [](Place at) { return at == Place::kSecond || at == Place::kStuck; })) {
    while (state.through < state.pairs && place[state.through] != Place::kFirst) ++state.through;
  }
  for (std::size_t pair = state.through; pair < state.pairs; ++pair) {
    if (moved(pair)) state.disagreeing.push_back(pair + 1);
  }
  if (!state.disagreeing.empty()) {
    state.state = "mixed";
  } else if (state.through == 0 && state.missing.empty()) {
    state.state = "inactive";
  } else if (state.through == 0) {
    state.state = "incomplete";
  } else if (state.through == state.pairs) {
    state.state = "active";
  } else {
    state.state = "partial";
  }
  return state;
}

}  // namespace tavrik
