// The JSON object comes from nlohmann::json (Debian's nlohmann-json3-dev),
// which also takes care of escaping whatever a list holds.

#include "report.h"

#include <algorithm>
#include <map>
#include <nlohmann/json.hpp>
#include <set>

#include "launcher.h"
#include "shown_text.h"

namespace tavrik {

namespace {

using json = nlohmann::ordered_json;

// Kinds of finding told one a line, and files that do not come back, on
// the screen of text; the rest are counted.
constexpr std::size_t kShownGroups = 20, kShownFiles = 2;

const char* Colour(State state) {
  switch (state) {
    case State::kInactive:
    case State::kActive:
      return "\033[1;32m";
    case State::kNoLists:
    case State::kMixed:
    case State::kAmbiguous:
      return "\033[1;31m";
    default:
      return "\033[1;35m";
  }
}

const char* Colour(Severity severity) {
  return severity == Severity::kError     ? "\033[1;31m"
         : severity == Severity::kWarning ? "\033[1;35m"
                                          : "\033[1;36m";
}

template <typename Kind>
std::string Painted(Kind kind, bool colour) {
  return colour ? Colour(kind) + std::string(NameOf(kind)) + "\033[0m" : NameOf(kind);
}

std::string Told(const Outcome& outcome) {
  if (outcome.result == Result::kNothing) return "does nothing (no pair to walk)";
  if (outcome.result == Result::kComplete) {
    return "runs to its end (" + Counted(outcome.renames, "rename") + ")";
  }
  if (outcome.pair == 0) return "refuses the list: \"" + outcome.text + "\"";
  std::string told = "stops at pair " + std::to_string(outcome.pair);
  if (outcome.text == " is missing") {
    told += ", whose source is an empty entry (" + outcome.at + "): the box reads \"" +
            outcome.text + "\"";
  } else {
    told += " (" + outcome.at + "): \"" + outcome.text + "\"";
  }
  if (outcome.result == Result::kError) told += ", and the tool ends";
  return told + " (" + Counted(outcome.renames, "rename") + ")";
}

// What a button does now, then the other; in a clean state, the button
// that has nothing to do says only that.
std::string ButtonLines(const CheckReport& report, bool activate, bool all) {
  const Trial& run = activate ? report.activate : report.deactivate;
  const Outcome &now = run.from_now(), &then = run.then_other();
  const std::string button = ButtonOf(activate);
  const bool idle = report.state == (activate ? State::kActive : State::kInactive);
  if (idle && now.result == Result::kMissing && now.renames == 0) {
    return ShownText(button + ": nothing to " + (activate ? "do" : "undo") + ": it stops at pair " +
                     std::to_string(now.pair) + ", \"" + now.text + "\", and moves nothing.") +
           "\n";
  }
  std::string line =
      button + " now " + Told(now) + "; then " + ButtonOf(!activate) + " " + Told(then);
  if (now.renames == 0) return ShownText(line + ".") + "\n";
  line += run.round_trip ? "; every file is back where it was." : "; not every file is back:";
  std::string lines = ShownText(line) + "\n";
  const std::size_t shown =
      all ? run.displaced.size() : std::min(run.displaced.size(), kShownFiles);
  for (std::size_t i = 0; i < shown; ++i) {
    const Displaced& file = run.displaced[i];
    lines += "  " +
             ShownText(Named(file.from) + " ends as " + Named(file.to) +
                       (file.cause.empty() ? std::string() : ": " + file.cause)) +
             "\n";
  }
  if (shown < run.displaced.size()) {
    lines += "  and " + Counted(run.displaced.size() - shown, "more file") + "\n";
  }
  return lines;
}

std::string FindingLine(const Finding& finding, bool colour) {
  std::string where = finding.list;
  if (finding.position.line > 0) {
    where +=
        ':' + std::to_string(finding.position.line) + ':' + std::to_string(finding.position.column);
  }
  return where + ": " + Painted(finding.severity, colour) + ": " +
         ShownText(finding.text + " [" + finding.kind + "]");
}

// Findings of a kind and a cause, one line: the first, how many more, and
// how many follow from it.
std::string Grouped(const std::vector<Finding>& findings, bool colour) {
  struct Group {
    const Finding* first = nullptr;
    std::size_t count = 0, following = 0;
  };
  std::set<std::string> keys;
  for (const Finding& finding : findings) keys.insert(finding.Key());
  std::map<std::string, Group> groups;
  std::map<std::string, std::size_t> following;
  for (const Finding& finding : findings) {
    if (finding.under != finding.Key() && keys.count(finding.under) != 0) {
      ++following[finding.under];
      continue;
    }
    Group& group = groups[finding.Key()];
    if (group.first == nullptr) group.first = &finding;
    ++group.count;
  }
  for (auto& [key, group] : groups) group.following = following[key];
  std::vector<const Group*> order;
  for (const auto& [key, group] : groups) order.push_back(&group);
  std::stable_sort(order.begin(), order.end(), [&](const Group* a, const Group* b) {
    return a->first->severity != b->first->severity ? a->first->severity < b->first->severity
                                                    : a->first < b->first;
  });
  std::string text;
  for (std::size_t i = 0; i < order.size() && i < kShownGroups; ++i) {
    const Group& group = *order[i];
    std::string more;
    if (group.count > 1) more = "and " + Thousands(group.count - 1) + " more like it";
    if (group.following > 0) {
      more += (more.empty() ? "" : "; ") + Counted(group.following, "other finding") +
              " follow from it";
    }
    text += FindingLine(*group.first, colour) + (more.empty() ? "" : " (" + more + ")") + "\n";
  }
  if (order.size() > kShownGroups) {
    text += "and " + Counted(order.size() - kShownGroups, "more kind") + " of finding\n";
  }
  if (order.size() < findings.size()) {
    text += "brennel-check --all prints every one of the " + Counted(findings.size(), "finding") +
            ".\n";
  }
  return text;
}

std::string Dumped(const json& value) {
  // Names on disk need not be UTF-8: such bytes become U+FFFD.
  return value.dump(-1, ' ', false, json::error_handler_t::replace);
}

json Text(const std::string& text) { return text.empty() ? json(nullptr) : json(text); }
json Number(std::size_t number) { return number == 0 ? json(nullptr) : json(number); }

json OutcomeJson(const Outcome& outcome) {
  const Cause& cause = outcome.cause;
  return {
      {"result", NameOf(outcome.result)},
      {"pair", Number(outcome.pair)},
      {"text", Text(outcome.text)},
      {"at", Text(outcome.at)},
      {"renames", outcome.renames},
      {"cause", cause.kind.empty()
                    ? json(nullptr)
                    : json{{"kind", cause.kind}, {"text", cause.text}, {"fix", Text(cause.fix)}}}};
}

json MovesJson(const std::vector<Move>& moves) {
  json list = json::array();
  for (const Move& move : moves) list.push_back({{"from", move.from}, {"to", move.to}});
  return list;
}

json TrialJson(const Trial& trial) {
  json displaced = json::array();
  for (const Displaced& file : trial.displaced) {
    displaced.push_back({{"from", file.from}, {"to", file.to}, {"cause", file.cause}});
  }
  return {{"from_now", OutcomeJson(trial.from_now())},
          {"then_other", OutcomeJson(trial.then_other())},
          {"round_trip", trial.round_trip},
          {"displaced", displaced}};
}

}  // namespace

std::string TextReport(const CheckReport& report, bool colour, bool all) {
  std::string text = "State: " + Painted(report.state, colour) +
                     ShownText(": " + report.summary + ".") + "\n" + ShownText(report.why) + "\n" +
                     ShownText(report.next) + "\n\nFolder: " + ShownText(report.folder) + "\n";
  if (report.state == State::kNoLists) return text;
  const bool activate_first = report.state != State::kActive;
  text += ButtonLines(report, activate_first, all) + ButtonLines(report, !activate_first, all);
  if (report.findings.empty()) return text + "\nNo findings in the lists.\n";
  if (!all) return text + "\n" + Grouped(report.findings, colour);
  for (const char* list : {kActivationListFile, kDeactivationListFile}) {
    bool heading = false;
    for (const Finding& finding : report.findings) {
      if (finding.list != list) continue;
      if (!heading) text += std::string("\n") + list + ":\n";
      heading = true;
      text += FindingLine(finding, colour) + "\n";
    }
  }
  return text;
}

std::string JsonReport(const CheckReport& report) {
  const bool stopped =
      report.state == State::kActivationStopped || report.state == State::kDeactivationStopped;
  json head = {{"folder", report.folder},
               {"state", NameOf(report.state)},
               {"pairs", report.pairs},
               {"stopped_at", stopped ? json(report.stop) : json(nullptr)},
               {"moved_pairs", report.moved},
               {"missing_pairs", report.missing},
               {"both_pairs", report.both},
               {"unknown_pairs", report.unknown},
               {"shift_at", Text(report.shift_at)},
               {"summary", report.summary},
               {"why", report.why},
               {"next", report.next},
               {"moves", MovesJson(report.moves)}};
  if (report.state != State::kNoLists) {
    head["activate"] = TrialJson(report.activate);
    head["deactivate"] = TrialJson(report.deactivate);
  }
  // The findings one at a time: a document of thousands of them would take
  // many times their text.
  std::string out = Dumped(head);
  out.pop_back();
  out += ",\"findings\":[";
  bool first = true;
  for (const Finding& finding : report.findings) {
    out += first ? "" : ",";
    first = false;
    out += Dumped({{"list", finding.list},
                   {"entry", Number(finding.entry)},
                   {"line", Number(finding.position.line)},
                   {"column", Number(finding.position.column)},
                   {"severity", NameOf(finding.severity)},
                   {"kind", finding.kind},
                   {"text", finding.text},
                   {"group", finding.group},
                   {"under", Text(finding.under)}});
  }
  return out + "]}\n";
}

std::string MovesReport(const CheckReport& report) {
  std::string out;
  for (const Move& move : report.moves) {
    // A name a terminal could take for a command of its own is not printed.
    const bool plain = ShownText(move.from) == move.from && ShownText(move.to) == move.to;
    out += plain ? MoveCommand(move.from, move.to)
                 : "# " + ShownText(move.from) + " to " + ShownText(move.to) +
                       ": a name that cannot be printed safely; move it by hand";
    out += '\n';
  }
  return out.empty() ? "# " + ShownText(report.next) + "\n" : out;
}

}  // namespace tavrik
