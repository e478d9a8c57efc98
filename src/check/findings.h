#pragma once

// Every kind of finding brennel-check tells, and of cause it finds for a
// stop, once: its name, as brennel-check(1) lists it, and its severity.

namespace tavrik {

enum class Severity : unsigned char { kError, kWarning, kNote };
inline constexpr const char* kSeverityNames[] = {"error", "warning", "note"};
inline const char* NameOf(Severity severity) { return kSeverityNames[static_cast<int>(severity)]; }

enum class Kind : unsigned char {
  kNone,  // no cause found
  // About a list as a whole.
  kUnreadableList,
  kTooManyEntries,
  kTooMuchText,
  kUnmeantList,
  kListsDiffer,
  // About its entries and their order.
  kEmptyEntry,
  kShiftedPairs,
  kOddEntry,
  kLeavesFolder,
  kSamePath,
  kOtherCase,
  kTrailingDots,
  kMisspelt,
  kDuplicateSource,
  kDuplicateTarget,
  // About the disk under them.
  kMissingSource,
  kAmbiguousName,
  kNoTargetFolder,
  kCaseTwin,
  kSplitFolder,
  kBothNames,
  kRefused,
  // Causes of a stop that no finding tells apart from the one above it.
  kTargetTaken,
  kAlreadyMoved,
  kError,
};

struct KindFacts {
  const char* name;
  Severity severity;  // as a finding
};
inline constexpr KindFacts kKinds[] = {
    {"", Severity::kNote},
    {"unreadable-list", Severity::kWarning},
    {"too-many-entries", Severity::kError},
    {"too-much-text", Severity::kError},
    {"unmeant-list", Severity::kError},
    {"lists-differ", Severity::kNote},
    {"empty-entry", Severity::kWarning},
    {"shifted-pairs", Severity::kWarning},
    {"odd-entry", Severity::kWarning},
    {"leaves-folder", Severity::kWarning},
    {"same-path", Severity::kWarning},
    {"other-case", Severity::kNote},
    {"trailing-dots", Severity::kNote},
    {"misspelt", Severity::kWarning},
    {"duplicate-source", Severity::kWarning},
    {"duplicate-target", Severity::kWarning},
    {"missing-source", Severity::kWarning},
    {"ambiguous-name", Severity::kError},
    {"no-target-folder", Severity::kError},
    {"case-twin", Severity::kWarning},
    {"split-folder", Severity::kWarning},
    {"both-names", Severity::kWarning},
    {"refused", Severity::kError},
    {"target-taken", Severity::kWarning},
    {"already-moved", Severity::kWarning},
    {"error", Severity::kError},
};
static_assert(sizeof kKinds / sizeof kKinds[0] == static_cast<int>(Kind::kError) + 1);

inline const char* NameOf(Kind kind) { return kKinds[static_cast<int>(kind)].name; }
inline Severity SeverityOf(Kind kind) { return kKinds[static_cast<int>(kind)].severity; }

}  // namespace tavrik
