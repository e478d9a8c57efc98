// The buttons pressed on a dry run, and why each press stops.

#include "presses.h"

#include <algorithm>
#include <string_view>

#include "list_limits.h"
#include "list_path.h"
#include "shown_text.h"

namespace tavrik {

namespace {

// Whether two texts differ in a few characters at one place: a letter
// typed wrong, left out or doubled.
bool Close(std::string_view a, std::string_view b) {
  constexpr std::size_t kFew = 3;
  std::size_t head = 0, tail = 0;
  while (head < a.size() && head < b.size() && a[head] == b[head]) ++head;
  while (tail + head < a.size() && tail + head < b.size() &&
         a[a.size() - 1 - tail] == b[b.size() - 1 - tail]) {
    ++tail;
  }
  return a.size() - head - tail <= kFew && b.size() - head - tail <= kFew;
}

// What an error's text says after the path it names last.
std::string Reason(const std::string& text, const std::string& source, const std::string& target) {
  for (const std::string& path : {target, source}) {
    const std::size_t at = text.find("'" + path + "': ");
    if (at != std::string::npos) return text.substr(at + path.size() + 4);
  }
  return text;
}

// The moves by hand `move` gives (none where its `from` is empty) for the
// pairs from `pair` to the shift: every one at once, not one a check.
template <typename MoveOf>
std::vector<Move> Every(const CheckedList& list, std::size_t pair, const MoveOf& move) {
  std::vector<Move> moves;
  for (std::size_t at = pair; at < list.Unshifted(); ++at) {
    Move one = move(list.Source(at), list.Target(at));
    if (!one.from.empty()) moves.push_back(std::move(one));
  }
  return moves;
}

}  // namespace

// The last of the pairs before `pair`, all walked, that moved away its
// source (`away`) or put a file at its target: its number from 1, or 0.
std::size_t Presser::Earlier(const CheckedList& list, std::size_t pair, bool away) {
  const auto uses =
      UsesIn(list).Of(list.Key(away ? list.SourceEntry(pair) : list.TargetEntry(pair)));
  const auto last = std::ranges::lower_bound(uses, pair, {}, &PathUses::Use::first);
  if (last == uses.begin()) return 0;
  return (std::prev(last)->second & (away ? 1 : 2)) != 0 ? std::prev(last)->first + 1 : 0;
}

const PathUses& Presser::UsesIn(const CheckedList& list) {
  PathUses& uses = uses_[list.activation ? 0 : 1];
  if (uses.empty()) uses.Index(list);
  return uses;
}

std::string Presser::Where(const std::string& path) {
  return OrElse([&] { return run_.Facts(path).where; }, path);
}

std::string Presser::OnDisk(const std::string& path) { return FromHere(Where(path), here_); }

// A normal file the presence test finds; any entry at all.
bool Presser::Present(const std::string& path) {
  return OrElse([&] { return !run_.FindFile(path).empty(); }, false);
}

bool Presser::Found(const std::string& path) {
  return OrElse([&] { return run_.Facts(path).file_found; }, false);
}

Trial Presser::Run(const std::vector<Move>& moves, const std::vector<bool>& presses,
                   const std::function<bool(const Outcome&)>& after) {
  Trial trial;
  run_.Reset();
  run_.BeginWalk();
  trial.moved = Goes([&] {
    for (const Move& move : moves) run_.RenameFile(move.from, move.to);
  });
  run_.EndWalk();
  for (std::size_t i = 0; trial.moved && i < presses.size(); ++i) {
    const CheckedList& list = ListOf(presses[i]);
    Outcome& outcome = trial.presses.emplace_back(Walk(brennel_, presses[i], list, 0));
    // Stopped where nothing is left to move, not even in a folder's twin:
    // what the mod has is moved.
    const bool missing = outcome.result == Result::kMissing;
    outcome.done = outcome.result == Result::kComplete ||
                   (missing && outcome.pair > 0 && outcome.pair <= list.Unshifted());
    for (std::size_t pair = outcome.pair - 1; missing && outcome.done && pair < list.Unshifted();
         ++pair) {
      // Looking for it listed the folders on its way: twinless, none has a twin.
      outcome.done =
          !Present(list.Source(pair)) && (run_.Twinless() || InTwin(list.Source(pair)).empty());
    }
    if (i == 0 && after && !after(outcome)) break;
    if (i > 0) outcome.undone = Undone(presses[i - 1], moves.empty());
    if (i == 1 && moves.empty()) Displace(trial, presses);
  }
  run_.Reset();
  return trial;
}

void Presser::Both(bool idle, Trial& activate, Trial& deactivate) {
  Trial &first = idle ? activate : deactivate, &other = idle ? deactivate : activate;
  first = Run({}, {idle, !idle}, [](const Outcome& press) { return press.renames > 0; });
  // An idle first press left the disk as it is: the other button after it
  // does what it does pressed first, walked once.
  other = Run({}, {!idle, idle}, [&](const Outcome& press) {
    if (first.presses.size() == 1) {
      first.presses.push_back(press);
      first.presses.back().undone = Undone(idle, true);
      first.round_trip = run_.AllBack();
    }
    return true;
  });
}

// No file of the list of the button `pressed` is where that button puts one
// (pairs that rename nothing aside).
bool Presser::Undone(bool pressed, bool unmoved) {
  // Back on the disk as it was, where no target was there.
  if (no_targets_ && unmoved && pressed && run_.AllBack()) return true;
  const CheckedList& list = ListOf(pressed);
  const PathUses& uses = UsesIn(list);
  for (std::size_t pair = 0; pair < list.Unshifted(); ++pair) {
    const std::string& target = list.Key(list.TargetEntry(pair));
    // A target that an earlier pair's source is too, such as a game's file
    // moved aside before the mod's takes its name, is back when there.
    const bool source = std::ranges::any_of(
        uses.Of(target), [&](const auto& at) { return at.first <= pair && (at.second & 1) != 0; });
    if (!source && Present(list.Target(pair))) return false;
  }
  return true;
}

Outcome Presser::Try(const CheckedList& list, std::size_t pair) {
  Brennel one(run_);  // a walk of this pair alone
  one.colInputA = {list.Source(pair - 1), list.Target(pair - 1)};
  run_.Reset();
  const Outcome outcome = Walk(one, true, list, pair - 1);
  run_.Reset();
  return outcome;
}

// `brennel`'s walk for the button `activate`, its pairs told as those of
// `list` after the first `skipped`.
Outcome Presser::Walk(Brennel& brennel, bool activate, const CheckedList& list,
                      std::size_t skipped) {
  Outcome outcome;
  run_.messages.clear();
  run_.pair = 0;
  run_.TakeRenames();
  try {
    activate ? brennel.Command3_Click() : brennel.Command4_Click();
    outcome.result = !run_.messages.empty() ? Result::kMissing
                     : run_.pair > 0        ? Result::kComplete
                                            : Result::kNothing;
    if (!run_.messages.empty()) outcome.text = run_.messages.front();
  } catch (const Error& error) {
    outcome.result = Result::kError;
    outcome.text = "Error " + std::to_string(error.Number()) + ": " + error.Description();
    outcome.error = error.Number();
  }
  outcome.renames = run_.TakeRenames();
  if (outcome.result == Result::kNothing) {
    outcome.cause.fix = std::string("write the mod's pairs into ") + list.name +
                        (list.readable ? "" : ", or make it readable");
  }
  if (outcome.result != Result::kMissing && outcome.result != Result::kError) return outcome;
  outcome.pair = run_.pair > 0 ? skipped + run_.pair : 0;
  if (outcome.pair > 0) outcome.at = list.At(list.SourceEntry(outcome.pair - 1));
  outcome.cause = CauseOf(list, outcome);
  return outcome;
}

std::string ShiftFix(bool empty, const std::string& at) {
  return empty ? "take out the empty entry at " + at
               : "look at " + at + ": an entry beside it is missing, or it is one too many";
}

Cause ListRefusal(bool too_many) {
  if (too_many) {
    return {Kind::kTooManyEntries,
            "the list holds more than " + Thousands(kLongestWalk) + " entries",
            "split the mod, or take entries out"};
  }
  return {Kind::kTooMuchText,
          "the list holds more than " + std::to_string(kMaxListText >> 20) + " MiB of text",
          "take entries out, or make its paths shorter"};
}

Cause Presser::CauseOf(const CheckedList& list, const Outcome& outcome) {
  if (outcome.pair == 0) return ListRefusal(outcome.error == error_number::kOverflow);
  const std::size_t pair = outcome.pair - 1;
  const std::string &source = list.Source(pair), &target = list.Target(pair);
  const std::string number = "pair " + std::to_string(outcome.pair);
  if (const Shift& shift = list.shift; shift.entry > 0 && pair >= shift.pair) {
    const std::string at = list.At(shift.entry);
    return {shift.empty ? Kind::kEmptyEntry : Kind::kShiftedPairs,
            std::string(list.name) + "'s pairs are shifted by one entry from pair " +
                std::to_string(shift.pair + 1) + " on, at " + at +
                (shift.empty ? " (an empty entry)" : "") + ", so " + number + " joins " +
                Named(source) + " and " + Named(target),
            ShiftFix(shift.empty, at)};
  }
  if (outcome.result == Result::kMissing) return Missing(list, pair);
  const std::string reason = Reason(outcome.text, source, target);
  switch (FailureOf(outcome.error)) {
    case Failure::kAmbiguous:
      return {Kind::kAmbiguousName, reason,
              "merge the names it cannot tell apart into one (a game run on Windows sees only "
              "one), or spell the list exactly as one of them"};
    case Failure::kTaken: {
      if (const std::size_t earlier = Earlier(list, pair, false)) {
        // Where the other list moves files away from it at two pairs too, the
        // duplicate is in both: two files put at one place, or (here the
        // deactivation list) one file that the activation list moves twice.
        const std::string mirrored = Mirrored(list, list.TargetEntry(pair), false);
        return {Kind::kDuplicateTarget,
                "pair " + std::to_string(earlier) + " put a file at " + Named(target) +
                    " already (" + list.At(list.TargetEntry(earlier - 1)) + ")",
                mirrored.empty() ? "give " + number + " a target of its own"
                : list.activation
                    ? "give " + number + " a target of its own in both lists (" + mirrored + ")"
                    : "take pair " + std::to_string(earlier) + " or " + number +
                          " out of both lists (" + mirrored + ")",
                {},
                list.TargetEntry(pair)};
      }
      const std::string there = OnDisk(target);
      const bool folder = IsFolderPath(Where(target));
      return {Kind::kTargetTaken,
              (folder ? "a folder is already at " : "a file is already at ") + Named(there) +
                  ", where " + number + " moves " + Named(OnDisk(source)) +
                  (LastName(there) == LastName(target) ? "" : " (names match in any case)"),
              folder ? "move the folder " + Named(there) + " aside, or correct " +
                           list.At(list.TargetEntry(pair)) + " if the file is to go into it"
                     : "move " + Named(there) + " aside",
              Every(list, pair, [&](const auto& from, const auto& to) {
                return Present(from) && Found(to) ? Aside(OnDisk(to)) : Move{};
              })};
    }
    case Failure::kNotFound: {  // its source is there: the target's folder is not
      const std::string folder = Named(FolderOf(OnDisk(target)));
      return {Kind::kNoTargetFolder, "the folder " + folder + " of its target does not exist",
              "make the folder " + folder + ", or correct " + list.At(list.TargetEntry(pair))};
    }
    case Failure::kRefused: {
      const auto [why, fix] =
          RefusalCause(outcome.error, Where(source), FolderOf(Where(target)), here_);
      return {Kind::kRefused, why.empty() ? reason : why, fix};
    }
    default:
      return {Kind::kError, reason, ""};
  }
}

Cause Presser::Missing(const CheckedList& list, std::size_t pair) {
  const std::string &source = list.Source(pair), &target = list.Target(pair);
  if (source.empty()) {
    return {Kind::kEmptyEntry,
            "its source is an empty entry (" + list.At(list.SourceEntry(pair)) + ")",
            "take it out"};
  }
  if (Cause away = MovedAway(list, pair); away.kind != Kind::kNone) return away;
  if (Found(source) && IsFolderPath(Where(source))) {
    return {Kind::kMissingSource,
            Named(OnDisk(source)) + " is a folder, not a file: the walk moves only files",
            "correct " + list.At(list.SourceEntry(pair)) +
                " to name the file, or move the folder aside and put the file there"};
  }
  if (Found(source)) {
    return {Kind::kMissingSource,
            Named(OnDisk(source)) +
                " is there, but is no normal file (a folder, a link to nothing, a hidden or "
                "system file)",
            "put the file itself there"};
  }
  if (Present(target)) {
    // Files moved out of turn go back by hand, where no press of the other button gets them.
    return {Kind::kAlreadyMoved,
            "its file is at " + Named(OnDisk(target)) + " already, where " +
                ButtonOf(list.activation) + " puts it",
            "", Every(list, pair, [&](const auto& from, const auto& to) {
              return !Present(from) && Present(to) ? Move{OnDisk(to), OnDisk(from)} : Move{};
            })};
  }
  // The file in a folder's twin, under either name.
  std::string twin = InTwin(source);
  const bool by_source = !twin.empty();
  if (!by_source) twin = InTwin(target);
  if (!twin.empty()) {
    const std::string& by = by_source ? source : target;
    return {Kind::kSplitFolder,
            Named(by) + " is not there, but " + Named(twin) +
                " is: a folder on its way has a twin that differs only in case",
            "move the mod's files from the twin into " + Named(FolderOf(OnDisk(by))),
            Every(list, pair, [&](const auto& from, const auto& to) {
              const std::string& path = by_source ? from : to;
              const std::string there = Present(path) ? "" : InTwin(path);
              return there.empty() ? Move{} : Move{there, OnDisk(path)};
            })};
  }
  if (Cause misspelt = Misspelt(list, pair); misspelt.kind != Kind::kNone) return misspelt;
  // A folder that may not be listed hides a name in another case.
  for (const std::string* path : {&source, &target}) {
    if (const auto [why, fix] = UnreadableCause(Where(*path), here_); !why.empty()) {
      return {Kind::kMissingSource,
              "neither " + Named(source) + " nor " + Named(target) + " is there as spelled, and " +
                  why + " to find them in another case",
              fix};
    }
  }
  return {Kind::kMissingSource, "neither " + Named(source) + " nor " + Named(target) + " is there",
          // A path the walk reaches no folder of (from a drive, say) as the list spells it.
          "put the file there as " + Named(Where(source).empty() ? source : OnDisk(source)) +
              " (from the mod's archive, or its author), or take the pair out of both lists"};
}

Cause Presser::MovedAway(const CheckedList& list, std::size_t pair) {
  const std::size_t earlier = Earlier(list, pair, true);
  if (earlier == 0) return {};
  const std::string pairs =
      "pair " + std::to_string(earlier) + " or pair " + std::to_string(pair + 1);
  // Where the other list has the two pairs too, out of one list alone is
  // no way out: the deactivation list's source is where the activation
  // list puts two files, and one pair taken out of it leaves its file active.
  const std::string mirrored = Mirrored(list, list.SourceEntry(pair), true);
  return {Kind::kDuplicateSource,
          "pair " + std::to_string(earlier) + " moved " + Named(list.Source(pair)) +
              " away already (" + list.At(list.SourceEntry(earlier - 1)) + ")",
          mirrored.empty() ? "take " + pairs + " out of " + list.name
          : list.activation
              ? "take " + pairs + " out of both lists (" + mirrored + ")"
              : "give one of " + mirrored + " a target of its own in both lists: they put " +
                    "their files at " + Named(list.Source(pair)) + ", and taking a pair out of " +
                    list.name + " alone leaves its file active"};
}

// Where the other list's spelling is a few letters away and on disk, the
// other list is right and this one misspells it; where the other list's
// own walk put the file there, either may be the wrong one.
Cause Presser::Misspelt(const CheckedList& list, std::size_t pair) {
  const CheckedList& other = ListOf(!list.activation);
  const std::size_t pairs = other.Pairs();
  // In the same order, or the reverse when another pair of the lists says so.
  const std::size_t probe = pair == 0 ? 1 : 0;
  const bool reverse = pairs == list.Pairs() && probe < pairs &&
                       other.Key(2 * probe + 1) == list.Key(2 * (pairs - 1 - probe) + 1) &&
                       other.Key(2 * probe + 2) == list.Key(2 * (pairs - 1 - probe) + 2);
  for (const std::size_t ours : {list.SourceEntry(pair), list.TargetEntry(pair)}) {
    for (const std::size_t at : {pair, reverse ? pairs - 1 - pair : pairs}) {
      const std::size_t theirs = 2 * at + ours - 2 * pair;  // the same role
      if (at >= pairs || other.Entry(theirs) == list.Entry(ours) ||
          !Close(other.Entry(theirs), list.Entry(ours)) || !Present(other.Entry(theirs))) {
        continue;
      }
      // The pair's other entry is named where it too differs from the other list's.
      const std::size_t mate = 4 * pair + 3 - ours;
      const bool both = other.Entry(2 * at + mate - 2 * pair) != list.Entry(mate);
      const std::string key = NameKeyOf(OnDisk(other.Entry(theirs)));
      const bool made = std::ranges::any_of(run_.Moved(), [&](const auto& moved) {
        return NameKeyOf(FromHere(moved.second, here_)) == key;
      });
      return {Kind::kMisspelt,
              list.At(ours) + " spells " + Named(list.Entry(ours)) + " where " + other.At(theirs) +
                  " spells " + Named(other.Entry(theirs)) +
                  (made ? ", where " + std::string(ButtonOf(other.activation)) + " puts the file"
                        : ", which is there"),
              "correct " + list.At(ours) +
                  (made   ? " or " + other.At(theirs) + ", whichever misspells it"
                   : both ? " and " + list.At(mate)
                          : ""),
              {},
              ours};
    }
  }
  return {};
}

// The other list's pairs that `entry` of `list` is a path of, where they
// are two or more: "pairs 4 and 9 of Tavrik.mld"; "" where not. A source
// here (`source`) is a target there: each list walks the paths its own way.
std::string Presser::Mirrored(const CheckedList& list, std::size_t entry, bool source) {
  const CheckedList& other = ListOf(!list.activation);
  std::vector<std::size_t> pairs;
  for (const auto& [pair, roles] : UsesIn(other).Of(list.Key(entry))) {
    if ((roles & (source ? 2 : 1)) != 0) pairs.push_back(pair + 1);
  }
  if (pairs.size() < 2) return "";
  return PairsText(pairs) + " of " + other.name;
}

std::vector<std::string> Presser::TwinsOf(std::string_view folder, std::string_view name) {
  auto known = twins_.find(folder);
  if (known == twins_.end()) {
    // Kept for the folders of the last few pairs, not for every folder of a long list.
    constexpr std::size_t kFoldersKept = 4096;
    if (twins_.size() >= kFoldersKept) twins_.clear();
    known =
        twins_.emplace(folder, run_.CaseTwins(std::string(folder.empty() ? "/" : folder))).first;
  }
  for (std::vector<std::string> group : known->second) {
    const auto self = std::find(group.begin(), group.end(), name);
    if (self == group.end()) continue;
    group.erase(self);
    return group;
  }
  return {};
}

std::string Presser::InTwin(const std::string& path) {
  const std::string where = Where(path), start = FolderOf(where);
  if (untwinned_.contains(start)) return "";
  bool twinned = false;
  for (std::string folder = start; folder.size() > here_.size(); folder = FolderOf(folder)) {
    const std::string parent = FolderOf(folder);
    for (const std::string& twin : TwinsOf(parent, LastName(folder))) {
      twinned = true;
      const std::string there = parent + folder[parent.size()] + twin + where.substr(folder.size());
      if (Present(there)) return FromHere(there, here_);
    }
  }
  if (!twinned) untwinned_.insert(start);
  return "";
}

// Why each file the two presses leave elsewhere ends where it does: found
// from the rename that put it there, the latest whose new name is its name.
void Presser::Displace(Trial& trial, const std::vector<bool>& presses) {
  trial.round_trip = run_.AllBack();
  if (trial.round_trip || trial.presses[0].renames == 0) return;
  std::map<std::string, std::pair<int, std::size_t>> made;  // by new name: press, pair
  for (int press = 0; press < 2; ++press) {
    const CheckedList& list = ListOf(presses[press]);
    const Outcome& outcome = trial.presses[press];
    const std::size_t walked = outcome.result == Result::kComplete
                                   ? list.Pairs()
                                   : std::max<std::size_t>(outcome.pair, 1) - 1;
    for (std::size_t pair = 0; pair < walked; ++pair) {
      made[std::string(WithoutTrailingDots(LastName(list.Target(pair))))] = {press, pair};
    }
  }
  const Outcome& second = trial.presses[1];
  for (const auto& [from, to] : run_.Moved()) {
    Displaced file{from, to, ""};
    if (const auto found = made.find(LastName(to)); found != made.end()) {
      const auto [press, pair] = found->second;
      const CheckedList& list = ListOf(presses[press]);
      const std::string where = list.At(list.TargetEntry(pair));
      // The same folder, a name that differs only in case.
      const bool respelled =
          FolderOf(from) == FolderOf(to) && NameKeyOf(LastName(from)) == NameKeyOf(LastName(to));
      file.cause = respelled ? std::string(ButtonOf(presses[press])) +
                                   " makes it in the list's spelling, " + Named(LastName(to)) +
                                   ", which differs from the disk's in case: spell it " +
                                   Named(LastName(from)) + " at " + where
                   : press == 1 ? "pair " + std::to_string(pair + 1) + " of " + list.name + " (" +
                                      where + ") moves it there, not back"
                   : second.result != Result::kComplete && second.pair > 0
                       ? std::string(ButtonOf(presses[1])) + " stops at pair " +
                             std::to_string(second.pair) + " and does not get it back"
                       : std::string("no pair of ") + ListOf(presses[1]).name + " moves it back";
    }
    trial.displaced.push_back(std::move(file));
  }
}

}  // namespace tavrik
