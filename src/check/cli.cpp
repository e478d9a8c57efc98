// brennel-check's command line and its reports. The JSON object comes from
// nlohmann::json (Debian's nlohmann-json3-dev), which also escapes whatever a list holds.

#include <algorithm>
#include <map>
#include <nlohmann/json.hpp>
#include <span>
#include <tuple>

#include "check.h"
#include "shown_text.h"

namespace tavrik {

namespace {

constexpr char kUsage[] = "usage: brennel-check [--all | --moves | --json] [FOLDER]";

constexpr char kHelp[] = R"(
Checks a mod's lists, "Tavrik.mla" and "Tavrik.mld" in FOLDER (default: the
current folder), by walking them with Brennel's own walk on a dry run: it
changes nothing on disk. The first three lines say where the mod's files
are (the state), what stops a walk, and what to do, tried on the dry run to
the end. Then what each button would do, and the findings about the lists,
grouped by kind and cause, as LIST:LINE:COLUMN: SEVERITY: TEXT [KIND]. It
fits in 40 lines. brennel-check(1) describes every state and finding.

  --all      every finding and every file that would not come back
  --moves    only the moves by hand the third line starts with, as commands
  --json     everything, as one JSON object
  --help     this text
  --version  the version

Not foreseen: a full disk or quota, a file system's own name rules (ntfs-3g
windows_names), a security module's denial, what a fix it cannot try leads
to (a flag lifted, a list corrected), and changes on disk once the check
has looked (it looks at each name and folder once): then check again.

Control characters and bidirectional controls from a list or a file name
are shown as <U+001B>, bytes that are not UTF-8 as <0xFF>; JSON gives texts
exactly, but such bytes in a name on disk become U+FFFD.

Exit status: 0 when the button for the current state runs to its end and
the other one then puts every file back; 1 otherwise; 2 for a usage error
(one line on standard error) or no lists in the folder.
)";

// One line: what is wrong, then the usage.
int Usage(CheckConsole& console, const std::string& why) {
  console.err += "brennel-check: " + ShownText(why) + " (" + kUsage + ")\n";
  return 2;
}

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
  const std::size_t count = run.displaced.size(),
                    shown = all ? count : std::min(count, kShownFiles);
  for (const Displaced& file : std::span(run.displaced).first(shown)) {
    lines += Line("  " + Named(file.from) + " ends as " + Named(file.to) +
                  (file.cause.empty() ? "" : ": " + file.cause));
  }
  if (shown < count) lines += "  and " + Counted(count - shown, "more file") + "\n";
  return lines;
}

std::string FindingLine(const Finding& finding, bool colour) {
  const FieldPosition& at = finding.position;
  const char* severity_colour = kSeverityColours[static_cast<int>(finding.severity)];
  return finding.list +
         (at.line > 0 ? ":" + std::to_string(at.line) + ":" + std::to_string(at.column) : "") +
         ": " + Painted(NameOf(finding.severity), severity_colour, colour) + ": " +
         ShownText(finding.text + " [" + NameOf(finding.kind) + "]");
}

// Findings of a kind and a cause, one line: the first, how many more, and
// how many follow from it; most severe first.
std::string Grouped(const std::vector<Finding>& findings, bool colour) {
  struct Group {
    const Finding* first = nullptr;
    std::size_t count = 0, following = 0;
  };
  std::map<std::string, Group> groups;
  std::size_t total = 0;
  for (const Finding& finding : findings) groups[finding.Key()];
  for (const Finding& finding : findings) {
    total += finding.count;
    if (finding.under != finding.Key() && groups.contains(finding.under)) {
      groups[finding.under].following += finding.count;
    } else {
      Group& group = groups[finding.Key()];
      if (group.count == 0) group.first = &finding;
      group.count += finding.count;
    }
  }
  std::vector<Group> order;  // the groups with findings of their own
  for (const auto& [key, group] : groups) {
    if (group.count > 0) order.push_back(group);
  }
  std::sort(order.begin(), order.end(), [](const Group& a, const Group& b) {
    return std::tie(a.first->severity, a.first) < std::tie(b.first->severity, b.first);
  });
  std::string text;
  for (const Group& group : std::span(order).first(std::min(order.size(), kShownGroups))) {
    std::string more = group.count > 1 ? "and " + Thousands(group.count - 1) + " more like it" : "";
    if (group.following > 0) {
      more += (more.empty() ? "" : "; ") + Counted(group.following, "other finding") +
              (group.following == 1 ? " follows" : " follow") + " from it";
    }
    text += FindingLine(*group.first, colour) + (more.empty() ? "" : " (" + more + ")") + "\n";
  }
  if (order.size() > kShownGroups) {
    text += "and " + Counted(order.size() - kShownGroups, "more group") + " of findings\n";
  }
  if (order.size() < total) {
    text += "brennel-check --all prints every one of the " + Counted(total, "finding") + ".\n";
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
  out = {{"result", NameOf(outcome.result)},
         {"pair", Number(outcome.pair)},
         {"text", Text(outcome.text)},
         {"at", Text(outcome.at)},
         {"renames", outcome.renames},
         {"cause", cause.kind == Kind::kNone ? json(nullptr)
                                             : json{{"kind", NameOf(cause.kind)},
                                                    {"text", cause.text},
                                                    {"fix", Text(cause.fix)}}}};
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
                   {"kind", NameOf(finding.kind)},
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

int RunCheck(const std::vector<std::string>& arguments, CheckConsole& console, DryRun& run) {
  std::string format;  // "", "--all", "--moves" or "--json"
  bool options = true;
  std::vector<std::string> folders;
  for (const std::string& argument : arguments) {
    if (!options || argument.size() < 2 || argument[0] != '-') {  // "-" too is a folder
      folders.push_back(argument);
    } else if (argument == "--") {
      options = false;
    } else if (argument == "--help") {
      console.out += std::string(kUsage) + "\n" + kHelp;
      return 0;
    } else if (argument == "--version") {
      console.out += "brennel-check 1.00\n";
      return 0;
    } else if (argument != "--json" && argument != "--all" && argument != "--moves") {
      return Usage(console, "unknown option '" + argument + "'");
    } else if (!format.empty() && format != argument) {
      return Usage(console, "give one of --all, --moves and --json");
    } else {
      format = argument;
    }
  }
  if (folders.size() > 1) return Usage(console, "give at most one folder");
  const std::string why = folders.empty() ? "" : console.enter(folders[0]);
  if (!why.empty()) return Usage(console, "cannot check the folder '" + folders[0] + "': " + why);
  const CheckReport report = Check(run, console.here(), format == "--json" || format == "--all");
  console.out += format == "--json"    ? JsonReport(report)
                 : format == "--moves" ? MovesReport(report)
                                       : TextReport(report, console.terminal && !console.no_colour,
                                                    format == "--all");
  return ExitStatus(report);
}

}  // namespace tavrik
