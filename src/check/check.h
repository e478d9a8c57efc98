#pragma once

// What brennel-check finds in a mod's folder: the state of its files, what
// each button would do from there, and findings about the lists. Nothing is
// changed on disk: the walks run on a DryRun.

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "dry_run.h"
#include "list_reader.h"

namespace tavrik {

/// One finding about a list entry, as compilers print them:
/// `Tavrik.mla:12:5: warning: empty entry shifts the 9 pairs after it`.
struct Finding {
  std::string list;        // "Tavrik.mla" or "Tavrik.mld"
  std::size_t entry = 0;   // from 1; 0 for the list as a whole
  FieldPosition position;  // line 0 for the list as a whole
  std::string severity;    // "error", "warning" or "note"
  std::string kind;        // README, "brennel-check": every kind
  std::string text;
};

/// How a press of a button ends.
struct Outcome {
  std::string result = "nothing";   // "complete", "missing", "error" or "nothing"
  std::optional<std::size_t> pair;  // the pair that stopped it, from 1
  std::optional<std::string> text;  // the box's text
  std::size_t renames = 0;
};

/// A button pressed now, then the other one.
struct ButtonRun {
  Outcome from_now;
  Outcome then_other;
  bool round_trip = false;  // every file back where it was
};

struct CheckReport {
  std::string folder;
  std::string state;                         // "inactive", "active", "partial" or "mixed"
  std::optional<std::size_t> partial_pairs;  // partial: pairs an activation got through
  std::vector<std::size_t> disagreeing;      // mixed: the pairs whose files are elsewhere
  ButtonRun activate;
  ButtonRun deactivate;
  std::vector<Finding> findings;
};

/// Reads the lists of the working directory as the tool does and checks
/// them on `run`, which is left as the disk is. `folder` names the folder
/// in the report.
CheckReport Check(DryRun& run, const std::string& folder);

/// 0 when the button for the current state runs to its end and the other
/// one then puts every file back; 1 otherwise, and for a partial or mixed
/// state.
int ExitStatus(const CheckReport& report);

}  // namespace tavrik
