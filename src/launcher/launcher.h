#pragma once

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

#include "entry_list.h"
#include "keep_alive.h"
#include "list_reader.h"
#include "platform.h"

namespace tavrik {

/// Activation renames each pair's first path to its second; deactivation
/// renames the second back to the first.
enum class Direction { kActivation, kDeactivation };

inline constexpr char kActivationListFile[] = "Tavrik.mla";
inline constexpr char kDeactivationListFile[] = "Tavrik.mld";

/// Reads the list file `file_name` of the working directory into `list`, as
/// start-up does: as far as a walk can reach, keeping what was read when the
/// file cannot be read to its end, and silently. When `positions` is given,
/// it receives each entry's line and column, in step with `list`.
void LoadEntryList(Platform& platform, const std::string& file_name, EntryList& list,
                   std::vector<FieldPosition>* positions = nullptr);

/// The logic side of the launcher window: its two lists, their loading, and
/// what its two buttons do. The window side (src/window/) delivers events.
class Brennel {
 public:
  /// `keep_alive` is called between the pairs of a long walk (the window
  /// keeps itself painted there); by default nothing is.
  explicit Brennel(Platform& platform, KeepAlive keep_alive = {})
      : platform_(platform), keep_alive_(std::move(keep_alive)) {}

  EntryList colInputA;  // activation list, from "Tavrik.mla"
  EntryList colInputD;  // deactivation list, from "Tavrik.mld"

  /// Fills colInputD, then colInputA, from the working directory. Never fails.
  void Form_Load();
  /// "Activate": walks colInputA. Lets out Error (refused rename, failed
  /// presence test, a list too long for the walk's counters).
  void Command3_Click();
  /// "Deactivate": walks colInputD, renaming second paths back to first.
  void Command4_Click();
  /// How many files the last walk renamed, also when it stopped or let an
  /// Error out: 0 for a list refused before any rename.
  std::size_t RenamedByLastWalk() const { return renamed_by_last_walk_; }

 private:
  void LoadInputA();
  void LoadInputD();
  void LoadList(const char* file_name, EntryList& list);
  void RenamePairs(const EntryList& list, Direction direction);

  Platform& platform_;
  KeepAlive keep_alive_;
  std::size_t renamed_by_last_walk_ = 0;
};

}  // namespace tavrik
