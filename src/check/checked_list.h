#pragma once

// A list as brennel-check looks at it: the entries the tool's own Brennel
// holds (not a copy: a list may hold megabytes), where each one stands in
// its file, and which way its button walks it.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "entry_list.h"
#include "list_limits.h"
#include "list_reader.h"

namespace tavrik {

/// The walk takes lists of at most this many entries.
inline constexpr std::size_t kLongestWalk = kInt16Max;

/// Where a list's pairs start to be shifted by one entry: a blank line, or a
/// line forgotten or doubled, pairs every later entry with the wrong one.
struct Shift {
  std::size_t entry = 0;  // the entry that shifts the pairs after it, from 1; 0: none
  bool empty = false;     // it is an empty entry; else its pairs' names tell
  std::size_t pair = 0;   // the first pair it spoils, from 0
};

struct CheckedList {
  const char* name = "";  // "Tavrik.mla" or "Tavrik.mld"
  bool activation = true;
  bool readable = false;
  const EntryList* entries = nullptr;
  std::vector<FieldPosition> positions;  // in step with `entries`
  Shift shift;
  mutable std::vector<std::string> keys;  // Key of each entry the walk takes, once asked
  mutable bool plain = true;              // ...each made by Plain's rule

  /// The pairs before the shift, which join the files they mean.
  std::size_t Unshifted() const { return shift.entry > 0 ? shift.pair : Pairs(); }
  std::size_t Size() const { return entries->size(); }
  /// Its button refuses it whole: more entries than a walk takes, or more text.
  bool TooMany() const { return Size() > kLongestWalk; }
  bool Refused() const { return TooMany() || entries->more_text_followed(); }
  std::size_t Pairs() const { return std::min(Size(), kLongestWalk) / 2; }
  /// Entry `number`, from 1.
  const std::string& Entry(std::size_t number) const { return (*entries)[number - 1]; }
  /// A pair's paths, from 0: where its file lies after a deactivation
  /// (first) and after an activation (second), in both lists.
  const std::string& First(std::size_t pair) const { return (*entries)[2 * pair]; }
  const std::string& Second(std::size_t pair) const { return (*entries)[2 * pair + 1]; }
  /// What the list's own button moves, and to where.
  const std::string& Source(std::size_t pair) const { return Entry(SourceEntry(pair)); }
  const std::string& Target(std::size_t pair) const { return Entry(TargetEntry(pair)); }
  /// Their entry numbers, from 1.
  std::size_t SourceEntry(std::size_t pair) const { return 2 * pair + (activation ? 1 : 2); }
  std::size_t TargetEntry(std::size_t pair) const { return 2 * pair + (activation ? 2 : 1); }
  /// What entry `number` (from 1) names by its text, as Windows compares names: equal
  /// for two paths of one place, "." and ".." applied. Every entry's is worked out at
  /// the first call, so what it returns stays valid.
  const std::string& Key(std::size_t number) const;
  /// Every entry the walk takes is plain, its key its text as it stands in
  /// upper case: ASCII names between single separators, none ending in a dot or a space.
  bool Plain() const;

  /// "Tavrik.mla:5:1", where entry `number` (from 1) stands.
  std::string At(std::size_t number) const {
    if (number == 0 || number > positions.size()) return name;
    const FieldPosition& at = positions[number - 1];
    return std::string(name) + ":" + std::to_string(at.line) + ":" + std::to_string(at.column);
  }
};

/// The first shift of `list`: its first empty entry that has pairs after
/// it, or, before that, the first pair whose two names differ (after pairs
/// whose names agree, "x.dds.off" and "x.dds") where leaving one of its
/// entries out makes the next two pairs agree again.
Shift FindShift(const CheckedList& list);

/// By key (the list's own): the pairs (from 0) it is the source (1) or target (2) of, in
/// order. One sorted array: a list of 32,767 entries would take megabytes in a hash map.
class PathUses {
 public:
  using Use = std::pair<std::uint32_t, std::uint32_t>;  // pair, roles
  void Index(const CheckedList& list);
  bool empty() const { return uses_.empty(); }
  std::span<const Use> Of(std::string_view key) const;

 private:
  std::string_view KeyOf(const Use& use) const;
  const CheckedList* list_ = nullptr;
  std::vector<Use> uses_;  // by key, then pair
};

}  // namespace tavrik
