#include "advice.h"

#include <algorithm>

#include "shown_text.h"

namespace tavrik {

namespace {

// Paths named in one step; the rest are counted.
constexpr std::size_t kNamedPaths = 3;

std::string Renames(std::size_t count) {
  return std::to_string(count) + (count == 1 ? " rename" : " renames");
}

std::string Files(std::size_t count) {
  return std::to_string(count) + (count == 1 ? " file" : " files");
}

bool Has(const std::vector<std::size_t>& pairs, std::size_t pair) {
  return std::find(pairs.begin(), pairs.end(), pair) != pairs.end();
}

const Blocker* BlockerAt(const CheckReport& report, std::size_t pair) {
  for (const Blocker& blocker : report.blocking) {
    if (blocker.pair == pair) return &blocker;
  }
  return nullptr;
}

std::string InTheWay(const Blocker& blocker) {
  return Named(blocker.path) + " is in the way of pair " + std::to_string(blocker.pair) +
         (blocker.own ? " (a file of this mod's other pairs)"
                      : ", and it is not this mod's file (another mod's?)");
}

// How a press of `button` ends, in a few words after "Activate would".
std::string Ends(const char* button, const Outcome& outcome, const CheckReport& report) {
  if (outcome.result == "nothing") return "do nothing: its list has no pair";
  if (outcome.result == "complete") return "run to its end (" + Renames(outcome.renames) + ")";
  const std::size_t pair = outcome.pair.value_or(0);
  std::string ends =
      "stop at pair " + std::to_string(pair) + ", after " + Renames(outcome.renames) + ": ";
  const Blocker* blocker = std::string(button) == "Activate" ? BlockerAt(report, pair) : nullptr;
  if (outcome.result == "error" && blocker != nullptr) return ends + InTheWay(*blocker);
  if (outcome.result == "error" && !outcome.pair) {
    return "refuse the list: \"" + outcome.text.value_or("") + "\"";
  }
  return ends + "\"" + outcome.text.value_or("") + "\"" +
         (outcome.result == "error" ? ", and the tool then ends" : "");
}

// What the button for a clean state does, and whether the other one then
// puts every file back.
std::string Prediction(bool activate, const ButtonRun& run, const CheckReport& report) {
  const char* button = ButtonOf(activate);
  std::string why = std::string(button) + " would " + Ends(button, run.from_now, report);
  if (run.from_now.result != "complete") return why + ".";
  if (run.round_trip) {
    return why + ", and " + ButtonOf(!activate) + " after it would put every file back.";
  }
  why += ", but " + std::string(ButtonOf(!activate)) + " after it would not put every file back";
  if (run.displaced.empty()) return why + ".";
  const Displaced& first = run.displaced.front();
  why += ": " + Named(first.from) + " would end as " + Named(first.to);
  if (!first.cause.empty()) why += " (" + first.cause + ")";
  const std::size_t more = run.displaced.size() - 1 + run.displaced_unnamed;
  if (more > 0) why += ", and " + std::to_string(more) + (more == 1 ? " more file" : " more files");
  return why + ".";
}

std::string Why(const CheckReport& report, const ModState& state, const CheckedList& basis) {
  if (report.state == "inactive") return Prediction(true, report.activate, report);
  if (report.state == "active") return Prediction(false, report.deactivate, report);
  if (report.state == "mixed") {
    const std::size_t pair = state.disagreeing.front();
    return "Pair " + std::to_string(pair) + "'s file is at " + Named(basis.Second(pair - 1)) +
           ", not at " + Named(basis.First(pair - 1)) +
           ": moved by hand, or are source and target swapped?";
  }
  if (report.state == "incomplete") {
    const std::size_t pair = state.missing.front();
    return "Neither " + Named(basis.First(pair - 1)) + " nor " + Named(basis.Second(pair - 1)) +
           " is there, so Activate would " + Ends("Activate", report.activate.from_now, report) +
           ".";
  }
  const std::size_t pair = state.through + 1;  // partial: where the activation stopped
  if (Has(state.missing, pair)) {
    return "Pair " + std::to_string(pair) + "'s file is in neither place: neither " +
           Named(basis.First(pair - 1)) + " nor " + Named(basis.Second(pair - 1)) + " is there.";
  }
  if (const Blocker* blocker = BlockerAt(report, pair)) {
    return InTheWay(*blocker) + ": the activation could not move " + Named(basis.First(pair - 1)) +
           " there.";
  }
  if (state.refused == pair) {
    return "Pair " + std::to_string(pair) + "'s rename is refused: \"" + state.refusal + "\".";
  }
  return "Nothing stops pair " + std::to_string(pair) + " now: what stopped the walk is gone.";
}

std::string Summary(const CheckReport& report, const ModState& state) {
  const std::string count = " (" + std::to_string(state.pairs) +
                            (state.pairs == 1 ? " pair" : " pairs") +
                            (report.shift_at.empty() ? ")" : " before the shift)");
  if (report.state == "inactive") {
    return state.pairs == 0 && report.shift_at.empty()
               ? "the activation list has no pair: there is nothing to move"
               : "every file is where the activation list starts it" + count;
  }
  if (report.state == "active") return "every file is where a whole activation leaves it" + count;
  if (report.state == "partial") {
    return "an activation stopped at pair " + std::to_string(state.through + 1) + " of " +
           std::to_string(state.pairs) + ": " +
           (state.through == 1 ? std::string("the file of pair 1 is")
                               : "the files of pairs 1-" + std::to_string(state.through) + " are") +
           " moved, the others are not";
  }
  if (report.state == "incomplete") {
    return "no file is moved, but " +
           std::string(state.missing.size() == 1 ? "the file of " : "the files of ") +
           PairsText(state.missing) +
           (state.missing.size() == 1 ? " is in neither of its places"
                                      : " are in neither of their places");
  }
  return "the files of " + PairsText(state.disagreeing) +
         " are where an activation leaves them, while an earlier pair's are not: no walk "
         "leaves them so";
}

// A way out of the state: moves by hand, then presses, tried on the dry run.
struct Plan {
  bool activate = true;  // the goal: activated, or else deactivated
  bool aside = false;    // move the files in the way aside
  bool back = false;     // move the pairs out of turn back by hand
  std::vector<bool> presses;
};

class WayOut {
 public:
  WayOut(const CheckReport& report, const ModState& state, const CheckedList& basis,
         Presser& presser, DryRun& run)
      : report_(report), state_(state), basis_(basis), presser_(presser), run_(run) {}

