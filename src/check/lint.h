#pragma once

// The findings about a mod's lists: each at its list, line and column, as
// compilers print them, with the fix in a few words.

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "checked_list.h"
#include "dry_run.h"
#include "mod_state.h"
#include "shift.h"

namespace tavrik {

/// One finding about a list entry:
/// `Tavrik.mla:12:5: warning: empty entry shifts the 9 pairs after it`.
struct Finding {
  std::string list;        // "Tavrik.mla" or "Tavrik.mld"
  std::size_t entry = 0;   // from 1; 0 for the list as a whole
  FieldPosition position;  // line 0 for the list as a whole
  std::string severity;    // "error", "warning" or "note"
  std::string kind;        // README, "brennel-check": every kind
  std::string text;
};

class Linter {
 public:
  /// Findings of one kind in one list beyond this many are counted, not
  /// kept: a list of 32,768 empty entries makes one screen, not 32,768 lines.
  static constexpr std::size_t kShownPerKind = 100;

  /// `here`: the working directory's path, which paths on disk are shown
  /// from.
  Linter(DryRun& run, std::string here, std::vector<Finding>& findings)
      : run_(run), here_(std::move(here)), findings_(findings) {}

  /// The findings about each list's entries and pairs, on the disk as it is.
  void Lint(const CheckedList& activation, const CheckedList& deactivation);
  /// A deactivation list normally holds the activation list's pairs, in the
  /// same or the reverse order: where they part, in both lists.
  void CompareLists(const CheckedList& activation, const CheckedList& deactivation);
  /// The pairs whose file is in neither place, or (the activation list) at
  /// its target out of turn.
  void Misplaced(const CheckedList& list, const ModState& state);
  /// Whether the file at pair `pair`'s second path (from 1) in the
  /// activation list is one of the mod's own: where a pair of either list
  /// starts, or where another pair ends.
  bool OwnFile(std::size_t pair);
  /// One finding for each kind of a list that had more than were kept.
  void Finish();

 private:
  void Add(const CheckedList& list, std::size_t entry, const char* severity, const char* kind,
           std::string text);
  // What an entry reaches on disk, or why the walk cannot tell.
  struct Known {
    std::optional<PathFacts> facts;
    std::string ambiguity;
    std::uint64_t identity = 0;
  };
  Known Ask(const std::string& entry);
  void Learn(const CheckedList& list, std::size_t number, const Known& known);
  void LintRest(const CheckedList& list);
  void LintEntry(const CheckedList& list, std::size_t number, const PathFacts& facts);
  void LintPair(const CheckedList& list, std::size_t pair, const PathFacts& from,
                const PathFacts& to);
  void Spelling(const CheckedList& list, std::size_t entry, const PathFacts& facts, bool whole);
  void SplitFolders(const CheckedList& list, std::size_t number, const PathFacts& facts,
                    bool target);
  void CaseTwin(const CheckedList& list, std::size_t number, const PathFacts& facts);
  std::vector<std::string> TwinsOf(const std::string& folder, const std::string& name);
  std::string Shown(const std::string& where) const;

  DryRun& run_;
  std::string here_;
  std::vector<Finding>& findings_;
  std::map<std::pair<std::string, std::string>, std::size_t> counted_;  // by list and kind
  // What each entry names, as a digest of its identity (equal for two
  // paths that name one file), by list: 8 bytes an entry, however long.
  std::vector<std::uint64_t> identities_[2];
  Shift shifts_[2];  // where each list's pairs start to be shifted
  // Each list's moves, by identity: where a pair moved a file away from, and
  // where it put one.
  std::unordered_map<std::uint64_t, std::size_t> moved_away_[2], put_there_[2];
  // Folders already looked at for twins, and the twins of each folder read.
  std::unordered_set<std::uint64_t> looked_at_;
  std::unordered_map<std::uint64_t, std::vector<std::vector<std::string>>> twins_;
  std::unordered_map<std::uint64_t, std::size_t> own_;  // OwnFile's, once needed
};

}  // namespace tavrik
