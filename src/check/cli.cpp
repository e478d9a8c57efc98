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
    "current folder), without changing anything on disk. The first three lines\n"
    "say the state of the mod's files, why, and what to press (\"To ...: ...\",\n"
    "tried on a dry run first); then what Activate and Deactivate would do from\n"
    "now and after each other, with each file that would not come back; then\n"
    "findings about the lists, as LIST:LINE:COLUMN: SEVERITY: TEXT [KIND].\n"
    "\n"
    "  --json     one JSON object on standard output instead of text\n"
    "  --help     this text\n"
    "  --version  the version\n"
    "\n"
    "States: inactive (every file where the activation list starts it), active\n"
    "(where a whole activation leaves it), partial (as an activation stopped at\n"
    "a pair leaves them), incomplete (nothing moved, some pairs' files in neither\n"
    "place), mixed (anything else), no-lists (neither list is there).\n"
    "\n"
    "Findings, with one example each:\n"
    "  missing-source    a pair's file is in neither place, or its target is there\n"
    "                    out of turn: 'Data/x.wav.off' is missing, and so is its\n"
    "                    target 'Data/x.wav': the walk stops at this pair; ...\n"
    "  ambiguous-name    names differ only in case, none exact: cannot tell which\n"
    "                    of 'Data/ROCK.dds', 'Data/Rock.dds' the list means by ...\n"
    "  case-twin         the file moved has a twin differing only in case:\n"
    "                    'Data/Rock.dds.off' has a twin ..., 'Data/rock.dds.off'\n"
    "  split-folder      a folder on the way has a twin differing only in case:\n"
    "                    the folder 'Data/Textures' has a twin ..., 'Data/textures'\n"
    "  empty-entry       a blank line or doubled comma shifts the pairs after it:\n"
    "                    empty entry (...) shifts the 2 pairs after it\n"
    "  shifted-pairs     an entry forgotten or doubled, found by the pairs' names:\n"
    "                    pair 2 renames 'b.dds.off' to 'c.nif.off', and ...\n"
    "  odd-entry         the last entry belongs to no pair: an entry left over ...\n"
    "  other-case        a path matches the disk only in another case: 'DATA\\A.ESP'\n"
    "                    matches the disk only in another case: 'Data/a.esp'\n"
    "  trailing-dots     matches only without a name's trailing dots and spaces:\n"
    "                    'Data\\odd.' matches ... 'Data/odd'\n"
    "  same-path         a pair renames a file to itself: the pair's source is its\n"
    "                    own target: it renames nothing\n"
    "  no-target-folder  the target's folder does not exist: the target's folder\n"
    "                    'NoSuch' does not exist: the rename will be refused\n"
    "  duplicate-source  pair 5 moves the file that pair 1 moved away already\n"
    "  duplicate-target  pair 6 moves a file onto the target of pair 1\n"
    "  leaves-folder     the path leads outside the mod's folder, to '/x/y.esp'\n"
    "  lists-differ      the lists' pairs differ: pair 3 here, 'a' and 'b', is\n"
    "                    not pair 3 of Tavrik.mla, 'a' and 'c' (Tavrik.mla:3:1)\n"
    "  too-many-entries  more than 32,767 entries: the button refuses the list\n"
    "  too-much-text     more than 10 MiB of text: the button refuses the list\n"
    "  unreadable-list   the list file is missing or cannot be read\n"
    "\n"
    "Foreseen: a missing file or folder, a target in the way (in any case), a\n"
    "read-only or other file system, a folder that may not be written, on Linux\n"
    "immutable and append-only files and folders and sticky folders, on Windows\n"
    "a file in use or whose deletion is denied. Not foreseen: a full disk or\n"
    "quota, a file system's own name rules (ntfs-3g windows_names), a security\n"
    "module's denial, and anything that changes after the check.\n"
    "\n"
    "Control characters and bidirectional controls from a list or a file name\n"
    "are shown as <U+001B>, bytes that are not UTF-8 as <0xFF>; JSON is exact.\n"
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
