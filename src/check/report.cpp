// The JSON object comes from nlohmann::json (Debian's nlohmann-json3-dev),
// which also takes care of escaping whatever a list holds.

#include "report.h"

#include <nlohmann/json.hpp>

#include "launcher.h"

namespace tavrik {

namespace {

using json = nlohmann::ordered_json;

const char* Colour(const std::string& what) {
  if (what == "error" || what == "mixed") return "\033[1;31m";
  if (what == "warning" || what == "partial") return "\033[1;35m";
  if (what == "note") return "\033[1;36m";
  return "\033[1;32m";  // inactive, active
}

std::string Painted(const std::string& text, bool colour) {
  return colour ? Colour(text) + text + "\033[0m" : text;
}

std::string Renames(std::size_t count) {
  return std::to_string(count) + (count == 1 ? " rename" : " renames");
}

std::string Told(const Outcome& outcome) {
  if (outcome.result == "nothing") return "does nothing (no pair to walk)";
  if (outcome.result == "complete") return "runs to its end (" + Renames(outcome.renames) + ")";
  std::string told = outcome.pair ? "stops at pair " + std::to_string(*outcome.pair)
                                  : std::string("refuses the list");
  told += ": \"" + outcome.text.value_or("") + "\"";
  if (outcome.result == "error") told += ", and the tool ends";
  return told + " (" + Renames(outcome.renames) + ")";
}

std::string ButtonLine(const char* button, const char* other, const ButtonRun& run) {
  return std::string(button) + " " + Told(run.from_now) + "; then " + other + " " +
         Told(run.then_other) + "; " +
         (run.round_trip ? "every file is back where it was"
                         : "not every file is back where it was") +
         ".\n";
}

std::string StateLine(const CheckReport& report, bool colour) {
  std::string line = "State: " + Painted(report.state, colour);
  if (report.state == "inactive") line += " (every file where the activation list starts it)";
  if (report.state == "active") line += " (every file where a whole activation leaves it)";
  if (report.state == "partial") {
    line += " (as an activation that stopped after pair " + std::to_string(*report.partial_pairs) +
            " leaves them)";
  }
  if (report.state == "mixed") {
    line += " (files of pair";
    line += report.disagreeing.size() == 1 ? " " : "s ";
    for (std::size_t i = 0; i < report.disagreeing.size(); ++i) {
      line += (i == 0 ? "" : ", ") + std::to_string(report.disagreeing[i]);
    }
    line += " are not where any activation leaves them)";
  }
  return line + "\n";
}

json OutcomeJson(const Outcome& outcome) {
  return {{"result", outcome.result},
          {"pair", outcome.pair ? json(*outcome.pair) : json(nullptr)},
          {"text", outcome.text ? json(*outcome.text) : json(nullptr)},
          {"renames", outcome.renames}};
}

json RunJson(const ButtonRun& run) {
  return {{"from_now", OutcomeJson(run.from_now)},
          {"then_other", OutcomeJson(run.then_other)},
          {"round_trip", run.round_trip}};
}

json Optional(std::size_t value) { return value == 0 ? json(nullptr) : json(value); }

}  // namespace

std::string TextReport(const CheckReport& report, bool colour) {
  std::string text = "Folder: " + report.folder + "\n" + StateLine(report, colour) +
                     ButtonLine("Activate", "Deactivate", report.activate) +
                     ButtonLine("Deactivate", "Activate", report.deactivate);
  for (const char* list : {kActivationListFile, kDeactivationListFile}) {
    bool heading = false;
    for (const Finding& finding : report.findings) {
      if (finding.list != list) continue;
      if (!heading) text += std::string("\n") + list + ":\n";
      heading = true;
      text += finding.list;
      if (finding.position.line > 0) {
        text += ':';
        text += std::to_string(finding.position.line);
        text += ':';
        text += std::to_string(finding.position.column);
      }
      text += ": " + Painted(finding.severity, colour) + ": " + finding.text + " [" + finding.kind +
              "]\n";
    }
  }
  if (report.findings.empty()) text += "\nNo findings in the lists.\n";
  return text;
}

std::string JsonReport(const CheckReport& report) {
  json findings = json::array();
  for (const Finding& finding : report.findings) {
    findings.push_back({{"list", finding.list},
                        {"entry", Optional(finding.entry)},
                        {"line", Optional(finding.position.line)},
                        {"column", Optional(finding.position.column)},
                        {"severity", finding.severity},
                        {"kind", finding.kind},
                        {"text", finding.text}});
  }
  const json object = {
      {"folder", report.folder},
      {"state", report.state},
      {"partial_pairs", report.partial_pairs ? json(*report.partial_pairs) : json(nullptr)},
      {"disagreeing_pairs", report.disagreeing},
      {"activate", RunJson(report.activate)},
      {"deactivate", RunJson(report.deactivate)},
      {"findings", findings}};
  // Names on disk need not be UTF-8: such bytes become U+FFFD.
  return object.dump(-1, ' ', false, json::error_handler_t::replace) + "\n";
}

}  // namespace tavrik