  std::string Find() {
    std::vector<Plan> plans;
    // A goal the files are at already is no way out.
    for (const bool goal : {true, false}) {
      if (goal ? state_.Activated() : state_.Deactivated()) continue;
      for (int hands = 0; hands < 3; ++hands) {
        if (hands >= 1 && report_.blocking.empty() && state_.disagreeing.empty()) break;
        if (hands == 2 && state_.disagreeing.empty()) break;
        const bool aside = hands >= 1 && !report_.blocking.empty(), back = hands == 2;
        if (goal) {
          plans.push_back({true, aside, back, {true}});
          plans.push_back({true, aside, back, {false, true}});
        } else {
          plans.push_back({false, aside, back, {false}});
        }
      }
    }
    for (const Plan& plan : plans) {
      std::vector<Outcome> outcomes;
      ModState after;
      if (!Try(plan, outcomes, after)) continue;
      if (!(plan.activate ? after.Activated() : after.Deactivated())) continue;
      return Goal(plan.activate, after) + ": " + Steps(plan, outcomes) + ".";
    }
    if (state_.Deactivated()) {
      return "To activate the mod: fix what is said above first; no press of the buttons does "
             "it as things are (tried on a dry run).";
    }
    return "To get out: no press of the buttons does, even with the files in the way moved "
           "aside (tried on a dry run); move the files back by hand to where " +
           std::string(basis_.name) + " starts them.";
  }

 private:
  bool Try(const Plan& plan, std::vector<Outcome>& outcomes, ModState& after) {
    run_.Reset();
    run_.BeginWalk();
    try {
      if (plan.back) {
        for (const std::size_t pair : state_.disagreeing) {
          run_.RenameFile(basis_.Second(pair - 1), basis_.First(pair - 1));
        }
      }
      if (plan.aside) {
        for (const Blocker& blocker : report_.blocking) {
          run_.RenameFile(blocker.path, blocker.path + ".aside");
        }
      }
    } catch (const Error&) {
      run_.EndWalk();
      run_.Reset();
      return false;
    }
    run_.EndWalk();
    bool ends = true;
    for (const bool activate : plan.presses) {
      outcomes.push_back(presser_.Press(activate));
      ends = ends && outcomes.back().result != "error";
    }
    if (ends) after = Classify(run_, basis_, state_.pairs);
    run_.Reset();
    return ends;
  }

  std::string Goal(bool activated, const ModState& after) const {
    if (!activated) return "To deactivate the mod";
    if (after.missing.empty()) return "To activate the mod";
    return "To activate what the mod has (" +
           std::string(after.missing.size() == 1 ? "the file of " : "the files of ") +
           PairsText(after.missing) + (after.missing.size() == 1 ? " is" : " are") + " missing)";
  }

