#pragma once

// The findings about a mod's lists: each at its list, line and column, as
// compilers print them, with the fix in a few words.

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

#include "checked_list.h"
#include "dry_run.h"
#include "presses.h"
#include "shown_text.h"

namespace tavrik {

enum class Severity : unsigned char { kError, kWarning, kNote };
inline constexpr const char* kSeverityNames[] = {"error", "warning", "note"};
inline const char* NameOf(Severity severity) { return kSeverityNames[static_cast<int>(severity)]; }

/// `Tavrik.mla:12:5: warning: empty entry shifts the 9 pairs after it`.
struct Finding {
  std::string list;        // "Tavrik.mla" or "Tavrik.mld"
  std::size_t entry = 0;   // from 1; 0 for the list as a whole
  FieldPosition position;  // line 0 for the list as a whole
  Severity severity = Severity::kNote;
  std::string kind;  // brennel-check(1), FINDINGS: every kind
  std::string text;
  std::string group;  // a kind's findings of one group (a folder, "" all) are told together
  std::string under;  // the Key() of the finding it follows from, counted under it; "" none
  std::string Key() const { return kind + '\t' + group; }
};

class Linter {
 public:
  /// Paths on disk are shown from `here`, the working directory.
  Linter(DryRun& run, Presser& presser, std::string here, std::vector<Finding>& findings)
      : run_(run), presser_(presser), here_(std::move(here)), findings_(findings) {}

  /// The findings about each list's entries and pairs on the disk as it is,
  /// and where the two lists part.
  void Lint(const CheckedList& activation, const CheckedList& deactivation);
  /// The pairs whose file is in neither place, at both, or (the activation
  /// list) at its target out of turn.
  void Misplaced(const CheckedList& list, const ModState& state);
  /// What stops a press, where no other finding tells it.
  void Stopped(const CheckedList& list, const Outcome& outcome);
  /// Sorts the findings: by list, then entry.
  void Finish();

 private:
  DryRun& run_;
  Presser& presser_;
  std::string here_;
  std::vector<Finding>& findings_;
};

}  // namespace tavrik
