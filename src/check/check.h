#pragma once

// What brennel-check finds in a mod's folder: the state of its files, what
// each button would do from there, what to press, and findings about the
// lists. Nothing is changed on disk: the walks run on a DryRun.

#include <cstddef>
#include <string>
#include <vector>

#include "dry_run.h"
#include "lint.h"
#include "presses.h"

namespace tavrik {

struct CheckReport {
  std::string folder;
  State state = State::kNoLists;
  std::size_t pairs = 0;  // the pairs the state is told by: those before a shift
  std::size_t stop = 0;   // a stopped walk's pair (from 1), in the list it walks
  // The pairs (from 1) whose file is moved (at its second path), in neither
  // place, at both, or cannot be told.
  std::vector<std::size_t> moved, missing, both, unknown;
  std::vector<std::size_t> in_twins;  // missing, but in a twin of a folder on the way
  // Where the list the state is told by starts to be shifted by one entry
  // ("Tavrik.mla:3:1"; "" when not), the pair there (from 1), and whether
  // an empty entry does it.
  std::string shift_at;
  std::size_t shift_pair = 0;
  bool shift_empty = false;
  std::string summary, why, next;  // the first three lines: the state, why, and "To ...: ..."
  std::vector<Move> moves;         // the moves by hand that `next` starts with, every one
  Trial activate, deactivate;      // each button pressed now, then the other
  std::vector<Finding> findings;
};

/// Reads the lists of the working directory as the tool does and checks
/// them on `run`, which is left as the disk is. `folder` is the working
/// directory's path, which the report names and shows paths from.
CheckReport Check(DryRun& run, const std::string& folder);

/// 0 when the button for the current state runs to its end and the other
/// one then puts every file back; 2 when there are no lists; 1 otherwise.
int ExitStatus(const CheckReport& report);

/// The report's first three lines and its moves by hand (advice.cpp), from
/// what else it holds; other ways out are tried through `presser`.
void Advise(CheckReport& report, const ModState& state, Presser& presser);

}  // namespace tavrik
