#pragma once

// brennel-check: what it finds in a mod's folder (the state of its files, what each button
// would do from there, what to press, and findings about the lists), and its command line,
// the same on both systems. Nothing is changed on disk: the walks run on a DryRun.

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "dry_run.h"
#include "findings.h"
#include "presses.h"
#include "unmeant_lists.h"

namespace tavrik {

/// A finding about a list, told at its line and column as compilers print them, with the fix:
/// `Tavrik.mla:12:5: warning: empty entry shifts the 9 pairs after it`.
struct Finding {
  std::string list;        // "Tavrik.mla" or "Tavrik.mld"
  std::size_t entry = 0;   // from 1; 0 for the list as a whole
  FieldPosition position;  // line 0 for the list as a whole
  Severity severity = Severity::kNote;
  Kind kind = Kind::kNone;
  std::string text;
  std::string group;      // a kind's findings of one group (a folder, "" all) are told together
  std::string under;      // the Key() of the finding it follows from, counted under it; "" none
  std::size_t count = 1;  // the findings it stands for: in a short report, later ones of its kind
  std::string Key() const { return NameOf(kind) + ('\t' + group); }
};

struct CheckReport {
  std::string folder;
  State state = State::kNoLists;
  std::size_t pairs = 0;  // the pairs the state is told by: those before a shift
  std::size_t stop = 0;   // a stopped walk's pair (from 1), in the list it walks
  // The pairs (from 1) whose file is moved (at its second path), in neither
  // place, at both, or cannot be told.
  std::vector<std::size_t> moved, missing, both, unknown;
  std::vector<std::size_t> in_twins;  // missing, but in a twin of a folder on the way
  // Where the list the state is told by starts to be shifted by one entry ("Tavrik.mla:3:1"; ""
  // when not), the pair there (from 1), and whether an empty entry does it.
  std::string shift_at;
  std::size_t shift_pair = 0;
  bool shift_empty = false;
  Unmeant unmeant;  // why most pairs of a list name no file, where that shows: the list told by
  std::string summary, why, next;  // the first three lines: the state, why, and "To ...: ..."
  std::vector<Move> moves;         // the moves by hand that `next` starts with, every one
  Trial activate, deactivate;      // each button pressed now, then the other
  std::vector<Finding> findings;   // by list, then entry
};

/// Reads the lists of the working directory as the tool does and checks
/// them on `run`, which is left as the disk is. `folder` is the working
/// directory's path, which the report names and shows paths from. Without
/// `every_text`, the first note of another case or of trailing dots stands
/// for all of its kind, as the short report shows them.
CheckReport Check(DryRun& run, const std::string& folder, bool every_text = true);

/// 0 when the button for the current state runs to its end and the other
/// one then puts every file back, and neither list has an entry left over;
/// 2 when there are no lists; 1 otherwise.
int ExitStatus(const CheckReport& report);

/// The report's first three lines and its moves by hand (advice.cpp), from
/// what else it holds; other ways out are tried through `presser`.
void Advise(CheckReport& report, const ModState& state, Presser& presser);

struct CheckConsole {
  std::string out, err;    // what the program prints
  bool terminal = false;   // standard output is a terminal
  bool no_colour = false;  // NO_COLOR is set
  /// Makes `folder` the working directory; returns "" or why it cannot.
  std::function<std::string(const std::string& folder)> enter;
  /// The working directory's absolute path.
  std::function<std::string()> here;
};

/// Runs brennel-check with `arguments` (without the program's name) on `run` and returns its exit
/// status: 0 all good, 1 findings that matter, 2 a usage error.
int RunCheck(const std::vector<std::string>& arguments, CheckConsole& console, DryRun& run);

/// Text of at most 40 lines: the three lines, the folder, what each button would do, then
/// the findings grouped by kind and cause. `all`: every finding and every file, one a line.
/// `colour`: ANSI colours for the state and the severities.
std::string TextReport(const CheckReport& report, bool colour, bool all);

/// One JSON object and a line end: everything the check found.
std::string JsonReport(const CheckReport& report);

/// The moves by hand that the third line starts with, one command a line.
std::string MovesReport(const CheckReport& report);

}  // namespace tavrik
