#include "cli.h"

#include "check.h"
#include "report.h"
#include "shown_text.h"

namespace tavrik {

namespace {

constexpr char kUsage[] = "usage: brennel-check [--json] [FOLDER]";

constexpr char kHelp[] =
    "usage: brennel-check [--json] [FOLDER]\n"
    "\n"
    "Checks a mod's lists, \"Tavrik.mla\" and \"Tavrik.mld\" in FOLDER (default: the\n"
    "current folder), without changing anything on disk: the state of the mod's\n"
    "files, what Activate and Deactivate would do from there and after each other,\n"
    "and findings about the lists' entries.\n"
    "\n"
    "  --json     one JSON object on standard output instead of text\n"
    "  --help     this text\n"
    "  --version  the version\n"
    "\n"
    "Exit status: 0 when the button for the current state runs to its end and the\n"
    "other one then puts every file back; 1 otherwise; 2 for a usage error.\n";

// One line: what is wrong, then the usage.
int Usage(CheckConsole& console, const std::string& why) {
  console.err += "brennel-check: " + ShownText(why) + " (" + kUsage + ")\n";
  return 2;
}

}  // namespace

int RunCheck(const std::vector<std::string>& arguments, CheckConsole& console, DryRun& run) {
  bool json = false, options = true;
  std::vector<std::string> folders;
  for (const std::string& argument : arguments) {
    if (options && argument == "--") {
      options = false;
    } else if (options && argument == "--help") {
      console.out += kHelp;
      return 0;
    } else if (options && argument == "--version") {
      console.out += "brennel-check 1.00\n";
      return 0;
    } else if (options && argument == "--json") {
      json = true;
    } else if (options && argument.size() > 1 && argument[0] == '-') {
      return Usage(console, "unknown option '" + argument + "'");
    } else {
      folders.push_back(argument);
    }
  }
  if (folders.size() > 1) return Usage(console, "give at most one folder");
  if (!folders.empty()) {
    if (const std::string why = console.enter(folders[0]); !why.empty()) {
      return Usage(console, "cannot check the folder '" + folders[0] + "': " + why);
    }
  }
  const CheckReport report = Check(run, console.here());
  console.out +=
      json ? JsonReport(report) : TextReport(report, console.terminal && !console.no_colour);
  return ExitStatus(report);
}

}  // namespace tavrik
