// The first three lines of a report: the state of the mod, why (what stops
// its walk first), and "To ...: ..." with what to do, which the dry runs
// proved to the end.

#include <algorithm>
#include <iterator>
#include <numeric>
#include <optional>

#include "check.h"
#include "shown_text.h"

namespace tavrik {

namespace {

// Moves by hand named in the third line; --moves prints them all.
constexpr std::size_t kNamedMoves = 3;

// A state a whole walk leaves: every file in one place (or in neither).
bool Settled(State state) {
  return state == State::kInactive || state == State::kActive || state == State::kIncomplete;
}

// Whether the way out starts with Deactivate: the mod is active, or partly.
bool BackFirst(const CheckReport& report) {
  return report.state == State::kActive || report.state == State::kDeactivationStopped ||
         (report.state == State::kBothNames && !report.moved.empty());
}

// How a press ends, after "Activate would".
std::string Ends(const Outcome& outcome) {
  if (outcome.result == Result::kNothing) return "do nothing: its list has no pair";
  if (outcome.result == Result::kComplete) {
    return "run to its end (" + Counted(outcome.renames, "rename") + ")";
  }
  if (outcome.pair == 0) return "refuse the list: " + outcome.cause.text;
  return "stop at pair " + std::to_string(outcome.pair) + ", after " +
         Counted(outcome.renames, "rename") + ": " + outcome.cause.text;
}

// What the button for a state does, and whether the other one then puts
// every file back.
std::string Prediction(bool activate, const Trial& trial) {
  const std::string other = ButtonOf(!activate);
  std::string why = std::string(ButtonOf(activate)) + " would " + Ends(trial.from_now());
  if (trial.from_now().result != Result::kComplete) return why + ".";
  if (trial.round_trip) {
    const Outcome& back = trial.then_other();
    return why + ", and " + other + " after it would put every file back" +
           (back.result == Result::kMissing ? ", but stop at pair " + std::to_string(back.pair) +
                                                  " with the box " + Named(back.text, '"') + "."
                                            : ".");
  }
  if (trial.then_other().result != Result::kComplete) {
    return why + ", but " + other + " after it would " + Ends(trial.then_other()) + ".";
  }
  why += ", but " + other + " after it would not put every file back";
  if (trial.displaced.empty()) return why + ".";
  const Displaced& first = trial.displaced.front();
  const std::size_t more = trial.displaced.size() - 1;
  return why + ": " + Named(first.from) + " would end as " + Named(first.to) +
         (first.cause.empty() ? "" : " (" + first.cause + ")") +
         (more > 0 ? ", and " + Counted(more, "more file") : "") + ".";
}

// "the file of pair 5 is", "the files of pairs 1-4 are": `pairs`, or else pairs 1 to `upto`.
std::string FilesOf(std::vector<std::size_t> pairs, const char* one, const char* more,
                    std::size_t upto = 0) {
  if (upto > 0) pairs.resize(upto), std::iota(pairs.begin(), pairs.end(), 1);
  return (pairs.size() == 1 ? "the file of " : "the files of ") + PairsText(pairs) +
         (pairs.size() == 1 ? one : more);
}

// The files in neither place; those in a folder's twin are no lost files.
std::string Missing(const CheckReport& report) {
  const std::size_t missing = report.missing.size(), twins = report.in_twins.size();
  const std::string text =
      FilesOf(report.missing, " is in neither of its places", " are in neither of their places");
  if (twins == 0) return text;
  return text + ": " + (twins == missing ? "" : Thousands(twins) + " of them ") +
         (missing == 1       ? "it is"
          : twins == missing ? "they are"
                             : "are") +
         " in a twin of a folder on the way, which differs only in case";
}

std::string Summary(const CheckReport& report, const ModState& state) {
  const std::string told =
      " (" + Counted(report.pairs, "pair") + (report.shift_at.empty() ? ")" : " before the shift)");
  const std::string missing = report.missing.empty() ? "" : "; " + Missing(report);
  const std::string stop = "pair " + std::to_string(report.stop);
  const std::string before = report.stop > 1 ? FilesOf({}, " is", " are", report.stop - 1) : "";
  switch (report.state) {
    case State::kNoLists:
      return "neither Tavrik.mla nor Tavrik.mld is here (or can be read): both buttons would "
             "do nothing";
    case State::kInactive:
      if (report.pairs == 0 && report.shift_at.empty()) {
        return "the activation list has no pair: there is nothing to move";
      }
      return state.by_activation ? "every file is where the activation list starts it" + told
                                 : "every file is where a whole deactivation leaves it" + told;
    case State::kIncomplete:
      return "no file is moved, but " + Missing(report);
    case State::kActive:
      return (missing.empty() ? "every file is" : "every file there is") +
             std::string(" where a whole activation leaves it") + told + missing;
    case State::kActivationStopped:
      return before + " moved and those after not, as Activate leaves them when it stops at " +
             stop +
             (report.stop == report.shift_pair
                  ? ", where the pairs start to be shifted by one entry (" + report.shift_at + ")"
                  : " of " + std::to_string(report.pairs)) +
             missing;
    case State::kDeactivationStopped:
      return "by Tavrik.mld, " + before +
             " back and those after not, as Deactivate leaves them when it stops at " + stop +
             missing;
    case State::kBothNames: {
      const std::vector<std::size_t> unmoved = state.At(PairPlace::kFirst);
      return "a file is at both paths of " + PairsText(report.both) +
             (unmoved.empty() && report.moved.empty() ? ""
              : report.moved.empty()
                  ? "; the other pairs' files are where the activation list starts them"
              : unmoved.empty()
                  ? "; the other pairs' files are where a whole activation leaves them"
                  : "; of the other pairs, " + FilesOf(report.moved, " is", " are") +
                        " moved and " + FilesOf(unmoved, " is", " are") + " not") +
             missing;
    }
    case State::kAmbiguous:
      // A walk that stops at such a pair for another cause, a folder that
      // may not be read, tells why it cannot be told.
      for (const Trial* trial : {&report.activate, &report.deactivate}) {
        const Outcome& press = trial->from_now();
        if (press.result == Result::kError && !press.cause.text.empty() &&
            FailureOf(press.error) != Failure::kAmbiguous &&
            std::ranges::find(report.unknown, press.pair) != report.unknown.end()) {
          return "where " + FilesOf(report.unknown, " is", " are") +
                 " cannot be told: " + press.cause.text;
        }
      }
      return "where " + FilesOf(report.unknown, " is", " are") + " cannot be told: " +
             (report.unmeant.reason == "unreadable-folder"
                  ? "a folder on the way may not be read"
                  : "a name on the way matches several on disk that differ only in case");
    case State::kMixed:
      return FilesOf(report.moved, " is", " are") + " moved and " +
             FilesOf(state.At(PairPlace::kFirst), " is", " are") +
             " not: no walk of either list, whole or stopped, leaves them so from an inactive or "
             "active mod" +
             missing;
  }
  return "";
}

// Why most pairs of a list name no file: before what a press would do, which follows from it.
std::string Unmeant(const tavrik::Unmeant& unmeant) {
  std::string told = unmeant.pairs == 1 ? "The one pair of " + unmeant.list +
                                              " names no file on disk: "
                     : unmeant.nothing == unmeant.pairs
                         ? "None of the " + Counted(unmeant.pairs, "pair") + " of " + unmeant.list +
                               " names a file on disk: "
                         : Thousands(unmeant.nothing) + " of the " +
                               Counted(unmeant.pairs, "pair") + " of " + unmeant.list +
                               " name no file on disk: ";
  return told + unmeant.text + ".";
}

// The entries left over at the end of a list, not from a shift: a list cut off.
std::vector<const Finding*> CutOff(const CheckReport& report) {
  std::vector<const Finding*> cut;
  for (const Finding& finding : report.findings) {
    if (finding.kind == Kind::kOddEntry && finding.under.empty()) cut.push_back(&finding);
  }
  return cut;
}

// "Tavrik.mla's last entry, 'Data\x.off' (Tavrik.mla:5:1), has no partner"
std::string Partnerless(const Finding& cut, Presser& presser) {
  const CheckedList& list = presser.ListOf(cut.list == kActivationListFile);
  return cut.list + "'s last entry, " + Named(list.Entry(cut.entry)) + " (" + list.At(cut.entry) +
         "), has no partner";
}

// What stops the walk, or what the button for the state would do.
std::string WhyOf(const CheckReport& report, const ModState& state, Presser& presser) {
  const bool activation = report.state == State::kActivationStopped;
  if (activation || report.state == State::kDeactivationStopped) {
    const Outcome stop = presser.Try(presser.ListOf(activation), report.stop);
    const std::string pair = "pair " + std::to_string(report.stop);
    return stop.result == Result::kComplete
               ? "Nothing stops " + pair + " now: what stopped the walk is gone."
               : std::string("What stops ") + ButtonOf(activation) + " at " + pair + ": " +
                     stop.cause.text + ".";
  }
  if (report.state == State::kMixed) {  // the first pair not moved; a moved one, after it if any
    const std::vector<PairPlace>& places = state.places;
    const auto first = std::ranges::find(places, PairPlace::kFirst);
    auto moved = std::find(first, places.end(), PairPlace::kSecond);
    if (moved == places.end()) moved = std::ranges::find(places, PairPlace::kSecond);
    if (first != places.end() && moved != places.end()) {
      const std::size_t pair = moved - places.begin();
      return "Pair " + std::to_string(pair + 1) + "'s file is at " +
             Named(presser.OnDisk(presser.ListOf(state.by_activation).Second(pair))) +
             (state.by_activation ? ", where Activate puts it"
                                  : ", where Deactivate takes it from") +
             ", while pair " + std::to_string(first - places.begin() + 1) + "'s is not moved.";
    }
  }
  return BackFirst(report) ? Prediction(false, report.deactivate)
                           : Prediction(true, report.activate);
}

std::string Why(const CheckReport& report, const ModState& state, Presser& presser) {
  if (report.state == State::kNoLists) {
    return "A mod's folder holds the two lists its author wrote; this one holds neither.";
  }
  if (!report.unmeant.list.empty()) return Unmeant(report.unmeant);
  std::string cut;  // said before the rest: the walks below leave that file where it is
  for (const Finding* finding : CutOff(report)) {
    const bool activation = finding->list == kActivationListFile;
    cut += Partnerless(*finding, presser) + ", so " + ButtonOf(activation) +
           (activation ? " never moves that file. " : " never moves that file back. ");
  }
  return cut + WhyOf(report, state, presser);
}

// A way out: moves by hand, then presses (the goal's button last), then the other button.
struct Plan {
  bool goal = true;  // activated, or else deactivated
  std::vector<bool> presses;
  std::vector<Move> moves = {};
  Trial trial = {};
  bool alive = true;
  const Outcome& last() const { return trial.presses[presses.size() - 2]; }
  const Outcome& back() const { return trial.presses[presses.size() - 1]; }
};

// A plan in words: the goal, the steps, and what the other button then does
// where it cannot take the mod out again whole.
std::string Told(CheckReport& report, const Plan& plan) {
  const Outcome &last = plan.last(), &back = plan.back();
  std::string told = plan.goal ? "To activate the mod: " : "To deactivate the mod: ";
  if (last.result == Result::kMissing && plan.goal) {  // those before it are there, or moved in
    std::vector<std::size_t> missing;
    std::copy_if(report.missing.begin(), report.missing.end(), std::back_inserter(missing),
                 [&](std::size_t pair) { return pair >= last.pair; });
    // A stop at a file moved in already leaves the whole mod in.
    if (missing.empty() && !std::ranges::binary_search(report.moved, last.pair)) {
      missing.push_back(last.pair);
    }
    if (!missing.empty()) {
      told = "To activate what the mod has (" + FilesOf(missing, " is missing)", " are missing)") +
             ": ";
    }
  }
  const std::vector<Move>& moves = report.moves = plan.moves;
  bool shortened = moves.size() > kNamedMoves;  // --moves names what the line does not
  for (std::size_t i = 0; i < moves.size() && i < kNamedMoves; ++i) {
    const std::string from = Named(moves[i].from), to = Named(moves[i].to);
    told += (i == 0 ? "move " : i + 1 == moves.size() ? " and " : ", ") + from + " to " + to;
    shortened |= from.size() + to.size() < moves[i].from.size() + moves[i].to.size() + 4;
  }
  if (moves.size() > kNamedMoves)
    told += " and " + Counted(moves.size() - kNamedMoves, "more file");
  if (!moves.empty())
    told += shortened ? " (brennel-check --moves prints every move), then " : ", then ";
  for (std::size_t i = 0; i + 1 < plan.presses.size(); ++i) {
    const Outcome& outcome = plan.trial.presses[i];
    told += (i == 0 ? "press " : ", then ") + std::string(ButtonOf(plan.presses[i]));
    if (outcome.result == Result::kMissing) {
      told += " (it moves " + Counted(outcome.renames, "file") + " and stops at pair " +
              std::to_string(outcome.pair) + "; the box " + Named(outcome.text) + " is expected)";
    }
  }
  // Pressing Activate again is what a user tries first.
  const Outcome& alone = report.activate.from_now();
  if (plan.presses.size() > 2 && plan.goal && alone.result != Result::kComplete && alone.pair > 0) {
    told += "; Activate alone stops at pair " + std::to_string(alone.pair);
  }
  const std::string other = ButtonOf(!plan.goal);
  if (back.done && !back.undone) {  // it runs, but leaves files where the goal's walk put them
    const bool said = report.why.find("would not put every file back") != std::string::npos;
    told += "; but then " + other + " would not " +
            (plan.goal ? "take it all out" : "put it all in") + (said ? " (said above)" : "");
  } else if (!back.done) {
    const bool said = back.pair > 0 && report.why.find(back.cause.text) != std::string::npos;
    told += "; but then " + other + " would " +
            (said ? "stop at pair " + std::to_string(back.pair) + " (said above)" : Ends(back)) +
            (back.cause.fix.empty() ? "" : "; for it to go through, first, " + back.cause.fix);
  } else if (moves.empty() && plan.presses.size() == 2 && !plan.trial.displaced.empty() &&
             Settled(report.state)) {
    // Respelled, say; told only from a mod whose files were in one place: after
    // a stopped walk, files that end elsewhere than they were are the way out.
    told += "; " + other + (plan.goal ? " then takes it out" : " then puts it in") +
            ", but leaves " + Counted(plan.trial.displaced.size(), "file") +
            " under other names (said above)";
  }
  return told + ".";
}

std::string Next(CheckReport& report, const ModState& state, Presser& presser) {
  if (report.state == State::kNoLists) {
    return "To check a mod: run brennel-check in the mod's folder, or name the folder.";
  }
  if (!report.unmeant.list.empty()) {  // no press does what the author meant: the cause first
    return (report.unmeant.folder ? "To read the folder: " : "To fix the list: ") +
           report.unmeant.fix + "; then check again.";
  }
  if (!report.shift_at.empty()) {  // the pairs after it join the wrong files: the list first
    const Outcome& back = report.deactivate.from_now();
    std::string first;
    if (!report.moved.empty() && back.done) {
      first = "press Deactivate first (it moves " + Counted(back.renames, "file") + " back" +
              (back.result == Result::kMissing ? "; the box " + Named(back.text) + " is expected"
                                               : "") +
              "), then ";
    }
    return "To fix the list: " + first + ShiftFix(report.shift_empty, report.shift_at) + ".";
  }
  // A cut-off activation list never puts its last file in: the list first. A
  // deactivation list's alone the advice below tells, in what Deactivate then leaves.
  if (const std::vector<const Finding*> cut = CutOff(report);
      !cut.empty() && cut[0]->list == kActivationListFile) {
    std::string told = cut.size() > 1 ? "To fix the lists: give " : "To fix the list: give ";
    for (const Finding* finding : cut) {
      const CheckedList& list = presser.ListOf(finding->list == kActivationListFile);
      told += (finding == cut[0] ? "" : " and ") + Named(list.Entry(finding->entry)) + " (" +
              list.At(finding->entry) + ")";
    }
    return told + (cut.size() > 1 ? " each a partner" : " a partner") +
           ", the path it is moved to, or take " + (cut.size() > 1 ? "them" : "it") + " out.";
  }
  // Pairs pasted twice: every one of them at once, where a walk would stop at the first.
  std::string repeated;
  std::vector<std::size_t> told_repeats, told_originals;
  for (const bool activation : {true, false}) {
    const CheckedList& list = presser.ListOf(activation);
    if (!list.readable) continue;
    std::vector<std::size_t> repeats, originals;
    for (std::size_t pair = 0; pair < list.Unshifted(); ++pair) {
      if (const std::size_t earlier = Repeated(list, presser.UsesIn(list), pair)) {
        repeats.push_back(pair + 1);
        originals.push_back(earlier);
      }
    }
    if (repeats.empty()) continue;
    std::ranges::sort(originals);
    originals.erase(std::unique(originals.begin(), originals.end()), originals.end());
    if (!repeated.empty() && repeats == told_repeats && originals == told_originals) {
      repeated.replace(repeated.find(" out of Tavrik.mla"), 18, " out of both lists");
      continue;
    }
    repeated += (repeated.empty() ? "take " : ", and ") + PairsText(repeats) + " out of " +
                list.name + " (" + (repeats.size() == 1 ? "it repeats " : "they repeat ") +
                PairsText(originals) + ")";
    told_repeats = std::move(repeats), told_originals = std::move(originals);
  }
  if (!repeated.empty()) {
    return "To fix the lists: " + repeated +
           ": a walk stops with a box at the first repeat, its file moved away already.";
  }
  if (report.state == State::kBothNames) {  // which copy is the mod's, only the player knows
    const CheckedList& list = presser.ListOf(state.by_activation);
    const std::size_t pair = report.both.front() - 1, more = report.both.size() - 1;
    return "To keep one version of each file: both copies are there, " +
           Named(presser.OnDisk(list.First(pair))) + " and " +
           Named(presser.OnDisk(list.Second(pair))) +
           (more > 0 ? " and those of " + Counted(more, "more pair") +
                           " (brennel-check --all names them)"
                     : "") +
           "; decide which to keep, take the other out of the mod's folder, and check again.";
  }
  if (report.pairs == 0) return "To make a mod: write its pairs into Tavrik.mla and Tavrik.mld.";
  // The other goal too, where the state is not one of the two a button leaves.
  std::vector<bool> goals = {!BackFirst(report), BackFirst(report)};
  if (Settled(report.state)) goals.pop_back();
  std::optional<Plan> reached;  // the first to get there, when none gets back
  Cause blocking;               // what stops the first goal
  // For each goal, its plans as the disk is, then with the moves by hand
  // that what stopped each calls for.
  for (const bool goal : goals) {
    Plan plans[] = {{goal, {goal, !goal}}, {goal, {!goal, goal, !goal}}};
    for (int round = 0; round < 3; ++round) {
      for (Plan& plan : plans) {
        if (!plan.alive) continue;
        const bool detour = plan.presses.size() > 2;
        // The report's own trials press each button and then the other.
        plan.trial = plan.moves.empty() && !detour ? (goal ? report.activate : report.deactivate)
                                                   : presser.Run(plan.moves, plan.presses);
        // A detour that moves nothing is no step.
        plan.alive = plan.trial.moved && (!detour || plan.trial.presses[0].renames > 0);
        if (!plan.alive) continue;
        // What fails the plan: a detour that errs, the goal's press when it
        // leaves files to move, or the other button after it.
        const Outcome& first = plan.trial.presses[0];
        const bool erred = detour && first.result == Result::kError;
        // A press that stops at a missing file before it moves any is no way
        // to the goal: what it misses is to be dealt with first.
        const bool idle =
            plan.moves.empty() && !detour && first.result == Result::kMissing && first.renames == 0;
        const bool through = !erred && !idle && plan.last().done;
        if (through && plan.back().done && plan.back().undone) return Told(report, plan);
        if (through && !reached && goal == goals[0]) reached = plan;
        const Cause& cause = (erred ? first : through ? plan.back() : plan.last()).cause;
        if (goal == goals[0] &&
            (blocking.kind == Kind::kNone || blocking.kind == Kind::kAlreadyMoved)) {
          blocking = cause;  // more than files it finds moved already
        }
        // Of a file at each path, the one where the goal puts the mod's goes aside.
        std::vector<Move> wanted = cause.moves;
        if (cause.kind == Kind::kTargetTaken && !report.both.empty()) {
          const CheckedList& list = presser.ListOf(state.by_activation);
          wanted.clear();
          for (const std::size_t pair : report.both) {
            wanted.push_back(
                Aside(presser.OnDisk(goal ? list.Second(pair - 1) : list.First(pair - 1))));
          }
        }
        const std::size_t had = plan.moves.size();
        for (const Move& move : wanted) {
          if (std::find(plan.moves.begin(), plan.moves.end(), move) == plan.moves.end()) {
            plan.moves.push_back(move);
          }
        }
        plan.alive = plan.moves.size() > had;
      }
    }
  }
  if (reached) return Told(report, *reached);
  return std::string(goals[0] ? "To activate the mod: " : "To deactivate the mod: ") + "first, " +
         (blocking.fix.empty() ? "deal with what stops it" : blocking.fix) +
         "; then check again: as things are, no press of the buttons does it (tried on a dry "
         "run).";
}

}  // namespace

void Advise(CheckReport& report, const ModState& state, Presser& presser) {
  report.summary = Summary(report, state);
  report.why = Why(report, state, presser);
  report.next = Next(report, state, presser);
}

}  // namespace tavrik