  std::string Steps(const Plan& plan, const std::vector<Outcome>& outcomes) const {
    std::string steps;
    if (plan.back) {
      std::vector<std::string> moves;
      for (const std::size_t pair : state_.disagreeing) {
        moves.push_back(Named(basis_.Second(pair - 1)) + " back to " +
                        Named(basis_.First(pair - 1)));
      }
      steps += "rename " + Listed(moves) + ", then ";
    }
    if (plan.aside) {
      std::vector<std::string> paths;
      bool own = false;
      for (const Blocker& blocker : report_.blocking) {
        paths.push_back(Named(blocker.path));
        own = own || blocker.own;
      }
      steps += "move " + Listed(paths) + " out of the way" +
               (own ? std::string() : " (not this mod's)") + ", then ";
    }
    for (std::size_t i = 0; i < outcomes.size(); ++i) {
      steps += (i == 0 ? "press " : ", then ") + std::string(ButtonOf(plan.presses[i]));
      const Outcome& outcome = outcomes[i];
      if (outcome.result == "missing") {
        steps += " (it moves " + Files(outcome.renames) + " and stops at pair " +
                 std::to_string(outcome.pair.value_or(0)) + ")";
      }
    }
    // Pressing Activate again is what a user tries first.
    if (plan.presses.size() > 1 && !plan.presses.front() &&
        report_.activate.from_now.result != "complete" && report_.activate.from_now.pair) {
      steps += "; Activate alone stops at pair " + std::to_string(*report_.activate.from_now.pair);
    }
    return steps;
  }

  static std::string Listed(const std::vector<std::string>& items) {
    std::string text;
    for (std::size_t i = 0; i < items.size() && i < kNamedPaths; ++i) {
      text += (i == 0 ? "" : i + 1 == items.size() ? " and " : ", ") + items[i];
    }
    if (items.size() > kNamedPaths) {
      text += " and " + std::to_string(items.size() - kNamedPaths) + " more";
    }
    return text;
  }

  const CheckReport& report_;
  const ModState& state_;
  const CheckedList& basis_;
  Presser& presser_;
  DryRun& run_;
};

}  // namespace

std::string PairsText(const std::vector<std::size_t>& pairs) {
  constexpr std::size_t kNamed = 5;
  std::string text = pairs.size() == 1 ? "pair " : "pairs ";
  const std::size_t named = pairs.size() > kNamed + 1 ? kNamed : pairs.size();
  for (std::size_t i = 0; i < named; ++i) {
    text += (i == 0 ? "" : i + 1 == pairs.size() ? " and " : ", ") + std::to_string(pairs[i]);
  }
  if (named < pairs.size()) text += " and " + std::to_string(pairs.size() - named) + " more";
  return text;
}

void Advise(CheckReport& report, const ModState& state, const CheckedList& basis, Presser& presser,
            DryRun& run) {
  if (report.state == "no-lists") {
    report.summary =
        "neither Tavrik.mla nor Tavrik.mld is here (or can be read): both "
        "buttons would do nothing";
    report.why = "A mod's folder holds the two lists its author wrote; this one holds neither.";
    report.next = "To check a mod: run brennel-check in the mod's folder, or name the folder.";
    return;
  }
  report.summary = Summary(report, state);
  report.why = Why(report, state, basis);
  if (!report.shift_at.empty()) {
    // The pairs after a shift join the wrong files: no press is a way out.
    report.why = std::string(basis.name) + "'s pairs are shifted by one entry from pair " +
                 std::to_string(report.shift_pair) + " on, at " + report.shift_at +
                 (report.shift_empty ? " (an empty entry)" : "") +
                 ": from there the walk moves the wrong files, or stops.";
    report.next = report.shift_empty
                      ? "To fix the list: take out the empty entry at " + report.shift_at + "."
                      : "To fix the list: look at " + report.shift_at +
                            ": an entry beside it is missing, or it is one too many.";
  } else if (report.state == "inactive" && report.activate.from_now.result == "complete") {
    report.next = "To activate the mod: press Activate.";
  } else if (report.state == "active" && report.deactivate.from_now.result == "complete") {
    report.next = "To deactivate the mod: press Deactivate.";
  } else if (state.pairs == 0) {
    report.next = "To make a mod: write its pairs into Tavrik.mla and Tavrik.mld.";
  } else {
    report.next = WayOut(report, state, basis, presser, run).Find();
  }
}

}  // namespace tavrik
