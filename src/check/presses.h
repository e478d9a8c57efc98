#pragma once

// The buttons pressed on a dry run: how each press ends and why it stops,
// and which files do not come back and why.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <span>
#include <string>
#include <string_view>
#include <unordered_set>
#include <utility>
#include <vector>

#include "checked_list.h"
#include "dry_run.h"
#include "findings.h"
#include "launcher.h"
#include "mod_state.h"

namespace tavrik {

enum class Result : unsigned char { kNothing, kComplete, kMissing, kError };
inline constexpr const char* kResultNames[] = {"nothing", "complete", "missing", "error"};
inline const char* NameOf(Result result) { return kResultNames[static_cast<int>(result)]; }

/// A file to move by hand: paths from the mod's folder, as the disk spells them.
struct Move {
  std::string from, to;
  friend bool operator==(const Move&, const Move&) = default;
};
/// The file at `path` moved out of the way, beside itself.
inline Move Aside(const std::string& path) { return {path, path + ".aside"}; }

/// Why a press stops, or a pair's file is not where it should be.
struct Cause {
  Kind kind = Kind::kNone;
  std::string text;              // what stops it
  std::string fix;               // what to do; "" when nothing is to be done
  std::vector<Move> moves = {};  // moves by hand that take it away
  std::size_t entry = 0;         // the entry it is about, from 1; 0: the pair's source
};

struct Outcome {
  Result result = Result::kNothing;
  std::size_t pair = 0;    // the pair that stopped it, from 1; 0 when none did
  std::string text;        // the box's text
  std::int64_t error = 0;  // the error's number
  std::size_t renames = 0;
  std::string at;     // where the stopping pair's source stands: "Tavrik.mla:5:1"
  Cause cause;        // why it stopped
  bool done = false;  // afterwards, no file is left for this button to move
  // After another press: no file of that press's list is left where it put one.
  bool undone = false;
};

/// A file that a button and then the other leave elsewhere than it was.
struct Displaced {
  std::string from, to;  // as the disk spells them
  std::string cause;     // why, and the fix; "" when unknown
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

/// Why the walk refuses a list whole: more entries than it takes, or else more text.
Cause ListRefusal(bool too_many);
/// What to do about a shift of the pairs at `at`: an empty entry's, or else a line's.
std::string ShiftFix(bool empty, const std::string& at);

/// `look()`, or `otherwise` where it throws: what a name on the way hides cannot be told.
template <typename Look, typename T>
T OrElse(const Look& look, T otherwise) {
  try {
    return look();
  } catch (const Error&) {
    return otherwise;
  }
}
/// Whether `act()` goes through without an Error.
template <typename Act>
bool Goes(const Act& act) {
  return OrElse([&] { return act(), true; }, false);
}

inline const char* ButtonOf(bool activate) { return activate ? "Activate" : "Deactivate"; }

/// The tool's own Brennel over a dry run, and what its presses mean. Paths
/// on disk are told from `here`, the working directory.
class Presser {
 public:
  Presser(DryRun& run, std::string here) : brennel_(run), run_(run), here_(std::move(here)) {}

  Brennel& brennel() { return brennel_; }
  /// The lists, once loaded into brennel().
  void Know(const CheckedList& activation, const CheckedList& deactivation) {
    lists_[0] = &activation;
    lists_[1] = &deactivation;
  }
  const CheckedList& ListOf(bool activate) const { return *lists_[activate ? 0 : 1]; }
  /// No target of the activation list is on the disk as it is.
  void KnowNoTargets() { no_targets_ = true; }

  /// `moves`, then each of `presses` (true: Activate), from the disk as it
  /// is; `after` sees the first press's outcome, false ends there.
  Trial Run(const std::vector<Move>& moves, const std::vector<bool>& presses,
            const std::function<bool(const Outcome&)>& after = nullptr);
  /// Each button pressed now, then the other; `idle`: the button likelier
  /// to rename nothing, whose trial then costs no walk of its own.
  void Both(bool idle, Trial& activate, Trial& deactivate);
  /// What the walk of `list` meets at `pair` (from 1), the files where they are now.
  Outcome Try(const CheckedList& list, std::size_t pair);
  /// Why the source of `pair` (from 0) is not there, on the run as it is.
  Cause Missing(const CheckedList& list, std::size_t pair);
  /// The earlier pair that moves the source of `pair` (from 0) away, as a
  /// cause; none (no kind) when no pair does.
  Cause MovedAway(const CheckedList& list, std::size_t pair);
  /// Where the list's `path` leads, from the mod's folder, as the disk spells it.
  std::string OnDisk(const std::string& path);
  /// Where the file `path` misses is, in a twin (a name differing only in
  /// case) of a folder on its way; "" when not.
  std::string InTwin(const std::string& path);
  /// The names of `folder` (from the root) that differ from `name` only in case.
  std::vector<std::string> TwinsOf(std::string_view folder, std::string_view name);
  /// The paths `list`'s pairs use, worked out once.
  const PathUses& UsesIn(const CheckedList& list);

 private:
  Outcome Walk(Brennel& brennel, bool activate, const CheckedList& list, std::size_t skipped);
  Cause CauseOf(const CheckedList& list, const Outcome& outcome);
  Cause Misspelt(const CheckedList& list, std::size_t pair);
  std::string Mirrored(const CheckedList& list, std::size_t entry, bool source);
  std::size_t Earlier(const CheckedList& list, std::size_t pair, bool away);
  std::string Where(const std::string& path);
  bool Present(const std::string& path);
  bool Found(const std::string& path);
  bool Undone(bool pressed, bool unmoved);
  void Displace(Trial& trial, const std::vector<bool>& presses);

  Brennel brennel_;
  DryRun& run_;
  std::string here_;
  const CheckedList* lists_[2] = {nullptr, nullptr};
  std::map<std::string, std::vector<std::vector<std::string>>, std::less<>> twins_;  // by folder
  std::unordered_set<std::string> untwinned_;  // folders with no twin on their way from here
  PathUses uses_[2];                           // by list
  bool no_targets_ = false;
};

}  // namespace tavrik
