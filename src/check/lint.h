#pragma once

// The findings about a mod's lists: each at its list, line and column, as
// compilers print them, with the fix in a few words.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <unordered_set>
#include <utility>
#include <vector>

#include "checked_list.h"
#include "dry_run.h"
#include "presses.h"

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
  /// each entry and folder looked at once, and where the two lists part.
  void Lint(const CheckedList& activation, const CheckedList& deactivation);
  /// The pairs whose file is in neither place, at both, or (the activation
  /// list) at its target out of turn.
  void Misplaced(const CheckedList& list, const ModState& state);
  /// What stops a press, where no other finding tells it.
  void Stopped(const CheckedList& list, const Outcome& outcome);
  /// Sorts the findings: by list, then entry.
  void Finish();

 private:
  void Add(const CheckedList& list, std::size_t entry, Severity severity, std::string kind,
           std::string text, std::string group = "", std::string under = "");
  std::optional<PathFacts> Ask(const CheckedList& list, std::size_t number);
  void LintPair(const CheckedList& list, std::size_t pair, const PathFacts& from,
                const PathFacts& to);
  void Spelling(const CheckedList& list, std::size_t entry, const PathFacts& facts, bool whole);
  void SplitFolders(const CheckedList& list, std::size_t entry, const PathFacts& facts,
                    bool target);
  void LintRest(const CheckedList& list);
  void CompareLists(const CheckedList& activation, const CheckedList& deactivation);
  void Told(const CheckedList& list, std::size_t pair, const Cause& cause, std::string kind,
            std::string under);
  std::string Shown(const std::string& where) const;

  DryRun& run_;
  Presser& presser_;
  std::string here_;
  std::vector<Finding>& findings_;
  std::unordered_set<std::string> looked_at_;  // files and folders looked at for twins
};

}  // namespace tavrik
