#pragma once

// brennel-check's command line, the same on both systems; the program
// entries (src/app/) supply what differs.

#include <functional>
#include <string>
#include <vector>

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

}  // namespace tavrik
