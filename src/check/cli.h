#pragma once

// brennel-check's command line, the same on both systems (the program entries in src/app/
// supply what differs), and its ways of telling what it found (report.cpp).

#include <functional>
#include <string>
#include <vector>

#include "check.h"
#include "dry_run.h"

namespace tavrik {

struct CheckConsole {
  std::string out, err;    // what the program prints
  bool terminal = false;   // standard output is a terminal
  bool no_colour = false;  // NO_COLOR is set
  /// Makes `folder` the working directory; returns "" or why it cannot.
  std::function<std::string(const std::string& folder)> enter;
  /// The working directory's absolute path.
  std::function<std::string()> here;
};

/// Runs brennel-check with `arguments` (without the program's name) on
/// `run` and returns its exit status: 0 all good, 1 findings that matter, 2
/// a usage error.
int RunCheck(const std::vector<std::string>& arguments, CheckConsole& console, DryRun& run);

/// Text of at most 40 lines: the three lines, the folder, what each button would do, then
/// the findings grouped by kind and cause. `all`: every finding and every file, one a line.
/// `colour`: ANSI colours for the state and the severities.
std::string TextReport(const CheckReport& report, bool colour, bool all);

/// One JSON object and a line end: everything the check found.
std::string JsonReport(const CheckReport& report);

/// The moves by hand that the third line starts with, one command a line.
std::string MovesReport(const CheckReport& report);

}  // namespace tavrik
