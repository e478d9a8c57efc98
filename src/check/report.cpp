// brennel-check's reports. The JSON object comes from nlohmann::json
// (Debian's nlohmann-json3-dev), which also escapes whatever a list holds.

#include <algorithm>
#include <map>
#include <nlohmann/json.hpp>

#include "cli.h"
#include "shown_text.h"

namespace tavrik {

namespace {

using json = nlohmann::ordered_json;

// Groups of findings and files not back that the text shows; the rest are counted.
constexpr std::size_t kShownGroups = 20, kShownFiles = 2;

// By State and by Severity: green for the clean states, red for errors.
constexpr const char* kStateColours[] = {"1;31", "1;32", "1;35", "1;32", "1;35",
                                         "1;35", "1;35", "1;31", "1;31"};
constexpr const char* kSeverityColours[] = {"1;31", "1;35", "1;36"};

// A line of text that may hold a list's or a file's names.
std::string Line(const std::string& text) { return ShownText(text) + "\n"; }

std::string Painted(const char* name, const char* colour, bool paint) {
  return paint ? std::string("\033[") + colour + "m" + name + "\033[0m" : name;
}

std::string Told(const Outcome& outcome) {
  const std::string renames = " (" + Counted(outcome.renames, "rename") + ")";
  if (outcome.result == Result::kNothing) return "does nothing (no pair to walk)";
  if (outcome.result == Result::kComplete) return "runs to its end" + renames;
  if (outcome.pair == 0) return "refuses the list: " + Named(outcome.text, '"');
  const bool empty = outcome.text == " is missing";  // an empty entry's box
  return "stops at pair " + std::to_string(outcome.pair) +
         (empty ? ", whose source is an empty entry (" + outcome.at + "): the box reads "
                : " (" + outcome.at + "): ") +
         Named(outcome.text, '"') +
         (outcome.result == Result::kError ? ", and the tool ends" : "") + renames;
}

// What a button does now, then the other; in a clean state, the button
// that has nothing to do says only that.
std::string ButtonLines(const CheckReport& report, bool activate, bool all) {
  const Trial& run = activate ? report.activate : report.deactivate;
  const Outcome& now = run.from_now();
  const std::string button = ButtonOf(activate);
  if (report.state == (activate ? State::kActive : State::kInactive) &&
      now.result == Result::kMissing && now.renames == 0) {
    return Line(button + ": nothing to " + (activate ? "do" : "undo") + ": it stops at pair " +
                std::to_string(now.pair) + ", " + Named(now.text, '"') + ", and moves nothing.");
  }
  const std::string line =
      button + " now " + Told(now) + "; then " + ButtonOf(!activate) + " " + Told(run.then_other());
  if (now.renames == 0) return Line(line + ".");
  std::string lines = Line(
      line + (run.round_trip ? "; every file is back where it was." : "; not every file is back:"));
  const std::size_t shown =
      all ? run.displaced.size() : std::min(run.displaced.size(), kShownFiles);
  for (std::size_t i = 0; i < shown; ++i) {
    const Displaced& file = run.displaced[i];
    lines += Line("  " + Named(file.from) + " ends as " + Named(file.to) +
                  (file.cause.empty() ? "" : ": " + file.cause));
  }
  if (shown < run.displaced.size()) {
    lines += "  and " + Counted(run.displaced.size() - shown, "more file") + "\n";
  }
  return lines;
}

std::string FindingLine(const Finding& finding, bool colour) {
  const FieldPosition& at = finding.position;
  const char* severity_colour = kSeverityColours[static_cast<int>(finding.severity)];
  return finding.list +
         (at.line > 0 ? ":" + std::to_string(at.line) + ":" + std::to_string(at.column) : "") +
         ": " + Painted(NameOf(finding.severity), severity_colour, colour) + ": " +
         ShownText(finding.text + " [" + finding.kind + "]");
}

// Findings of a kind and a cause, one line: the first, how many more, and
// how many follow from it; most severe first.
std::string Grouped(const std::vector<Finding>& findings, bool colour) {
  struct Group {
    const Finding* first = nullptr;
    std::size_t count = 0, following = 0;
  };
  std::map<std::string, Group> groups;
  for (const Finding& finding : findings) groups[finding.Key()];
  for (const Finding& finding : findings) {
    if (finding.under != finding.Key() && groups.count(finding.under) != 0) {
      ++groups[finding.under].following;
    } else if (Group& group = groups[finding.Key()]; group.count++ == 0) {
      group.first = &finding;
    }
  }
  std::vector<Group> order;  // the groups with findings of their own
  for (const auto& [key, group] : groups) {
    if (group.count > 0) order.push_back(group);
  }
  std::sort(order.begin(), order.end(), [](const Group& a, const Group& b) {
    return a.first->severity != b.first->severity ? a.first->severity < b.first->severity
                                                  : a.first < b.first;
  });
  std::string text;
  for (std::size_t i = 0; i < order.size() && i < kShownGroups; ++i) {
    std::string more =
        order[i].count > 1 ? "and " + Thousands(order[i].count - 1) + " more like it" : "";
    if (order[i].following > 0) {
      more += (more.empty() ? "" : "; ") + Counted(order[i].following, "other finding") +
              (order[i].following == 1 ? " follows" : " follow") + " from it";
    }
    text += FindingLine(*order[i].first, colour) + (more.empty() ? "" : " (" + more + ")") + "\n";
  }
  if (order.size() > kShownGroups) {
    text += "and " + Counted(order.size() - kShownGroups, "more group") + " of findings\n";
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

}  // namespace

// As nlohmann::json writes each of them, found by their namespace.
static void to_json(json& out, const Move& move) { out = {{"from", move.from}, {"to", move.to}}; }
static void to_json(json& out, const Displaced& file) {
  out = {{"from", file.from}, {"to", file.to}, {"cause", file.cause}};
}
static void to_json(json& out, const Outcome& outcome) {
  const Cause& cause = outcome.cause;
  out = {
      {"result", NameOf(outcome.result)},
      {"pair", Number(outcome.pair)},
      {"text", Text(outcome.text)},
      {"at", Text(outcome.at)},
      {"renames", outcome.renames},
      {"cause", cause.kind.empty()
                    ? json(nullptr)
                    : json{{"kind", cause.kind}, {"text", cause.text}, {"fix", Text(cause.fix)}}}};
}
static void to_json(json& out, const Trial& trial) {
  out = {{"from_now", trial.from_now()},
         {"then_other", trial.then_other()},
         {"round_trip", trial.round_trip},
         {"displaced", trial.displaced}};
}

std::string TextReport(const CheckReport& report, bool colour, bool all) {
  const int state = static_cast<int>(report.state);
  std::string text = "State: " + Painted(NameOf(report.state), kStateColours[state], colour) +
                     Line(": " + report.summary + ".") + Line(report.why) + Line(report.next) +
                     "\n" + Line("Folder: " + report.folder);
  if (report.state == State::kNoLists) return text;
  const bool activate_first = report.state != State::kActive;
  text += ButtonLines(report, activate_first, all) + ButtonLines(report, !activate_first, all);
  if (report.findings.empty()) return text + "\nNo findings in the lists.\n";
  if (!all) return text + "\n" + Grouped(report.findings, colour);
  std::string list;
  for (const Finding& finding : report.findings) {  // by list, as compilers print them
    if (finding.list != list) text += "\n" + (list = finding.list) + ":\n";
    text += FindingLine(finding, colour) + "\n";
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
               {"moves", report.moves}};
  if (report.state != State::kNoLists) {
    head["activate"] = report.activate;
    head["deactivate"] = report.deactivate;
  }
  // The findings one at a time: a document of thousands would take many times their text.
  std::string out = Dumped(head);
  out.back() = ',';
  out += "\"findings\":[";
  for (const Finding& finding : report.findings) {
    out += Dumped({{"list", finding.list},
                   {"entry", Number(finding.entry)},
                   {"line", Number(finding.position.line)},
                   {"column", Number(finding.position.column)},
                   {"severity", NameOf(finding.severity)},
                   {"kind", finding.kind},
                   {"text", finding.text},
                   {"group", finding.group},
                   {"under", Text(finding.under)}}) +
           (&finding == &report.findings.back() ? "" : ",");
  }
  return out + "]}\n";
}

std::string MovesReport(const CheckReport& report) {
  std::string out;
  for (const Move& move : report.moves) {
    // A name a terminal could take for a command of its own is not printed.
    const bool plain = ShownText(move.from) == move.from && ShownText(move.to) == move.to;
    out += plain ? MoveCommand(move.from, move.to) + "\n"
                 : Line("# " + move.from + " to " + move.to +
                        ": a name that cannot be printed safely; move it by hand");
  }
  return out.empty() ? Line("# " + report.next) : out;
}

}  // namespace tavrik
