#pragma once

// A list as brennel-check looks at it: the entries the tool's own Brennel
// holds (not a copy: a list may hold megabytes), where each one stands in
// its file, and which way its button walks it.

#include <algorithm>
#include <cstddef>
#include <string>
#include <vector>

#include "entry_list.h"
#include "list_limits.h"
#include "list_reader.h"

namespace tavrik {

/// The walk takes lists of at most this many entries.
inline constexpr std::size_t kLongestWalk = kInt16Max;

struct CheckedList {
  const char* name = "";  // "Tavrik.mla" or "Tavrik.mld"
  bool activation = true;
  bool readable = false;
  const EntryList* entries = nullptr;
  std::vector<FieldPosition> positions;  // in step with `entries`

  std::size_t Size() const { return entries->size(); }
  std::size_t Pairs() const { return std::min(Size(), kLongestWalk) / 2; }
  /// Entry `number`, from 1.
  const std::string& Entry(std::size_t number) const { return (*entries)[number - 1]; }
  /// A pair's paths, from 0: where its file lies after a deactivation
  /// (first) and after an activation (second), in both lists.
  const std::string& First(std::size_t pair) const { return (*entries)[2 * pair]; }
  const std::string& Second(std::size_t pair) const { return (*entries)[2 * pair + 1]; }
  /// What the list's own button moves, and to where.
  const std::string& Source(std::size_t pair) const {
    return activation ? First(pair) : Second(pair);
  }
  const std::string& Target(std::size_t pair) const {
    return activation ? Second(pair) : First(pair);
  }
  /// Their entry numbers, from 1.
  std::size_t SourceEntry(std::size_t pair) const { return 2 * pair + (activation ? 1 : 2); }
  std::size_t TargetEntry(std::size_t pair) const { return 2 * pair + (activation ? 2 : 1); }

  /// "Tavrik.mla:5:1", where entry `number` (from 1) stands.
  std::string At(std::size_t number) const {
    if (number == 0 || number > positions.size()) return name;
    const FieldPosition& at = positions[number - 1];
    return std::string(name) + ":" + std::to_string(at.line) + ":" + std::to_string(at.column);
  }
};

}  // namespace tavrik
