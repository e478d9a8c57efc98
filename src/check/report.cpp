// The JSON object comes from nlohmann::json (Debian's nlohmann-json3-dev),
// which also takes care of escaping whatever a list holds.

#include "report.h"

#include <nlohmann/json.hpp>

#include "launcher.h"
#include "shown_text.h"

namespace tavrik {

namespace {

using json = nlohmann::ordered_json;

const char* Colour(const std::string& what) {
  if (what == "error" || what == "mixed" || what == "no-lists") return "\033[1;31m";
  if (what == "warning" || what == "partial" || what == "incomplete") return "\033[1;35m";
  if (what == "note") return "\033[1;36m";
  return "\033[1;32m";  // inactive, active
}

// Words of the report's own, coloured on a terminal.
std::string Painted(const std::string& text, bool colour) {
  return colour ? Colour(text) + text + "\033[0m" : text;
}

std::string Renames(std::size_t count) {
  return std::to_string(count) + (count == 1 ? " rename" : " renames");
}

std::string Told(const Outcome& outcome) {
  if (outcome.result == "nothing") return "does nothing (no pair to walk)";
  if (outcome.result == "complete") return "runs to its end (" + Renames(outcome.renames) + ")";
  if (!outcome.pair) return "refuses the list: \"" + outcome.text.value_or("") + "\"";
  std::string told = "stops at pair " + std::to_string(*outcome.pair);
  const std::string text = outcome.text.value_or("");
  if (text == " is missing") {
    told += ", whose source is an empty entry (" + outcome.at + "): the box reads \"" + text + "\"";
  } else {
    told += " (" + outcome.at + "): \"" + text + "\"";
  }
  if (outcome.result == "error") told += ", and the tool ends";
  return told + " (" + Renames(outcome.renames) + ")";
}

// What a button does now, then the other; in a clean state, the button
// that has nothing to do says only that.
std::string ButtonLines(const CheckReport& report, bool activate) {
  const ButtonRun& run = activate ? report.activate : report.deactivate;
  const std::string button = ButtonOf(activate);
  const bool idle = report.state == (activate ? "active" : "inactive");
  if (idle && run.from_now.result == "missing" && run.from_now.renames == 0) {
    return ShownText(button + ": nothing to " + (activate ? "do" : "undo") + ": it stops at pair " +
                     std::to_string(run.from_now.pair.value_or(0)) + ", \"" +
                     run.from_now.text.value_or("") + "\", and moves nothing.") +
           "\n";
  }
  std::string line = button + " now " + Told(run.from_now) + "; then " + ButtonOf(!activate) + " " +
                     Told(run.then_other);
  if (run.from_now.renames == 0) return ShownText(line + ".") + "\n";
  line += run.round_trip ? "; every file is back where it was." : "; not every file is back:";
  std::string lines = ShownText(line) + "\n";
  for (const Displaced& file : run.displaced) {
    lines += "  " +
             ShownText(Named(file.from) + " ends as " + Named(file.to) +
                       (file.cause.empty() ? std::string() : ": " + file.cause)) +
             "\n";
  }
  if (run.displaced_unnamed > 0) {
    lines += "  and " + std::to_string(run.displaced_unnamed) + " more files\n";
  }
  return lines;
}

std::string Dumped(const json& value) {
  // Names on disk need not be UTF-8: such bytes become U+FFFD.
  return value.dump(-1, ' ', false, json::error_handler_t::replace);
}

json OutcomeJson(const Outcome& outcome) {
  return {{"result", outcome.result},
          {"pair", outcome.pair ? json(*outcome.pair) : json(nullptr)},
          {"text", outcome.text ? json(*outcome.text) : json(nullptr)},
          {"at", outcome.at.empty() ? json(nullptr) : json(outcome.at)},
          {"renames", outcome.renames}};
}

json RunJson(const ButtonRun& run) {
  json displaced = json::array();
  for (const Displaced& file : run.displaced) {
    displaced.push_back({{"from", file.from}, {"to", file.to}, {"cause", file.cause}});
  }
  return {{"from_now", OutcomeJson(run.from_now)},
          {"then_other", OutcomeJson(run.then_other)},
          {"round_trip", run.round_trip},
          {"displaced", displaced},
          {"displaced_unnamed", run.displaced_unnamed}};
}

json Optional(std::size_t value) { return value == 0 ? json(nullptr) : json(value); }

}  // namespace

std::string TextReport(const CheckReport& report, bool colour) {
  std::string text = "State: " + Painted(report.state, colour) +
                     ShownText(": " + report.summary + ".") + "\n" + ShownText(report.why) + "\n" +
                     ShownText(report.next) + "\n\nFolder: " + ShownText(report.folder) + "\n";
  if (report.state == "no-lists") return text;
  const bool activate_first = report.state != "active";
  text += ButtonLines(report, activate_first) + ButtonLines(report, !activate_first);
  for (const char* list : {kActivationListFile, kDeactivationListFile}) {
    bool heading = false;
    for (const Finding& finding : report.findings) {
      if (finding.list != list) continue;
      if (!heading) text += std::string("\n") + list + ":\n";
      heading = true;
      std::string where = finding.list;
      if (finding.position.line > 0) {
        where += ':' + std::to_string(finding.position.line) + ':' +
                 std::to_string(finding.position.column);
      }
      text += where + ": " + Painted(finding.severity, colour) + ": " +
              ShownText(finding.text + " [" + finding.kind + "]") + "\n";
    }
  }
  if (report.findings.empty()) text += "\nNo findings in the lists.\n";
  return text;
}

std::string JsonReport(const CheckReport& report) {
  json blocking = json::array();
  for (const Blocker& blocker : report.blocking) {
    blocking.push_back({{"pair", blocker.pair}, {"path", blocker.path}, {"own", blocker.own}});
  }
  const json head = {
      {"folder", report.folder},
      {"state", report.state},
      {"pairs", report.pairs},
      {"partial_pairs", report.partial_pairs ? json(*report.partial_pairs) : json(nullptr)},
      {"disagreeing_pairs", report.disagreeing},
      {"missing_pairs", report.missing},
      {"blocking", blocking},
      {"summary", report.summary},
      {"why", report.why},
      {"next", report.next},
      {"activate", RunJson(report.activate)},
      {"deactivate", RunJson(report.deactivate)}};
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
                   {"entry", Optional(finding.entry)},
                   {"line", Optional(finding.position.line)},
                   {"column", Optional(finding.position.column)},
                   {"severity", finding.severity},
                   {"kind", finding.kind},
                   {"text", finding.text}});
  }
  return out + "]}\n";
}

}  // namespace tavrik
