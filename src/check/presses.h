#pragma once

// The buttons pressed on a dry run: how each press ends and why it stops,
// and for a button pressed and then the other, which files do not come
// back and why.

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "checked_list.h"
#include "dry_run.h"
#include "launcher.h"
#include "shift.h"

namespace tavrik {

enum class Result : unsigned char { kNothing, kComplete, kMissing, kError };
inline constexpr const char* kResultNames[] = {"nothing", "complete", "missing", "error"};
inline const char* NameOf(Result result) { return kResultNames[static_cast<int>(result)]; }

/// A file to move by hand: paths from the mod's folder, as the disk spells
/// them.
struct Move {
  std::string from, to;
  friend bool operator==(const Move&, const Move&) = default;
};

/// Why a press stops, told from the dry run as the press leaves it.
struct Cause {
  Cause() = default;
  Cause(std::string kind, std::string text, std::string fix)
      : kind(std::move(kind)), text(std::move(text)), fix(std::move(fix)) {}
  std::string kind;         // the finding it is: "missing-source", "split-folder", ...
  std::string text;         // what stops it
  std::string fix;          // what to do; "" when nothing is to be done
  std::vector<Move> moves;  // moves by hand that take it away, when there are
};

/// How a press of a button ends.
struct Outcome {
  Result result = Result::kNothing;
  std::size_t pair = 0;    // the pair that stopped it, from 1; 0 when none did
  std::string text;        // the box's text
  std::int64_t error = 0;  // the error's number
  std::size_t renames = 0;
  std::string at;     // where the stopping pair's source stands: "Tavrik.mla:5:1"
  Cause cause;        // why it stopped
  bool done = false;  // afterwards, no file is left for this button to move
};

/// A file that a button and then the other leave elsewhere than it was.
struct Displaced {
  std::string from, to;  // paths as the disk spells them
  std::string cause;     // why, and the fix, in a few words; "" when unknown
};

/// Moves by hand, then presses one after the other, from the disk as it is.
struct Trial {
  bool moved = true;  // every move by hand went through
  std::vector<Outcome> presses;
  bool round_trip = false;           // after the second press, every file is back
  std::vector<Displaced> displaced;  // ...or these are not
  const Outcome& from_now() const { return presses[0]; }
  const Outcome& then_other() const { return presses[1]; }
};

/// The tool's own Brennel over a dry run. Its two lists are the ones
/// brennel-check looks at.
class Presser {
 public:
  Presser(DryRun& run, std::string here) : brennel_(run), run_(run), here_(std::move(here)) {}

  Brennel& brennel() { return brennel_; }
  /// The lists, once loaded into brennel().
  void Know(const CheckedList& activation, const CheckedList& deactivation);
  const Shift& ShiftOf(const CheckedList& list) const { return shifts_[list.activation ? 0 : 1]; }
  const CheckedList& ListOf(bool activate) const { return *lists_[activate ? 0 : 1]; }

  /// `moves`, then a press of each of `presses` (true: Activate), on the
  /// disk as it is; the run is left as the disk is.
  Trial Run(const std::vector<Move>& moves, const std::vector<bool>& presses);
  /// What the walk of `list` meets at pair `pair` (from 1), with the files
  /// where they are now.
  Outcome Try(const CheckedList& list, std::size_t pair);
  /// Where the list's `path` leads on disk now: from the mod's folder, as
  /// the disk spells what is there.
  std::string OnDisk(const std::string& path);
  /// Where the file `path` misses is instead: in a folder on its way's twin
  /// that differs only in case (as OnDisk spells it); "" when not.
  std::string InTwin(const std::string& path);

 private:
  Outcome Press(bool activate);
  Cause CauseOf(const CheckedList& list, const Outcome& outcome);
  Cause Taken(const CheckedList& list, std::size_t pair);
  std::string Misspelt(const CheckedList& list, std::size_t pair);
  std::string Where(const std::string& path);
  bool Present(const std::string& path);
  void Displace(Trial& trial, const std::vector<bool>& presses);

  Brennel brennel_;
  DryRun& run_;
  std::string here_;
  const CheckedList* lists_[2] = {nullptr, nullptr};
  Shift shifts_[2];
  std::map<std::string, std::vector<std::vector<std::string>>> twins_;  // by folder
};

/// "Activate" or "Deactivate".
inline const char* ButtonOf(bool activate) { return activate ? "Activate" : "Deactivate"; }

}  // namespace tavrik
