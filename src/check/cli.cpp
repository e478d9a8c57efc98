#include "cli.h"

#include "shown_text.h"

namespace tavrik {

namespace {

constexpr char kUsage[] = "usage: brennel-check [--all | --moves | --json] [FOLDER]";

constexpr char kHelp[] =
    "\n"
    "Checks a mod's lists, \"Tavrik.mla\" and \"Tavrik.mld\" in FOLDER (default: the\n"
    "current folder), by walking them with Brennel's own walk on a dry run: it\n"
    "changes nothing on disk. The first three lines say where the mod's files\n"
    "are, what stops a walk, and what to do (\"To ...: ...\", tried on the dry run\n"
    "to the end: the other button after it included). Then what Activate and\n"
    "Deactivate would do from now and after each other; then the findings about\n"
    "the lists, a line for each kind and cause: the first of them, as\n"
    "LIST:LINE:COLUMN: SEVERITY: TEXT [KIND], and how many more. It fits in 40\n"
    "lines. brennel-check(1) describes every kind of finding.\n"
    "\n"
    "  --all      every finding and every file that would not come back\n"
    "  --moves    only the moves by hand the third line starts with, as commands\n"
    "  --json     everything, as one JSON object\n"
    "  --help     this text\n"
    "  --version  the version\n"
    "\n"
    "States: inactive, active, incomplete (nothing moved, some pairs' files in\n"
    "neither place), activation-stopped and deactivation-stopped (as a walk that\n"
    "stopped at a pair leaves them), both-names (a file at both paths of some\n"
    "pairs), ambiguous (a name on the way matches several that differ only in\n"
    "case), mixed (anything else), no-lists.\n"
    "\n"
    "Foreseen: a missing file or folder, a target in the way (in any case), a\n"
    "read-only or other file system, a folder that may not be written, on Linux\n"
    "immutable and append-only files and folders and sticky folders, on Windows\n"
    "a file in use or whose deletion is denied. Not foreseen: a full disk or\n"
    "quota, a file system's own name rules (ntfs-3g windows_names), a security\n"
    "module's denial, and anything that changes on disk once the check has\n"
    "looked (it looks at each name and folder once). What a fix it cannot try\n"
    "leads to (a flag lifted, a list corrected), a new check tells.\n"
    "\n"
    "Control characters and bidirectional controls from a list or a file name\n"
    "are shown as <U+001B>, bytes that are not UTF-8 as <0xFF>. JSON gives texts\n"
    "exactly, but for such bytes in a name on disk, which become U+FFFD.\n"
    "\n"
    "Exit status: 0 when the button for the current state runs to its end and\n"
    "the other one then puts every file back; 1 otherwise; 2 for a usage error\n"
    "(one line on standard error) or no lists in the folder.\n";

// One line: what is wrong, then the usage.
int Usage(CheckConsole& console, const std::string& why) {
  console.err += "brennel-check: " + ShownText(why) + " (" + kUsage + ")\n";
  return 2;
}

}  // namespace

int RunCheck(const std::vector<std::string>& arguments, CheckConsole& console, DryRun& run) {
  std::string format;  // "", "--all", "--moves" or "--json"
  bool options = true;
  std::vector<std::string> folders;
  for (const std::string& argument : arguments) {
    if (options && argument == "--") {
      options = false;
    } else if (options && argument == "--help") {
      console.out += std::string(kUsage) + "\n" + kHelp;
      return 0;
    } else if (options && argument == "--version") {
      console.out += "brennel-check 1.00\n";
      return 0;
    } else if (options && (argument == "--json" || argument == "--all" || argument == "--moves")) {
      if (!format.empty() && format != argument) {
        return Usage(console, "give one of --all, --moves and --json");
      }
      format = argument;
    } else if (options && argument.size() > 1 && argument[0] == '-') {
      return Usage(console, "unknown option '" + argument + "'");
    } else {
      folders.push_back(argument);
    }
  }
  if (folders.size() > 1) return Usage(console, "give at most one folder");
  const std::string why = folders.empty() ? "" : console.enter(folders[0]);
  if (!why.empty()) return Usage(console, "cannot check the folder '" + folders[0] + "': " + why);
  const CheckReport report = Check(run, console.here());
  console.out += format == "--json"    ? JsonReport(report)
                 : format == "--moves" ? MovesReport(report)
                                       : TextReport(report, console.terminal && !console.no_colour,
                                                    format == "--all");
  return ExitStatus(report);
}

}  // namespace tavrik
