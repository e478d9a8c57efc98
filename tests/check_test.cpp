// brennel-check on real folders: the state of a mod, what the buttons would
// do, the findings about its lists, its command line; and that it changes
// nothing on disk.

#include "check.h"

#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <linux/fs.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <set>
#include <sstream>

#include "launcher.h"
#include "scratch_folder.h"
#include "shown_text.h"
#include "system_platform.h"

namespace tavrik {
namespace {

namespace fs = std::filesystem;

// A mod of four files, listed in both lists as Windows users write them.
constexpr char kList[] =
    "Data\\a.esp.off,Data\\a.esp\r\n"
    "Data\\Textures\\b.dds.off,Data\\Textures\\b.dds\r\n"
    "Data\\c.nif.off,Data\\c.nif\r\n"
    "Data\\d.txt.off,Data\\d.txt\r\n";
const char* const kOff[] = {"Data/a.esp.off", "Data/Textures/b.dds.off", "Data/c.nif.off",
                            "Data/d.txt.off"};

// Every entry under the working directory: what it holds and when it last
// changed.
std::map<std::string, std::string> Disk() {
  std::map<std::string, std::string> entries;
  for (const auto& item : fs::recursive_directory_iterator(".")) {
    struct stat status;
    lstat(item.path().c_str(), &status);
    const fs::file_status own = item.symlink_status();  // a link may lead nowhere, or round
    entries[item.path().string()] =
        (fs::is_symlink(own)        ? "link to " + fs::read_symlink(item.path()).string()
         : fs::is_regular_file(own) ? ReadFile(item.path())
                                    : std::string("folder")) +
        " " + std::to_string(status.st_mtim.tv_sec) + "." + std::to_string(status.st_mtim.tv_nsec);
  }
  return entries;
}

class Check : public ::testing::Test {
 protected:
  ScratchFolder folder;

  void MakeMod(const std::string& list = kList) {
    for (const char* path : kOff) WriteFile(path, path);
    WriteFile("Tavrik.mla", list);
    WriteFile("Tavrik.mld", list);
  }

  // Walks the lists for real, as the tool does.
  void Press(bool activate) {
    SystemPlatform platform(nullptr);
    Brennel brennel(platform);
    brennel.Form_Load();
    activate ? brennel.Command3_Click() : brennel.Command4_Click();
  }

  CheckReport Checked(bool every_text = true) {
    const auto before = Disk();
    // A dry run a check, as brennel-check makes one.
    CheckReport report = tavrik::Check(*MakeDryRun(), fs::current_path().string(), every_text);
    EXPECT_EQ(Disk(), before) << "the check changed the disk";
    return report;
  }
};

// The demo mod of examples/, as shipped, copied into the working directory;
// false when the sources are not beside the tests.
bool CopyDemo() {
  const fs::path examples = fs::path(__FILE__).parent_path().parent_path() / "examples";
  if (!fs::is_directory(examples)) return false;
  fs::copy(examples, ".", fs::copy_options::recursive);
  return true;
}

// Line `n` (from 1) of the text report.
std::string Line(const CheckReport& report, int n) {
  std::istringstream text(TextReport(report, false, false));
  std::string line;
  while (n-- > 0) std::getline(text, line);
  return line;
}

std::vector<Finding> Of(const CheckReport& report, const std::string& kind) {
  std::vector<Finding> found;
  for (const Finding& finding : report.findings) {
    if (std::string(NameOf(finding.kind)) == kind) found.push_back(finding);
  }
  return found;
}

// Lines of the text report, and whether it guesses what no dry run proves.
std::size_t Lines(const std::string& text) { return std::count(text.begin(), text.end(), '\n'); }
bool Guesses(const CheckReport& report) {
  const std::string text = TextReport(report, false, true);
  return text.find("another mod") != std::string::npos ||
         text.find("by hand") != std::string::npos || text.find("swapped") != std::string::npos;
}

// Makes the report's moves by hand, as a player copies them.
void FollowMoves(const CheckReport& report) {
  for (const Move& move : report.moves) fs::rename(move.from, move.to);
}

// Where a finding is: "Tavrik.mla 3:1".
std::string At(const Finding& finding) {
  return finding.list + " " + std::to_string(finding.position.line) + ":" +
         std::to_string(finding.position.column);
}

TEST_F(Check, AModInEachStateAndWhatTheButtonsWouldDo) {
  MakeMod();
  CheckReport report = Checked();
  EXPECT_EQ(report.state, State::kInactive);
  EXPECT_EQ(report.activate.from_now().result, Result::kComplete);
  EXPECT_EQ(report.activate.from_now().renames, 4u);
  EXPECT_EQ(report.activate.then_other().result, Result::kComplete);
  EXPECT_TRUE(report.activate.round_trip);
  EXPECT_EQ(report.deactivate.from_now().result, Result::kMissing);
  EXPECT_EQ(report.deactivate.from_now().pair, 1u);
  EXPECT_EQ(report.deactivate.from_now().text, "Data\\a.esp is missing");
  EXPECT_TRUE(report.findings.empty());
  EXPECT_EQ(ExitStatus(report), 0);

  Press(true);
  report = Checked();
  EXPECT_EQ(report.state, State::kActive);
  EXPECT_EQ(report.deactivate.from_now().result, Result::kComplete);
  EXPECT_TRUE(report.deactivate.round_trip);
  EXPECT_EQ(ExitStatus(report), 0);

  // Another program puts a file in the way of the way back: the check says
  // where Deactivate would stop and with what error.
  WriteFile("Data/c.nif.off", "in the way");
  report = Checked();
  EXPECT_EQ(report.deactivate.from_now().result, Result::kError);
  EXPECT_EQ(report.deactivate.from_now().pair, 3u);
  EXPECT_EQ(report.deactivate.from_now().text,
            "Error 17: Cannot rename 'Data\\c.nif' to 'Data\\c.nif.off': File exists");
  EXPECT_EQ(report.deactivate.from_now().renames, 2u);
  EXPECT_EQ(ExitStatus(report), 1);
}

TEST_F(Check, AWalkStoppedHalfWayByAMissingFileIsPartialAndOutOfOrderFilesAreMixed) {
  MakeMod();
  fs::rename("Data/c.nif.off", "elsewhere");
  Press(true);  // stops at pair 3: "Data\c.nif.off is missing"
  fs::rename("elsewhere", "Data/c.nif.off");
  CheckReport report = Checked();
  EXPECT_EQ(report.state, State::kActivationStopped);
  EXPECT_EQ(report.stop, 3u);
  EXPECT_EQ(report.activate.from_now().result, Result::kMissing);
  EXPECT_EQ(report.activate.from_now().pair, 1u);
  EXPECT_EQ(ExitStatus(report), 1);

  fs::rename("Data/c.nif.off", "Data/c.nif");                    // pair 3 done, by hand
  fs::rename("Data/Textures/b.dds", "Data/Textures/b.dds.off");  // pair 2 undone
  report = Checked();
  EXPECT_EQ(report.state, State::kMixed);
  EXPECT_EQ(report.moved, (std::vector<std::size_t>{1, 3}));
  EXPECT_EQ(ExitStatus(report), 1);
  // Pair 1's file lost: pair 2's is the one not moved.
  fs::remove("Data/a.esp");
  EXPECT_EQ(Line(Checked(), 2),
            "Pair 3's file is at 'Data/c.nif', where Activate puts it, while pair 2's is not "
            "moved.");
}

// Each kind of finding once, at its entry, line and column.
TEST_F(Check, FindingsNameTheirListEntryLineAndColumn) {
  for (const char* path : kOff) WriteFile(path, path);
  WriteFile("Data/same.esp", "");
  WriteFile("Data/odd", "");
  WriteFile("Tavrik.mla",
            "Data\\a.esp.off,Data\\a.esp\r\n"            // 1, 2
            "DATA\\TEXTURES\\B.DDS.OFF,data\\b.dds\r\n"  // 3 other case, 4 folder in another case
            "Data\\odd.,Data\\even\r\n"                  // 5 only without trailing dots
            "Data\\same.esp,Data\\same.esp\r\n"          // 7 its own target
            "Data\\a.esp.off,Data\\a2.esp\r\n"           // 9 moved away already
            "Data\\c.nif.off,Data\\a.esp\r\n"    // 12 onto pair 1's target: the walk stops at 9
            "Data\\d.txt.off,NoSuch\\d.txt\r\n"  // 14 no such folder
            "..\\outside.esp,x.esp\r\n"          // 15 outside the folder, missing
            "\r\n"                               // 17 empty: shifts 2 pairs
            "y.esp,z.esp\r\n"                    // 18, 19
            "w.esp,left.esp\r\n"                 // 20, 21 left over
  );
  WriteFile("Tavrik.mld", "Data\\a.esp.off,Data\\a.esp\r\n");  // 1 pair: parts after it
  const CheckReport report = Checked();
  std::set<std::tuple<std::string, std::string, std::size_t, std::size_t, std::size_t>> found;
  for (const Finding& finding : report.findings) {
    found.insert({finding.list, std::string(NameOf(finding.kind)), finding.entry,
                  finding.position.line, finding.position.column});
  }
  const std::set<std::tuple<std::string, std::string, std::size_t, std::size_t, std::size_t>>
      expected = {{"Tavrik.mla", "other-case", 3, 2, 1},
                  {"Tavrik.mla", "other-case", 4, 2, 25},
                  {"Tavrik.mla", "trailing-dots", 5, 3, 1},
                  {"Tavrik.mla", "same-path", 7, 4, 1},
                  {"Tavrik.mla", "duplicate-source", 9, 5, 1},
                  {"Tavrik.mla", "no-target-folder", 14, 7, 16},
                  {"Tavrik.mla", "leaves-folder", 15, 8, 1},
                  {"Tavrik.mla", "missing-source", 15, 8, 1},
                  {"Tavrik.mla", "empty-entry", 17, 9, 1},
                  {"Tavrik.mla", "odd-entry", 21, 11, 7},
                  {"Tavrik.mla", "lists-differ", 3, 2, 1},
                  {"Tavrik.mld", "lists-differ", 2, 1, 16}};
  EXPECT_EQ(found, expected);
  for (const Finding& finding : report.findings) {
    if (finding.kind == Kind::kEmptyEntry) {
      EXPECT_EQ(finding.text,
                "empty entry (a blank line or a doubled comma) shifts the 2 pairs "
                "after it; take it out");
    }
    if (finding.kind == Kind::kDuplicateSource) {
      EXPECT_EQ(finding.text,
                "pair 1 moved 'Data\\a.esp.off' away already (Tavrik.mla:1:1); take pair 1 or pair "
                "5 out of Tavrik.mla");
    }
    if (finding.kind == Kind::kLeavesFolder) {
      EXPECT_NE(finding.text.find("'" + (folder.path().parent_path() / "outside.esp").string()),
                std::string::npos)
          << finding.text;
    }
  }
}

TEST_F(Check, AListTooLongToWalkAndAMissingListAreFindings) {
  std::string list;
  for (int i = 0; i < 32768; ++i) list += "f" + std::to_string(i) + "\n";
  WriteFile("Tavrik.mla", list);
  const CheckReport report = Checked();
  std::set<std::string> kinds;
  for (const Finding& finding : report.findings)
    kinds.insert(finding.list + " " + std::string(NameOf(finding.kind)));
  EXPECT_EQ(kinds, (std::set<std::string>{"Tavrik.mla too-many-entries",
                                          "Tavrik.mla missing-source",  // no file is there
                                          "Tavrik.mld unreadable-list"}));
  EXPECT_EQ(report.activate.from_now().result, Result::kError);
  EXPECT_FALSE(report.activate.from_now().pair);
  // 16,383 pairs without their files: every one kept, counted under the
  // refusal, which stops the walk before any of them.
  EXPECT_EQ(Of(report, "missing-source").size(), 16383u);
  EXPECT_EQ(Of(report, "missing-source")[0].text.find("the walk stops"), std::string::npos);
  const std::string text = TextReport(report, false, false);
  EXPECT_LE(std::count(text.begin(), text.end(), '\n'), 40) << text;
  EXPECT_NE(text.find("[too-many-entries] (16,383 other findings follow from it)\n"),
            std::string::npos)
      << text;
}

TEST_F(Check, AListPastTheBoundOnTextIsAFinding) {
  // 12 MB of text in 400 entries: read up to the bound, refused whole.
  std::string list;
  for (int i = 0; i < 400; ++i) list += std::string(30000, 'a' + i % 26) + "\n";
  WriteFile("Tavrik.mla", list);
  const CheckReport report = Checked();
  const auto too_much = Of(report, "too-much-text");
  ASSERT_EQ(too_much.size(), 1u);
  EXPECT_EQ(too_much[0].list, "Tavrik.mla");
  EXPECT_EQ(too_much[0].severity, Severity::kError);
  EXPECT_EQ(report.activate.from_now().result, Result::kError);
}

int CheckWith(const std::vector<std::string>& arguments, CheckConsole& console) {
  console.enter = [](const std::string& path) -> std::string {
    return chdir(path.c_str()) == 0 ? "" : "No such file or directory";
  };
  console.here = [] { return fs::current_path().string(); };
  return RunCheck(arguments, console, *MakeDryRun());
}

TEST_F(Check, TheCommandLineAnswersInTextOrJsonAndTellsUsageErrors) {
  MakeMod();
  fs::create_directory("sub");
  CheckConsole help, version, unknown, missing, two;
  EXPECT_EQ(CheckWith({"--help"}, help), 0);
  EXPECT_NE(help.out.find("usage: brennel-check"), std::string::npos);
  EXPECT_EQ(CheckWith({"--version"}, version), 0);
  EXPECT_EQ(version.out, "brennel-check 1.00\n");
  EXPECT_EQ(CheckWith({"--frobnicate"}, unknown), 2);
  EXPECT_EQ(unknown.err,
            "brennel-check: unknown option '--frobnicate' (usage: brennel-check [--all | --moves | "
            "--json] [FOLDER])\n");
  EXPECT_EQ(CheckWith({"no such folder"}, missing), 2);
  EXPECT_TRUE(missing.out.empty());
  EXPECT_EQ(CheckWith({".", "sub"}, two), 2);

  CheckConsole json;
  EXPECT_EQ(CheckWith({"--json", "."}, json), 0);
  const nlohmann::json object = nlohmann::json::parse(json.out);
  EXPECT_EQ(object["state"], "inactive");
  EXPECT_EQ(object["activate"]["from_now"]["result"], "complete");
  EXPECT_EQ(object["activate"]["from_now"]["renames"], 4);
  EXPECT_TRUE(object["activate"]["from_now"]["pair"].is_null());
  EXPECT_EQ(object["deactivate"]["from_now"]["text"], "Data\\a.esp is missing");
  EXPECT_TRUE(object["findings"].is_array());

  CheckConsole text, coloured;
  coloured.terminal = true;
  EXPECT_EQ(CheckWith({}, text), 0);
  EXPECT_EQ(text.out.find('\033'), std::string::npos);
  EXPECT_NE(text.out.find("State: inactive"), std::string::npos) << text.out;
  CheckWith({}, coloured);
  EXPECT_NE(coloured.out.find('\033'), std::string::npos);
  coloured.out.clear();
  coloured.no_colour = true;
  CheckWith({}, coloured);
  EXPECT_EQ(coloured.out.find('\033'), std::string::npos);
}

TEST_F(Check, TheDemoModInEachStateSaysWhatItIsWhyAndWhatToPress) {
  if (!CopyDemo()) GTEST_SKIP() << "examples/ is not beside the tests' sources";
  // As shipped: every file there, none moved.
  CheckReport report = Checked();
  EXPECT_EQ(report.state, State::kInactive);
  EXPECT_EQ(Line(report, 3), "To activate the mod: press Activate.");
  // The button with nothing to do does not read as a fault.
  EXPECT_EQ(Line(report, 7).find("Deactivate: nothing to undo: it stops at pair 1"), 0u);

  // Without its sound file, the demo's other copy.
  const std::string sound = ReadFile("Data/Sounds/tavrik_cloak.wav.off");
  fs::remove("Data/Sounds/tavrik_cloak.wav.off");
  report = Checked();
  EXPECT_EQ(report.state, State::kIncomplete);
  EXPECT_EQ(report.missing, (std::vector<std::size_t>{5}));
  EXPECT_EQ(Line(report, 2),
            "Activate would stop at pair 5, after 4 renames: neither "
            "'Data/Sounds/tavrik_cloak.wav.off' nor 'Data/Sounds/tavrik_cloak.wav' is there.");
  EXPECT_EQ(Line(report, 3),
            "To activate what the mod has (the file of pair 5 is missing): press Activate (it "
            "moves 4 files and stops at pair 5; the box 'Data/Sounds/tavrik_cloak.wav.off is "
            "missing' is expected).");
  WriteFile("Data/Sounds/tavrik_cloak.wav.off", sound);

  Press(true);
  report = Checked();
  EXPECT_EQ(report.state, State::kActive);
  EXPECT_EQ(Line(report, 3), "To deactivate the mod: press Deactivate.");
  EXPECT_EQ(ExitStatus(report), 0);

  // Another mod's file in the way of pair 3 stops a real activation there.
  Press(false);
  WriteFile("Data/Meshes/tavrik_cloak.nif", "another mod's mesh");
  EXPECT_THROW(Press(true), Error);
  report = Checked();
  EXPECT_EQ(report.state, State::kBothNames);
  EXPECT_EQ(report.both, (std::vector<std::size_t>{3}));
  // Whose the file is, the check cannot know: it says where the files are,
  // and leaves the choice of the one to keep to the player.
  EXPECT_EQ(Line(report, 3),
            "To keep one version of each file: both copies are there, "
            "'Data/Meshes/tavrik_cloak.nif.off' and 'Data/Meshes/tavrik_cloak.nif'; decide which "
            "to keep, take the other out of the mod's folder, and check again.");
  EXPECT_TRUE(report.moves.empty());
  EXPECT_EQ(ExitStatus(report), 1);

  // The other mod's file taken out, for real, the mod goes in.
  fs::rename("Data/Meshes/tavrik_cloak.nif", "Data/Meshes/tavrik_cloak.nif.aside");
  Press(false);
  Press(true);
  EXPECT_EQ(Checked().state, State::kActive);
}

// What a trial of mods shaped like players' found said wrongly: advice after a
// stopped walk, a misspelling's fix, a lone follower's count, a long box text.
TEST_F(Check, AdviceAndCountsSayOnlyWhatIsSo) {
  if (!CopyDemo()) GTEST_SKIP() << "examples/ is not beside the tests' sources";
  // Activate stopped at pair 3: the way out ends with the mod out again, as
  // it should, and that is no file left under another name.
  fs::remove("Data/Sounds/tavrik_cloak.wav.off");
  fs::rename("Data/TavrikCloak.esp.off", "Data/TavrikCloak.esp");
  fs::rename("Data/Textures/tavrik_cloak.dds.off", "Data/Textures/tavrik_cloak.dds");
  CheckReport report = Checked();
  EXPECT_EQ(report.state, State::kActivationStopped);
  EXPECT_EQ(Line(report, 3).find("under other names"), std::string::npos) << Line(report, 3);

  // Only the source misspelt: its own entry is what to correct.
  for (const char* path : kOff) WriteFile(path, path);
  std::string list = kList;
  WriteFile("Tavrik.mla", list.replace(list.find("c.nif.off"), 9, "cc.nif.off"));
  WriteFile("Tavrik.mld", kList);
  report = Checked();
  EXPECT_NE(Line(report, 3).find("first, correct Tavrik.mla:3:1; then"), std::string::npos)
      << Line(report, 3);
  // The last file moved in already, the first three not: nothing is missing.
  MakeMod();
  WriteFile("Tavrik.mld",
            "Data\\d.txt.off,Data\\d.txt\r\nData\\c.nif.off,Data\\c.nif\r\n"
            "Data\\Textures\\b.dds.off,Data\\Textures\\b.dds\r\nData\\a.esp.off,Data\\a.esp\r\n");
  fs::rename("Data/d.txt.off", "Data/d.txt");
  EXPECT_EQ(Line(Checked(), 3),
            "To activate the mod: press Activate (it moves 3 files and stops at pair 4; the box "
            "'Data\\d.txt.off is missing' is expected).");
  fs::rename("Data/d.txt", "Data/d.txt.off");

  // No press gets there: what to do first names what to make and where.
  WriteFile("Tavrik.mla", "Data\\a.esp.off,Data\\New\\a.esp\r\n");
  EXPECT_NE(Checked().next.find("first, make the folder 'Data/New', or correct Tavrik.mla:1:16;"),
            std::string::npos)
      << Checked().next;

  // One finding under another is "follows": a forgotten line, one entry a
  // line, and where the lists part because of it.
  std::string one_a_line, whole;
  for (int i = 10; i < 60; ++i) {
    const std::string name = "Data/m" + std::to_string(i) + ".nif";
    WriteFile(name + ".off", name);
    whole += name + ".off\n" + name + "\n";
    if (i != 30) one_a_line += name + ".off\n";
    one_a_line += name + "\n";
  }
  WriteFile("Tavrik.mla", one_a_line);
  WriteFile("Tavrik.mld", whole);
  report = Checked();
  EXPECT_NE(TextReport(report, false, false).find("(1 other finding follows from it)"),
            std::string::npos)
      << TextReport(report, false, false);

  // A missing file's path of 4,000 bytes: the box is quoted cut, as paths are.
  std::string path = "Data";
  while (path.size() < 4000) path += "\\" + std::string(99, 'f');
  WriteFile("Tavrik.mla", path + ".off," + path + "\r\n");
  const std::string text = TextReport(Checked(), false, false);
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) EXPECT_LT(line.size(), 800u) << line;
}

// Links met after a rename of the dry run's own: a chain is followed from
// each link's own folder, as the system follows it, and a link that leads
// into itself is a missing file, not a crash.
TEST_F(Check, LinksAfterARenameAreFollowedAsTheSystemFollowsThem) {
  WriteFile("Data/z.off", "z");
  WriteFile("B/f.off", "f");
  fs::create_directory("A");
  fs::create_symlink("f.off", "B/l2");
  fs::create_symlink("../B/l2", "A/l1");
  WriteFile("Tavrik.mla", "Data/z.off,Data/z\r\nA/l1,A/l1.on\r\n");
  WriteFile("Tavrik.mld", "Data/z.off,Data/z\r\nA/l1,A/l1.on\r\n");
  EXPECT_EQ(Checked().activate.from_now().result, Result::kComplete);
  Press(true);
  EXPECT_TRUE(fs::is_symlink("A/l1.on"));

  fs::create_symlink("loop/x", "Data/loop");
  WriteFile("Tavrik.mla", "Data/z,Data/z.on\r\nData/loop/a.off,Data/loop/a\r\n");
  const Outcome predicted = Checked().activate.from_now();
  EXPECT_EQ(predicted.result, Result::kMissing);
  EXPECT_EQ(predicted.pair, 2u);

  // A link to nothing where Deactivate puts its file is no file put there.
  fs::create_symlink("nowhere", "Data/w.off");
  WriteFile("Tavrik.mld", "Data/w.off,Data/w\r\n");
  const Cause back = Checked().deactivate.from_now().cause;
  EXPECT_EQ(std::string(NameOf(back.kind)), "missing-source") << back.text;
}

TEST_F(Check, TheReadmeSampleIsWhatTheShippedDemoPrints) {
  const fs::path readme = fs::path(__FILE__).parent_path().parent_path() / "README.md";
  if (!CopyDemo() || !fs::exists(readme)) GTEST_SKIP() << "the sources are not beside the tests";
  const std::string text = ReadFile(readme);
  const std::string prompt = "$ brennel-check /tmp/Tavrik\n";
  const std::size_t start = text.find(prompt);
  ASSERT_NE(start, std::string::npos) << "no sample in the README";
  const std::size_t end = text.find("```", start);
  std::string printed = TextReport(Checked(), false, false);
  const std::string here = "Folder: " + fs::current_path().string() + "\n";
  printed.replace(printed.find(here), here.size(), "Folder: /tmp/Tavrik\n");
  EXPECT_EQ(text.substr(start + prompt.size(), end - start - prompt.size()), printed);
}

// A list written on Windows, with a name in another case than on disk.
TEST_F(Check, ARoundTripNamesTheFileThatDoesNotComeBackAndTheSpellingToUse) {
  WriteFile("Data/Textures/Rock.dds.off", "rock");
  MakeMod("Data\\Textures\\rock.dds.off,Data\\Textures\\rock.dds\r\n");
  const CheckReport report = Checked();
  EXPECT_EQ(report.state, State::kInactive);
  EXPECT_EQ(report.activate.then_other().result, Result::kComplete);
  ASSERT_EQ(report.activate.displaced.size(), 1u);
  const Displaced& file = report.activate.displaced[0];
  EXPECT_EQ(file.from, "Data/Textures/Rock.dds.off");
  EXPECT_EQ(file.to, "Data/Textures/rock.dds.off");
  EXPECT_NE(file.cause.find("spell it 'Rock.dds.off' at Tavrik.mld:1:1"), std::string::npos)
      << file.cause;
  EXPECT_NE(Line(report, 2).find(file.cause), std::string::npos);
  EXPECT_EQ(ExitStatus(report), 1);
}

TEST_F(Check, AMissingSourceIsAFindingAndATargetThereIsOutOfTurn) {
  MakeMod();
  fs::remove("Data/d.txt.off");
  fs::rename("Data/Textures/b.dds.off", "Data/Textures/b.dds");
  const CheckReport report = Checked();
  std::map<std::string, std::string> found;
  for (const Finding& finding : Of(report, "missing-source")) found[At(finding)] = finding.text;
  ASSERT_EQ(found.size(), 3u);
  EXPECT_NE(found["Tavrik.mla 2:1"].find("its target 'Data\\Textures\\b.dds' is there"),
            std::string::npos);
  EXPECT_NE(
      found["Tavrik.mla 2:1"].find("while the file of pair 1 is not moved: it is out of turn"),
      std::string::npos);
  EXPECT_EQ(found["Tavrik.mla 4:1"].find("neither 'Data\\d.txt.off' nor 'Data\\d.txt' is there"),
            0u);
  EXPECT_EQ(found["Tavrik.mld 4:16"].find("neither 'Data\\d.txt' nor"), 0u);
  EXPECT_EQ(report.state, State::kMixed);
  EXPECT_EQ(Line(report, 3),
            "To activate what the mod has (the file of pair 4 is missing): move "
            "'Data/Textures/b.dds' to 'Data/Textures/b.dds.off', then press Activate (it moves 3 "
            "files and stops at pair 4; the box 'Data\\d.txt.off is missing' is expected).");
}

TEST_F(Check, AnAmbiguousNameNamesItsCandidates) {
  WriteFile("Data/Rock.dds", "1");
  WriteFile("Data/ROCK.dds", "2");
  MakeMod("Data\\rock.dds,Data\\r.dds\r\n");
  const auto found = Of(Checked(), "ambiguous-name");
  ASSERT_EQ(found.size(), 2u);  // in both lists
  EXPECT_EQ(At(found[0]), "Tavrik.mla 1:1");
  EXPECT_NE(found[0].text.find("'Data/ROCK.dds'"), std::string::npos) << found[0].text;
  EXPECT_NE(found[0].text.find("'Data/Rock.dds'"), std::string::npos);
}

TEST_F(Check, TwoFilesThatDifferOnlyInCaseAreTwins) {
  WriteFile("Data/Rock.dds.off", "1");
  WriteFile("Data/rock.dds.off", "2");
  MakeMod("Data\\Rock.dds.off,Data\\Rock.dds\r\n");
  const auto found = Of(Checked(), "case-twin");
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(At(found[0]), "Tavrik.mla 1:1");
  EXPECT_NE(found[0].text.find("'Data/rock.dds.off'"), std::string::npos) << found[0].text;
}

// A game run through a Windows compatibility layer sees one of them.
TEST_F(Check, AFolderSplitByCaseIsNamedWithTheHalfTheWalkUses) {
  WriteFile("Data/Textures/b.dds.off", "b");
  fs::create_directories("Data/textures");
  fs::create_directories("Data/Meshes");
  fs::create_directories("Data/MESHES");
  WriteFile("c.nif", "c");
  MakeMod(
      "Data\\Textures\\b.dds.off,Data\\Textures\\b.dds\r\n"
      "c.nif,Data\\Meshes\\c.nif\r\n");
  const CheckReport report = Checked();
  const auto found = Of(report, "split-folder");
  ASSERT_EQ(found.size(), 2u) << "each folder once";
  EXPECT_EQ(At(found[0]), "Tavrik.mla 1:1");
  EXPECT_NE(found[0].text.find("'Data/textures'"), std::string::npos);
  EXPECT_NE(found[0].text.find("takes this pair's file from 'Data/Textures'"), std::string::npos);
  EXPECT_EQ(At(found[1]), "Tavrik.mla 2:7");
  EXPECT_NE(found[1].text.find("puts this pair's file in 'Data/Meshes'"), std::string::npos);
  const nlohmann::json json = nlohmann::json::parse(JsonReport(report));
  EXPECT_EQ(json["findings"][0]["kind"], "split-folder");
  EXPECT_EQ(json["findings"][0]["severity"], "warning");
}

// One path a line, and the line "Data\Textures\b.dds" forgotten.
TEST_F(Check, AForgottenEntryIsFoundWhereThePairsStartToBeShifted) {
  MakeMod();
  WriteFile("Tavrik.mla",
            "Data\\a.esp.off\r\nData\\a.esp\r\nData\\Textures\\b.dds.off\r\n"
            "Data\\c.nif.off\r\nData\\c.nif\r\nData\\d.txt.off\r\nData\\d.txt\r\n");
  const CheckReport report = Checked();
  const auto shifted = Of(report, "shifted-pairs");
  ASSERT_EQ(shifted.size(), 1u);
  EXPECT_EQ(At(shifted[0]), "Tavrik.mla 3:1");
  EXPECT_NE(Of(report, "odd-entry")[0].text.find("follows from the shift at Tavrik.mla:3:1"),
            std::string::npos);
  for (const Finding& finding : Of(report, "lists-differ")) {
    EXPECT_NE(finding.text.find("follows from the shift at Tavrik.mla:3:1"), std::string::npos)
        << finding.text;
  }
  EXPECT_EQ(Line(report, 3),
            "To fix the list: look at Tavrik.mla:3:1: an entry beside it is missing, or it is one "
            "too many.");
}

TEST_F(Check, ListsDifferNamesThePairInBothListsAndPutsItOnAnEmptyEntryThatCausesIt) {
  MakeMod();
  WriteFile("Tavrik.mld",
            "Data\\a.esp.off,Data\\a.esp\r\nData\\Textures\\b.dds.off,Data\\Textures\\b.dds\r\n"
            "Data\\c.nif.off,Data\\C2.nif\r\nData\\d.txt.off,Data\\d.txt\r\n");
  auto found = Of(Checked(), "lists-differ");
  ASSERT_EQ(found.size(), 2u);
  EXPECT_EQ(At(found[0]), "Tavrik.mla 3:1");
  EXPECT_EQ(At(found[1]), "Tavrik.mld 3:1");
  EXPECT_NE(found[1].text.find("'Data\\c.nif.off' and 'Data\\C2.nif', is not pair 3 of "
                               "Tavrik.mla, 'Data\\c.nif.off' and 'Data\\c.nif' (Tavrik.mla:3:1)"),
            std::string::npos)
      << found[1].text;

  // A blank line in the activation list: the right deactivation list is
  // not to blame.
  WriteFile("Tavrik.mld", kList);
  WriteFile("Tavrik.mla", std::string(kList).insert(27, "\r\n"));
  found = Of(Checked(), "lists-differ");
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(At(found[0]), "Tavrik.mla 2:1");
  EXPECT_NE(found[0].text.find("part at this empty entry"), std::string::npos);
}

// What a walk leaves, told as it: a deactivation stopped by a file lost
// while active, an activation stopped by a forgotten line, and an archive
// unpacked again over the active mod.
TEST_F(Check, AStateIsWhereTheFilesAreNamedForTheWalkThatLeavesThemSo) {
  MakeMod();
  Press(true);
  fs::remove("Data/c.nif");
  Press(false);  // "Data\c.nif is missing"
  CheckReport report = Checked();
  EXPECT_EQ(report.state, State::kDeactivationStopped);
  EXPECT_EQ(report.stop, 3u);
  EXPECT_EQ(Line(report, 2),
            "What stops Deactivate at pair 3: neither 'Data\\c.nif' nor 'Data\\c.nif.off' is "
            "there.");
  EXPECT_FALSE(Guesses(report));

  fs::remove_all("Data");
  MakeMod();
  WriteFile(
      "Tavrik.mla",  // one path a line, "Data\c.nif" forgotten
      "Data\\a.esp.off\r\nData\\a.esp\r\nData\\Textures\\b.dds.off\r\nData\\Textures\\b.dds\r\n"
      "Data\\c.nif.off\r\nData\\d.txt.off\r\nData\\d.txt\r\n");
  EXPECT_THROW(Press(true), Error);  // pair 3 renames c.nif.off onto d.txt.off
  report = Checked();
  EXPECT_EQ(report.state, State::kActivationStopped);
  EXPECT_EQ(report.stop, 3u);
  EXPECT_NE(Line(report, 1).find("stops at pair 3, where the pairs start to be shifted by one "
                                 "entry (Tavrik.mla:5:1)"),
            std::string::npos)
      << Line(report, 1);
  EXPECT_EQ(Line(report, 3),
            "To fix the list: press Deactivate first (it moves 2 files back; the box "
            "'Data\\c.nif is missing' is expected), then look at Tavrik.mla:5:1: an entry beside "
            "it is missing, or it is one too many.");

  fs::remove_all("Data");
  MakeMod();
  Press(true);
  for (const char* path : kOff) WriteFile(path, "unpacked again");
  report = Checked();
  EXPECT_EQ(report.state, State::kBothNames);
  EXPECT_EQ(report.both, (std::vector<std::size_t>{1, 2, 3, 4}));
  EXPECT_FALSE(Guesses(report));
  EXPECT_TRUE(report.moves.empty());  // which copy goes, the player says
  // The player keeps the unpacked files, the others aside.
  for (const char* path : {"Data/a.esp", "Data/Textures/b.dds", "Data/c.nif", "Data/d.txt"}) {
    fs::rename(path, std::string(path) + ".aside");
  }
  Press(true);
  EXPECT_EQ(Checked().state, State::kActive);
  EXPECT_EQ(ReadFile("Data/c.nif"), "unpacked again");
  EXPECT_EQ(ReadFile("Data/c.nif.aside"), "Data/c.nif.off");
}

// "Data\TEXTURES" with "Textures" and "textures" on disk: no file is in the
// way, and the ambiguity comes first.
TEST_F(Check, AnAmbiguousFolderIsTheCauseNotAFileInTheWay) {
  WriteFile("Data/Textures/b.dds.off", "b");
  fs::create_directories("Data/textures");
  MakeMod("Data\\TEXTURES\\b.dds.off,Data\\TEXTURES\\b.dds\r\n");
  const CheckReport report = Checked();
  EXPECT_EQ(report.state, State::kAmbiguous);
  EXPECT_TRUE(report.both.empty());
  EXPECT_NE(Line(report, 2).find("Activate would stop at pair 1, after 0 renames: cannot tell "
                                 "which of"),
            std::string::npos)
      << Line(report, 2);
  EXPECT_EQ(nlohmann::json::parse(JsonReport(report))["both_pairs"].size(), 0u);
}

// A list that spells names otherwise than the disk, and files in the way of
// eight pairs: every move in the disk's own spelling, and they work.
TEST_F(Check, EveryMoveByHandIsInTheDisksSpellingAndTheWayOutWorks) {
  // Pairs 2-9 moved out of turn, a file of each case on disk: eight moves back.
  std::string list;
  for (int i = 0; i < 10; ++i) {
    const std::string n = std::to_string(i);
    WriteFile("Data/Meshes/armor/tav_armo_00" + n + (i == 0 || i == 9 ? ".nif.off" : ".nif"),
              "mod");
    list += "Data\\Meshes\\Armor\\Tav_Armo_00" + n + ".NIF.off,Data\\Meshes\\Armor\\Tav_Armo_00" +
            n + ".NIF\r\n";
  }
  MakeMod(list);
  const CheckReport report = Checked();
  ASSERT_EQ(report.moves.size(), 8u);
  for (const Move& move : report.moves) EXPECT_TRUE(fs::exists(move.from)) << move.from;
  EXPECT_EQ(report.moves[0].from, "Data/Meshes/armor/tav_armo_001.nif");
  EXPECT_NE(Line(report, 3).find("and 5 more files (brennel-check --moves prints every move), "
                                 "then press Activate"),
            std::string::npos)
      << Line(report, 3);
  const std::string moves = MovesReport(report);
  EXPECT_EQ(Lines(moves), 8u);
  EXPECT_EQ(moves.find("mv -n -- 'Data/Meshes/armor/tav_armo_001.nif' "
                       "'Data/Meshes/armor/Tav_Armo_001.NIF.off'\n"),
            0u);
  FollowMoves(report);
  Press(true);
  EXPECT_EQ(Checked().state, State::kActive);
}

// Half a mod's files in "Data/textures" beside "Data/Textures": the split is
// told first, and the missing files are counted under it.
TEST_F(Check, ASplitFolderComesFirstAndItsMissingFilesFollowFromIt) {
  std::string list;
  for (int i = 0; i < 6; ++i) {
    const std::string n = std::to_string(i);
    WriteFile((i % 2 == 0 ? "Data/Textures/t" : "Data/textures/t") + n + ".dds.off", n);
    list += "Data\\Textures\\t" + n + ".dds.off,Data\\Textures\\t" + n + ".dds\r\n";
  }
  MakeMod(list);
  const CheckReport report = Checked();
  EXPECT_NE(Line(report, 1).find("they are in a twin of a folder on the way"), std::string::npos);
  EXPECT_EQ(Line(report, 2),
            "Activate would stop at pair 2, after 1 rename: 'Data\\Textures\\t1.dds.off' is not "
            "there, but 'Data/textures/t1.dds.off' is: a folder on its way has a twin that "
            "differs only in case.");
  const std::string text = TextReport(report, false, false);
  EXPECT_NE(text.find("[split-folder] (6 other findings follow from it)"), std::string::npos)
      << text;
  EXPECT_EQ(text.find("[missing-source]"), std::string::npos) << text;
  FollowMoves(report);
  Press(true);
  EXPECT_EQ(Checked().state, State::kActive);

  // The last files all in the twin: Activate stops with nothing after it
  // there, yet they are to be moved out of the twin, not called missing.
  fs::remove_all("Data");
  for (int i = 0; i < 6; ++i) {
    WriteFile((i < 4 ? "Data/Textures/t" : "Data/textures/t") + std::to_string(i) + ".dds.off",
              "t");
  }
  const CheckReport twin = Checked();
  EXPECT_EQ(Line(twin, 3),
            "To activate the mod: move 'Data/textures/t4.dds.off' to 'Data/Textures/t4.dds.off' "
            "and 'Data/textures/t5.dds.off' to 'Data/Textures/t5.dds.off', then press Activate.");
  FollowMoves(twin);
  Press(true);
  EXPECT_EQ(Checked().state, State::kActive);
  // A file truly missing before them stops every walk there: no press
  // activates what the mod has, and they are not called missing.
  Press(false);
  fs::remove("Data/Textures/t3.dds.off");
  for (const char* name : {"/t4.dds.off", "/t5.dds.off"}) {
    fs::rename(std::string("Data/Textures") + name, std::string("Data/textures") + name);
  }
  EXPECT_EQ(Line(Checked(), 3)
                .find("To activate the mod: first, put the file there as "
                      "'Data/Textures/t3.dds.off'"),
            0u)
      << Line(Checked(), 3);
}

// Lists alike but for case are one list only where no folder has a twin:
// here the deactivation list's spelling leads into the empty half.
TEST_F(Check, ListsAlikeButForCaseAreLookedAtApartBesideAFolderTwin) {
  MakeMod("Data\\Textures\\b.dds.off,Data\\Textures\\b.dds\r\n");
  WriteFile("Tavrik.mld", "Data\\textures\\b.dds.off,Data\\textures\\b.dds\r\n");
  fs::create_directories("Data/textures");
  const auto missing = Of(Checked(), "missing-source");
  ASSERT_EQ(missing.size(), 1u);
  EXPECT_EQ(At(missing[0]), "Tavrik.mld 1:25");
}

// "x.off." on disk is found as "x.off." and not as "x.off", though Windows
// takes the two spellings for one: lists that differ so are looked at apart.
TEST_F(Check, ListsThatDifferByATrailingDotAreLookedAtApart) {
  MakeMod("Data\\x.off,Data\\x\r\n");
  WriteFile("Tavrik.mld", "Data\\x.off.,Data\\x\r\n");
  WriteFile("Data/x.off.", "x");
  const CheckReport report = Checked();
  ASSERT_EQ(Of(report, "misspelt").size(), 1u);
  for (const Finding& finding : report.findings) {  // "x.off." is no file moved already
    EXPECT_EQ(finding.list, "Tavrik.mla") << finding.text;
  }
}

// A path's key is what Windows compares: one place, written any way, has one key.
TEST(CheckedListKey, OnePlaceHasOneKeyHoweverItIsWritten) {
  const EntryList entries = {"Data\\Textures\\a.dds",        "data/TEXTURES/A.DDS",
                             "Data\\\\Textures\\.\\a.dds. ", "Data\\Meshes\\..\\Textures\\a.dds",
                             "Data\\Textures \\a.dds",       "Data\\Textures\\b.dds",
                             "\\Data\\Textures\\a.dds"};
  CheckedList list;
  list.entries = &entries;
  for (std::size_t entry = 2; entry <= 5; ++entry) {
    EXPECT_EQ(list.Key(entry), list.Key(1)) << list.Entry(entry);
  }
  EXPECT_NE(list.Key(6), list.Key(1));
  EXPECT_NE(list.Key(7), list.Key(1));  // from the root
}

// Whatever is wrong with a mod, the text fits on one screen; --all and
// JSON keep every finding.
TEST_F(Check, AnyModsReportFitsOnOneScreen) {
  std::string list;
  for (int i = 0; i < 1901; ++i) {  // written on Windows: every name in another case
    const std::string n = std::to_string(i);
    WriteFile("data/textures/tav_" + n + "_d.dds.off", n);
    list += "Data\\Textures\\Tav_" + n + "_D.dds.off,Data\\Textures\\Tav_" + n + "_D.dds\r\n";
  }
  for (int i = 0; i < 25; ++i) {  // and 25 ambiguous folders, a finding's cause each
    const std::string n = std::to_string(i);
    fs::create_directories("f" + n + "/Ab");
    fs::create_directories("f" + n + "/aB");
    list += "f" + n + "\\AB\\x.dds.off,f" + n + "\\AB\\x.dds\r\n";
  }
  WriteFile("Tavrik.mla", list);
  WriteFile("Tavrik.mld", list);
  const CheckReport report = Checked();
  const std::string text = TextReport(report, false, false);
  EXPECT_LE(Lines(text), 40u) << text;
  EXPECT_NE(text.find("and 6 more groups of findings\n"), std::string::npos) << text;
  EXPECT_NE(text.find("brennel-check --all prints every one of the "), std::string::npos);
  EXPECT_GE(Lines(TextReport(report, false, true)), report.findings.size());
  EXPECT_EQ(nlohmann::json::parse(JsonReport(report))["findings"].size(), report.findings.size());
  // The short report keeps one note of another case for all, and tells the same.
  const CheckReport short_report = Checked(false);
  EXPECT_LT(short_report.findings.size() + 3000, report.findings.size());
  EXPECT_EQ(TextReport(short_report, false, false), text);
}

// Advice followed to the end: the other button after it, a misspelling in
// either list, and a case twin that would stop the way back.
TEST_F(Check, AdviceSaysWhereTheOtherButtonCannotTakeTheModOutAndWhy) {
  MakeMod();
  const auto misspelt = [](const char* from, const char* to) {
    std::string list = kList;
    return list.replace(list.find(from), std::string(from).size(), to);
  };
  WriteFile("Tavrik.mld", misspelt("b.dds\r", "X.dds\r"));
  CheckReport report = Checked();
  EXPECT_EQ(report.state, State::kInactive);
  EXPECT_EQ(ExitStatus(report), 1);
  EXPECT_NE(Line(report, 3).find("To activate the mod: press Activate; but then Deactivate would "
                                 "stop at pair 2"),
            std::string::npos)
      << Line(report, 3);
  // Its name is there only once Activate put the file there: either list
  // may be the wrong one.
  EXPECT_NE(Line(report, 2).find("Tavrik.mld:2:25 spells 'Data\\Textures\\X.dds' where "
                                 "Tavrik.mla:2:25 spells 'Data\\Textures\\b.dds', where "
                                 "Activate puts the file."),
            std::string::npos)
      << Line(report, 2);

  WriteFile("Tavrik.mld", kList);
  WriteFile("Tavrik.mla", misspelt("b.dds.off,", "X.dds.off,"));
  report = Checked();
  EXPECT_NE(
      Line(report, 2).find("Tavrik.mla:2:1 spells 'Data\\Textures\\X.dds.off' where "
                           "Tavrik.mld:2:1 spells 'Data\\Textures\\b.dds.off', which is there"),
      std::string::npos)
      << Line(report, 2);
  // Not a missing file to ship: the misspelling, and where the lists part
  // because of it, under it.
  const std::string text = TextReport(report, false, false);
  EXPECT_EQ(text.find("[missing-source]"), std::string::npos) << text;
  EXPECT_NE(text.find("[misspelt] (2 other findings follow from it)"), std::string::npos) << text;

  // A deactivation list that ends early runs to its end, but leaves the
  // last pair's file moved.
  WriteFile("Tavrik.mla", kList);
  WriteFile("Tavrik.mld", std::string(kList).substr(0, std::string(kList).rfind("Data\\d")));
  EXPECT_EQ(Line(Checked(), 3),
            "To activate the mod: press Activate; but then Deactivate would not take it all out "
            "(said above).");

  WriteFile("Tavrik.mld", kList);
  WriteFile("Data/C.NIF.OFF", "a twin");  // Deactivate would take it for pair 3's target
  report = Checked();
  EXPECT_EQ(Line(report, 3),
            "To activate the mod: move 'Data/C.NIF.OFF' to 'Data/C.NIF.OFF.aside', then press "
            "Activate.");
  FollowMoves(report);
  Press(true);
  Press(false);
  for (const char* path : kOff) EXPECT_TRUE(fs::exists(path)) << path;

  // One list missing: the list to write is named, and no walk "stops at pair 0".
  fs::remove("Tavrik.mld");
  EXPECT_EQ(Line(Checked(), 3),
            "To activate the mod: press Activate; but then Deactivate would do nothing: its list "
            "has no pair; for it to go through, first, write the mod's pairs into Tavrik.mld, or "
            "make it readable.");
  WriteFile("Tavrik.mld", kList);
  fs::remove("Tavrik.mla");
  report = Checked();
  EXPECT_EQ(Line(report, 1),
            "State: inactive: every file is where a whole deactivation leaves it (4 pairs).");
  EXPECT_NE(Line(report, 3).find("first, write the mod's pairs into Tavrik.mla, or make it "
                                 "readable; then check again"),
            std::string::npos)
      << Line(report, 3);
  fs::rename("Data/Textures/b.dds.off", "Data/Textures/b.dds");  // out of turn
  EXPECT_EQ(Line(Checked(), 2),
            "Pair 2's file is at 'Data/Textures/b.dds', where Deactivate takes it from, while "
            "pair 1's is not moved.");
  fs::rename("Data/Textures/b.dds", "Data/Textures/b.dds.off");
  // No Activate left the first file moved, nor Deactivate the others back.
  fs::rename("Data/a.esp.off", "Data/a.esp");
  EXPECT_EQ(Checked().state, State::kMixed);
  fs::rename("Data/a.esp", "Data/a.esp.off");
  const auto turn = [](bool in) {  // every file but the first
    for (const std::string off : {kOff[1], kOff[2], kOff[3]}) {
      const std::string on = off.substr(0, off.size() - 4);
      in ? fs::rename(off, on) : fs::rename(on, off);
    }
  };
  // Deactivate stopped, and no Activate to go round by: the file back already goes in by hand.
  turn(true);
  EXPECT_NE(Line(Checked(), 3).find("move 'Data/a.esp.off' to 'Data/a.esp', then press Deactivate"),
            std::string::npos)
      << Line(Checked(), 3);
  WriteFile("Tavrik.mla", kList);
  fs::remove("Tavrik.mld");
  EXPECT_EQ(Checked().state, State::kMixed);
  turn(false);
  WriteFile("Tavrik.mld", kList);

  // So too the other way round.
  WriteFile("Tavrik.mld", misspelt("b.dds.off,", "X.dds.off,"));
  Press(true);
  report = Checked();
  EXPECT_NE(Line(report, 2).find("Tavrik.mla:2:1 spells 'Data\\Textures\\b.dds.off' where "
                                 "Tavrik.mld:2:1 spells 'Data\\Textures\\X.dds.off', where "
                                 "Deactivate puts the file."),
            std::string::npos)
      << Line(report, 2);
  EXPECT_NE(
      report.next.find("first, correct Tavrik.mla:2:1 or Tavrik.mld:2:1, whichever misspells it"),
      std::string::npos)
      << report.next;
}

TEST_F(Check, AFolderWithoutListsIsAStateOfItsOwnWithExitStatus2) {
  const CheckReport report = Checked();
  EXPECT_EQ(report.state, State::kNoLists);
  EXPECT_TRUE(report.findings.empty());
  EXPECT_EQ(ExitStatus(report), 2);
  EXPECT_EQ(Line(report, 3).find("To check a mod: "), 0u);
}

// Sets and, when it goes, clears an inode flag (chattr +i, +a).
class InodeFlag {
 public:
  InodeFlag(const char* path, int flag) : fd_(open(path, O_RDONLY | O_NONBLOCK)) {
    int flags = 0;
    set_ = fd_ >= 0 && ioctl(fd_, FS_IOC_GETFLAGS, &flags) == 0 &&
           (flags |= flag, ioctl(fd_, FS_IOC_SETFLAGS, &flags) == 0);
    flag_ = flag;
  }
  ~InodeFlag() {
    int flags = 0;
    if (set_ && ioctl(fd_, FS_IOC_GETFLAGS, &flags) == 0) {
      flags &= ~flag_;
      ioctl(fd_, FS_IOC_SETFLAGS, &flags);
    }
    if (fd_ >= 0) close(fd_);
  }
  bool set() const { return set_; }

 private:
  int fd_;
  int flag_ = 0;
  bool set_ = false;
};

// Each refusal foreseen is the one the real walk then meets.
TEST_F(Check, AnImmutableFileAndAnAppendOnlyFolderAreForeseen) {
  MakeMod();
  {
    const InodeFlag immutable("Data/c.nif.off", FS_IMMUTABLE_FL);
    if (!immutable.set()) GTEST_SKIP() << "chattr +i is not possible here: " << strerror(errno);
    const Outcome predicted = Checked().activate.from_now();
    EXPECT_EQ(predicted.pair, 3u);
    EXPECT_EQ(predicted.text,
              "Error 1: Cannot rename 'Data\\c.nif.off' to 'Data\\c.nif': Operation not "
              "permitted");
    try {
      Press(true);
      ADD_FAILURE() << "the walk went past the immutable file";
    } catch (const Error& error) {
      EXPECT_EQ("Error 1: " + error.Description(), predicted.text);
    }
    const CheckReport stopped = Checked();
    EXPECT_EQ(stopped.state, State::kActivationStopped);
    EXPECT_EQ(Line(stopped, 2),
              "What stops Activate at pair 3: 'Data/c.nif.off' is immutable (chattr +i): no one "
              "may rename it.");
    EXPECT_EQ(Line(stopped, 3),
              "To activate the mod: first, as root, run chattr -i 'Data/c.nif.off'; then check "
              "again: as things are, no press of the buttons does it (tried on a dry run).");
  }
  Press(false);
  const InodeFlag append_only("Data/Textures", FS_APPEND_FL);
  ASSERT_TRUE(append_only.set());
  const Outcome predicted = Checked().activate.from_now();
  EXPECT_EQ(predicted.pair, 2u);
  EXPECT_EQ(predicted.renames, 1u);
  EXPECT_NE(predicted.text.find("Operation not permitted"), std::string::npos);
  EXPECT_THROW(Press(true), Error);
}

// The first box Activate would show and the report's second and third
// lines (and then the first, `with_state`), as the user nobody checks, in a
// child; none when there is no becoming nobody.
std::optional<std::string> AsNobody(bool with_state = false) {
  int pipe_ends[2];
  if (pipe(pipe_ends) != 0) return std::nullopt;
  const pid_t child = fork();
  if (child == 0) {
    close(pipe_ends[0]);
    if (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0) _exit(2);
    const CheckReport report = tavrik::Check(*MakeDryRun(), fs::current_path().string());
    const std::string told =
        report.activate.from_now().text + "\n" + Line(report, 2) + "\n" + Line(report, 3) +
        (with_state ? "\n" + Line(report, 1) : "");
    _exit(write(pipe_ends[1], told.data(), told.size()) < 0 ? 3 : 0);
  }
  close(pipe_ends[1]);
  std::string told;
  char buffer[4096];
  for (ssize_t size; (size = read(pipe_ends[0], buffer, sizeof buffer)) > 0;)
    told.append(buffer, size);
  close(pipe_ends[0]);
  int status = 0;
  waitpid(child, &status, 0);
  if (!WIFEXITED(status) || WEXITSTATUS(status) == 2) return std::nullopt;
  return told;
}

// Root may move anyone's file: the check is run as nobody.
TEST_F(Check, AStickyFolderAndAFolderTheUserMayNotWriteAreForeseenWithWhatToDo) {
  if (geteuid() != 0) GTEST_SKIP() << "making another user's file needs root";
  MakeMod();
  fs::permissions("Data", fs::perms::all);
  fs::permissions("Data/Textures", fs::perms::all | fs::perms::sticky_bit);
  EXPECT_EQ(Checked().activate.from_now().result, Result::kComplete) << "root may";
  const std::optional<std::string> sticky = AsNobody();
  if (!sticky) GTEST_SKIP() << "cannot become nobody";
  EXPECT_EQ(
      *sticky,
      "Error 1: Cannot rename 'Data\\Textures\\b.dds.off' to 'Data\\Textures\\b.dds': "
      "Operation not permitted\n"
      "Activate would stop at pair 2, after 1 rename: the folder 'Data/Textures' is sticky "
      "(as /tmp is): only the owner of a file or of the folder may rename a file in it, and "
      "neither 'Data/Textures/b.dds.off' (root's) nor the folder (root's) is yours (nobody).\n"
      "To activate the mod: first, run Brennel as root, or have root give you the mod's files "
      "(chown); then check again: as things are, no press of the buttons does it (tried on a "
      "dry run).");
  fs::permissions("Data/Textures", fs::perms::all);
  fs::permissions("Data", fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                              fs::perms::others_read | fs::perms::others_exec);
  const std::string denied = AsNobody().value_or("");
  EXPECT_EQ(denied.substr(denied.find('\n') + 1),
            "Activate would stop at pair 1, after 0 renames: you (nobody) may not write the folder "
            "'Data' (owner root, mode 0755).\n"
            "To activate the mod: first, run Brennel as a user who may, or let yours (chmod, "
            "chown); then check again: as things are, no press of the buttons does it (tried on a "
            "dry run).");
}

// A folder that stops the walk is told as what it is: immutable, in the
// way, or closed to the user; and what to do goes through.
TEST_F(Check, EachCauseIsTheRightOneForAFolderThatStopsTheWalk) {
  MakeMod("Data\\a.esp.off,Data\\a.esp\r\nData\\c.nif.off,Data\\Textures\\c.nif\r\n");
  for (const char* folder : {"Data", "Data/Textures"}) {  // no name may leave, nor enter
    const InodeFlag immutable(folder, FS_IMMUTABLE_FL);
    if (!immutable.set()) break;  // chattr +i is not possible here
    const CheckReport report = Checked();
    EXPECT_EQ(Line(report, 2).substr(Line(report, 2).find(": ") + 2),
              "the folder '" + std::string(folder) +
                  "' is immutable (chattr +i): no name may leave or enter it.");
    EXPECT_EQ(report.activate.from_now().cause.fix,
              "as root, run chattr -i '" + std::string(folder) + "'");
    EXPECT_THROW(Press(true), Error);
    Press(false);
  }
  fs::create_directory("Data/a.esp");
  CheckReport report = Checked();
  EXPECT_EQ(Line(report, 2),
            "Activate would stop at pair 1, after 0 renames: a folder is already at 'Data/a.esp', "
            "where pair 1 moves 'Data/a.esp.off'.");
  EXPECT_EQ(report.activate.from_now().cause.fix,
            "move the folder 'Data/a.esp' aside, or correct Tavrik.mla:1:16 if the file is to go "
            "into it");
  fs::rename("Data/a.esp", "Data/a.esp.aside");
  fs::remove("Data/c.nif.off");
  fs::create_directory("Data/c.nif.off");
  EXPECT_EQ(Line(Checked(), 2),
            "Activate would stop at pair 2, after 1 rename: 'Data/c.nif.off' is a folder, not a "
            "file: the walk moves only files.");
  fs::remove("Data/c.nif.off");
  WriteFile("Data/c.nif.off", "c");
  Press(true);
  EXPECT_EQ(Checked().state, State::kActive);

  // Root may read any folder: the check is run as nobody.
  if (geteuid() != 0) return;
  Press(false);
  fs::permissions("Data", fs::perms::all);
  fs::permissions("Data/Textures", fs::perms::owner_all);
  const std::optional<std::string> closed = AsNobody(true);
  if (!closed) GTEST_SKIP() << "cannot become nobody";
  EXPECT_NE(closed->find("\nActivate would stop at pair 2, after 1 rename: you (nobody) may not "
                         "read the folder 'Data/Textures' (owner root, mode 0700).\nTo activate "
                         "the mod: first, run Brennel as a user who may, or let yours (chmod, "
                         "chown);"),
            std::string::npos)
      << *closed;
  // Where its file is cannot be told, and for that cause.
  EXPECT_NE(closed->find("\nState: ambiguous: where the file of pair 2 is cannot be told: you "
                         "(nobody) may not read the folder 'Data/Textures' (owner root, mode "
                         "0700)."),
            std::string::npos)
      << *closed;
  // Entered, not listed: a name in another case cannot be found there.
  fs::permissions("Data/Textures", fs::perms::all);
  fs::permissions("Data", fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec);
  WriteFile("Tavrik.mla", "Data\\A.esp.off,Data\\a.esp\r\n");
  WriteFile("Tavrik.mld", "Data\\A.esp.off,Data\\a.esp\r\n");
  // Every pair of the list so: the folder is what the second line names first.
  EXPECT_NE(AsNobody().value_or("").find(
                "\nThe one pair of Tavrik.mla names no file on disk: you (nobody) may not read "
                "the folder 'Data' (owner root, mode 0711), so the pairs' files in it cannot be "
                "looked for.\n"),
            std::string::npos);
}

// Mends that lose no file: twin folders that hold names in both are not to
// be merged, and a duplicate in both lists is mended in both.
TEST_F(Check, TwinFoldersAndDuplicatesAreMendedWithoutLosingAFile) {
  MakeMod("Data\\Textures\\b.dds.off,Data\\Textures\\b.dds\r\n");
  WriteFile("Data/textures/c.dds", "theirs");
  const auto split = [&] { return Of(Checked(), "split-folder").at(0).text; };
  EXPECT_NE(split().find("; move the files of 'Data/textures' into 'Data/Textures'"),
            std::string::npos)
      << split();
  WriteFile("Data/Textures/c.dds", "ours");
  WriteFile("Data/Textures/Sub/d", "ours");  // folders merge: the files in them clash
  WriteFile("Data/textures/SUB/D", "theirs");
  WriteFile("Data/textures/SUB/e", "theirs");
  EXPECT_NE(split().find("; both hold 'SUB/D' and 'c.dds', and a merge would put one copy over "
                         "the other: move the files only in 'Data/textures' into "
                         "'Data/Textures', and decide for each name in both which copy to keep"),
            std::string::npos)
      << split();

  // Two files onto one name, in both lists: taking a pair out of one alone
  // leaves a file where the other list puts or finds it.
  fs::remove_all("Data");
  MakeMod("Data\\a.esp.off,Data\\a.esp\r\nData\\c.nif.off,Data\\a.esp\r\n");
  EXPECT_EQ(Checked().activate.from_now().cause.fix,
            "give pair 2 a target of its own in both lists (pairs 1 and 2 of Tavrik.mld)");
  EXPECT_THROW(Press(true), Error);
  EXPECT_EQ(Checked().deactivate.from_now().cause.fix,
            "give one of pairs 1 and 2 of Tavrik.mla a target of its own in both lists: they put "
            "their files at 'Data\\a.esp', and taking a pair out of Tavrik.mld alone leaves its "
            "file active");
  Press(false);
  WriteFile("Tavrik.mld", "Data\\a.esp.off,Data\\a.esp\r\n");  // in one list only
  EXPECT_EQ(Checked().activate.from_now().cause.fix, "give pair 2 a target of its own");
  // One file to two names, in both lists: one of the pairs goes from both.
  MakeMod("Data\\a.esp.off,Data\\a.esp\r\nData\\a.esp.off,Data\\a2.esp\r\n");
  EXPECT_EQ(Checked().activate.from_now().cause.fix,
            "take pair 1 or pair 2 out of both lists (pairs 1 and 2 of Tavrik.mld)");
}

// Paths that pairs share, read as the walk walks them: a game's file moved
// aside before the mod's takes its name, in either state, and a source moved
// away already by a pair other than the first.
TEST_F(Check, PathsThatPairsShareAreReadAsTheWalkWalksThem) {
  WriteFile("Data/orig.dds", "game");
  WriteFile("Data/mod.dds", "mod");
  const std::string chain = "Data\\orig.dds,Data\\orig.dds.bak\r\nData\\mod.dds,Data\\orig.dds\r\n";
  WriteFile("Tavrik.mla", chain + "Data\\gone.off,Data\\gone\r\n");
  EXPECT_EQ(Checked().state, State::kIncomplete);
  WriteFile("Tavrik.mla", chain);
  WriteFile("Tavrik.mld", "Data\\mod.dds,Data\\orig.dds\r\nData\\orig.dds,Data\\orig.dds.bak\r\n");
  CheckReport report = Checked();
  EXPECT_EQ(report.state, State::kInactive);
  EXPECT_EQ(Line(report, 3), "To activate the mod: press Activate.");
  EXPECT_EQ(ExitStatus(report), 0);
  EXPECT_TRUE(report.findings.empty());
  Press(true);
  report = Checked();
  EXPECT_EQ(report.state, State::kActive);
  EXPECT_EQ(Line(report, 3), "To deactivate the mod: press Deactivate.");
  EXPECT_EQ(ExitStatus(report), 0);

  WriteFile("Tavrik.mla", "Data\\orig.dds.bak,x\r\nData\\orig.dds,y\r\nData\\orig.dds,z\r\n");
  const std::vector<Finding> twice = Of(Checked(), "duplicate-source");
  ASSERT_EQ(twice.size(), 1u);
  EXPECT_EQ(twice[0].text,
            "pair 2 moved 'Data\\orig.dds' away already (Tavrik.mla:2:1); take pair 2 or pair 3 "
            "out of Tavrik.mla");
  // Activate leaves out a pair that Deactivate moves back.
  WriteFile("Data/a", "");
  WriteFile("Data/b", "");
  WriteFile("Tavrik.mla", "Data\\a.off,Data\\a\r\n");
  WriteFile("Tavrik.mld", "Data\\a.off,Data\\a\r\nData\\b.off,Data\\b\r\n");
  EXPECT_NE(Line(Checked(), 3).find("; but then Activate would not put it all in"),
            std::string::npos);
  // Two pairs of one source, each file at its target: no file is at both names.
  WriteFile("Data/p1", "");
  WriteFile("Data/p2", "");
  WriteFile("Tavrik.mla", "Data\\p.off,Data\\p1\r\nData\\p.off,Data\\p2\r\n");
  report = Checked();
  EXPECT_EQ(report.state, State::kActive);
  EXPECT_TRUE(report.both.empty());
  // Two pairs of one target, Activate stopped at the second: the first one's
  // file is in the way, not the second's at both names.
  WriteFile("Data/q1.off", "");
  WriteFile("Data/q2.off", "");
  WriteFile("Tavrik.mla", "Data\\q1.off,Data\\q\r\nData\\q2.off,Data\\q\r\n");
  EXPECT_THROW(Press(true), Error);
  report = Checked();
  EXPECT_EQ(report.state, State::kActivationStopped);
  EXPECT_TRUE(Of(report, "both-names").empty());
}

// A mod's list comes from strangers: an escape sequence in it must not set
// the terminal's title, colours or clipboard.
TEST_F(Check, NoControlCharacterReachesTheTerminal) {
  std::string hostile;
  for (int c = 0; c < 0x20; ++c) hostile += static_cast<char>(c);
  hostile += '\x7F';
  for (int c = 0x80; c < 0xA0; ++c) hostile += {'\xC2', static_cast<char>(c)};  // C1
  for (const char* bidi :
       {"\u202A", "\u202B", "\u202C", "\u202D", "\u202E", "\u2066", "\u2067", "\u2068", "\u2069"}) {
    hostile += bidi;
  }
  const std::string title = "\x1B]0;title\x07\x1B[31m";
  WriteFile("Data/" + title + ".esp.off", "named by a stranger");
  MakeMod("Data/" + title + ".esp.off,NoSuch/" + title + "\r\n\"x" + hostile + ".off\",\"x" +
          hostile + "\"\r\n");
  CheckConsole text, json, usage;
  CheckWith({}, text);
  CheckWith({"--json"}, json);
  CheckWith({"--" + title}, usage);
  const auto raw_controls = [](const std::string& out) {
    std::size_t count = 0;
    for (std::size_t i = 0; i < out.size(); ++i) {
      const unsigned char c = out[i], next = i + 1 < out.size() ? out[i + 1] : 0;
      const bool bidi = c == 0xE2 && i + 2 < out.size() && next == 0x80 &&
                        (static_cast<unsigned char>(out[i + 2]) - 0xAAu <= 4u);
      const bool isolate = c == 0xE2 && i + 2 < out.size() && next == 0x81 &&
                           (static_cast<unsigned char>(out[i + 2]) - 0xA6u <= 3u);
      count += (c < 0x20 && c != '\n') || c == 0x7F || (c == 0xC2 && next >= 0x80 && next < 0xA0) ||
               bidi || isolate;
    }
    return count;
  };
  EXPECT_EQ(raw_controls(text.out), 0u) << text.out;
  EXPECT_EQ(raw_controls(usage.err), 0u) << usage.err;
  EXPECT_NE(text.out.find("<U+001B>]0;title<U+0007>"), std::string::npos);
  // Bytes that are not UTF-8 (cut short, overlong, a surrogate, past U+10FFFF)
  // are shown one by one; letters of every length and a C1 control by code.
  EXPECT_EQ(ShownText("\xE2\x82|\xC0\xAF|\xED\xA0\x80|\xF4\x90\x80\x80|\xC3"),
            "<0xE2><0x82>|<0xC0><0xAF>|<0xED><0xA0><0x80>|<0xF4><0x90><0x80><0x80>|<0xC3>");
  EXPECT_EQ(ShownText("\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80\xC2\x85"),
            "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80<U+0085>");
  // The JSON report holds the entries as they are, escaped by JSON itself.
  const nlohmann::json object = nlohmann::json::parse(json.out);
  bool kept = false;
  for (const auto& finding : object["findings"]) {
    kept =
        kept || finding["text"].get<std::string>().find("neither 'x" + hostile + ".off' nor") == 0;
  }
  EXPECT_TRUE(kept);
}

// Folders held by descriptor, so deeper than one call takes: each made and
// removed relative to its parent.
class DeepFolder {
 public:
  DeepFolder(int depth, const std::string& name) : name_(name) {
    for (int fd = AT_FDCWD; depth-- > 0;) {
      if (mkdirat(fd, name.c_str(), 0755) != 0) break;
      fd = openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
      if (fd < 0) break;
      fds_.push_back(fd);
      path_ += name + "\\";
    }
  }
  ~DeepFolder() {
    for (std::size_t i = fds_.size(); i-- > 0;) {
      Empty(fds_[i]);
      close(fds_[i]);
      unlinkat(i == 0 ? AT_FDCWD : fds_[i - 1], name_.c_str(), AT_REMOVEDIR);
    }
  }
  int fd() const { return fds_.empty() ? -1 : fds_.back(); }
  const std::string& path() const { return path_; }  // as a list spells it
  bool Has(const char* name) const { return faccessat(fd(), name, F_OK, AT_SYMLINK_NOFOLLOW) == 0; }
  void Make(const char* file) const {
    const std::string path = file;
    if (path.find('/') != std::string::npos)
      mkdirat(fd(), path.substr(0, path.find('/')).c_str(), 0755);
    close(openat(fd(), file, O_CREAT | O_WRONLY | O_CLOEXEC, 0644));
  }

 private:
  void Empty(int fd) const {  // all in it but the next folder of the chain
    const int listed = openat(fd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR* const folder = listed < 0 ? nullptr : fdopendir(listed);
    if (folder == nullptr) return;
    for (const dirent* entry; (entry = readdir(folder)) != nullptr;) {
      const std::string name = entry->d_name;
      if (name == "." || name == ".." || name == name_) continue;
      const int inner =
          entry->d_type == DT_DIR ? openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY) : -1;
      if (inner >= 0) {
        Empty(inner);
        close(inner);
      }
      unlinkat(fd, name.c_str(), inner >= 0 ? AT_REMOVEDIR : 0);
    }
    closedir(folder);
  }
  std::string name_, path_;
  std::vector<int> fds_;
};

// Past PATH_MAX, the dry run reaches folders as the walk does, by descriptor:
// what it foresees for each press is what the walk then does.
TEST_F(Check, APathPastWhatLinuxTakesInOneCallIsForeseenAsTheWalkGoes) {
  const DeepFolder deep(42, std::string(120, 'n'));  // 5,082 bytes
  ASSERT_EQ(deep.path().size(), 42u * 121) << "cannot make the folders";
  WriteFile("a.esp.off", "a");
  deep.Make("b.esp.off");
  const std::string list = "a.esp.off," + deep.path() + "a.esp\r\n" + deep.path() + "b.esp.off," +
                           deep.path() + "b.esp\r\n";
  WriteFile("Tavrik.mla", list);
  WriteFile("Tavrik.mld", list);
  const auto foreseen = [] { return tavrik::Check(*MakeDryRun(), fs::current_path().string()); };
  CheckReport report = foreseen();
  EXPECT_EQ(report.state, State::kInactive);
  EXPECT_EQ(report.activate.from_now().text, "");
  EXPECT_EQ(report.activate.from_now().result, Result::kComplete);
  EXPECT_EQ(report.activate.from_now().renames, 2u);
  EXPECT_TRUE(report.activate.round_trip);
  Press(true);
  EXPECT_TRUE(deep.Has("a.esp") && deep.Has("b.esp"));
  EXPECT_FALSE(fs::exists("a.esp.off"));
  report = foreseen();
  EXPECT_EQ(report.state, State::kActive);
  EXPECT_EQ(report.deactivate.from_now().result, Result::kComplete);
  Press(false);
  EXPECT_TRUE(deep.Has("b.esp.off"));
  EXPECT_TRUE(fs::exists("a.esp.off"));
}

// The twin of a deep folder is found, and so are a refusal's causes.
TEST_F(Check, ASplitFolderAndARefusalPastWhatLinuxTakesInOneCallAreNamed) {
  const DeepFolder deep(42, std::string(120, 'n'));
  ASSERT_EQ(deep.path().size(), 42u * 121) << "cannot make the folders";
  deep.Make("Textures/a.dds.off");
  deep.Make("textures/b.dds.off");
  const std::string list =
      deep.path() + "textures\\a.dds.off," + deep.path() + "textures\\a.dds\r\n";
  WriteFile("Tavrik.mla", list);
  WriteFile("Tavrik.mld", list);
  std::string in = deep.path().substr(0, deep.path().size() - 1);
  std::replace(std::begin(in), std::end(in), '\\', '/');
  CheckReport report = tavrik::Check(*MakeDryRun(), fs::current_path().string());
  const Cause& cause = report.activate.from_now().cause;
  EXPECT_EQ(std::string(NameOf(cause.kind)), "split-folder") << cause.text;
  EXPECT_EQ(cause.moves,
            (std::vector<Move>{{in + "/Textures/a.dds.off", in + "/textures/a.dds.off"}}));
  EXPECT_EQ(report.in_twins, (std::vector<std::size_t>{1}));
  // Root may write anywhere: the folder's owner and mode as nobody sees them.
  if (geteuid() != 0) return;
  deep.Make("textures/a.dds.off");
  const std::optional<std::string> denied = AsNobody();
  if (!denied) GTEST_SKIP() << "cannot become nobody";
  EXPECT_NE(denied->find(" (owner root, mode 0755).\n"), std::string::npos) << *denied;
}

// Lists that cannot be what their author meant name no file at most pairs:
// the second line says why, the third how to fix the list (or the folder),
// never a press that moves no file; the pairs' own findings follow from it.
TEST_F(Check, AListThatCannotBeReadAsMeantSaysWhyFirstNotEveryFileMissing) {
  MakeMod();
  const auto lists = [](const std::string& text) {
    WriteFile("Tavrik.mla", text);
    WriteFile("Tavrik.mld", text);
  };
  const auto told = [&](const std::string& why, const std::string& next) {
    const CheckReport report = Checked();
    EXPECT_NE(Line(report, 2).find(why), std::string::npos) << Line(report, 2);
    EXPECT_EQ(Line(report, 3), next);
    const std::vector<Finding> unmeant = Of(report, "unmeant-list");
    EXPECT_EQ(unmeant.size(), 2u);  // one a list, the rest under it
    const std::string text = TextReport(report, false, false);
    EXPECT_EQ(std::count(text.begin(), text.end(), '['), 2) << text;
    EXPECT_EQ(TextReport(report, false, true).find("as ''"), std::string::npos);
    return unmeant.empty() ? Finding() : unmeant[0];
  };
  std::string utf16;  // little-endian, as Notepad saves "Unicode", without its mark
  for (const char c : std::string(kList)) utf16 += {c, '\0'};
  lists(utf16);
  EXPECT_EQ(At(told("names a file on disk: the list is UTF-16 without its byte order mark",
                    "To fix the list: save Tavrik.mla and Tavrik.mld as UTF-8, or as UTF-16 with "
                    "a byte order mark; then check again.")),
            "Tavrik.mla 1:1");
  std::string tabs = kList;
  std::replace(tabs.begin(), tabs.end(), ',', '\t');
  lists(tabs);
  told("its paths are separated by tabs",
       "To fix the list: put a comma in place of each tab in Tavrik.mla and Tavrik.mld; then "
       "check again.");
  lists(
      "C:\\Games\\Oblivion\\Data\\a.esp.off,C:\\Games\\Oblivion\\Data\\a.esp\r\n"
      "C:\\Games\\Oblivion\\Data\\c.nif.off,C:\\Games\\Oblivion\\Data\\c.nif\r\n");
  told(
      "its paths start with a drive letter or a network share, as "
      "'C:\\Games\\Oblivion\\Data\\a.esp.off'",
      "To fix the list: write the paths in Tavrik.mla and Tavrik.mld from the mod's folder, as "
      "'Data\\a.esp.off'; then check again.");

  // Unpacked from a Mac's archive: "e" and U+0301 on disk, U+00E9 in the list.
  WriteFile("Data/cafe\xCC\x81.esp.off", "");
  WriteFile("Data/re\xCC\x81sume\xCC\x81.nif.off", "");
  lists(
      "Data\\caf\xC3\xA9.esp.off,Data\\caf\xC3\xA9.esp\r\n"
      "Data\\r\xC3\xA9sum\xC3\xA9.nif.off,Data\\r\xC3\xA9sum\xC3\xA9.nif\r\n"
      "Data\\c.nif.off,Data\\c.nif\r\n");
  told(
      "2 of the 3 pairs of Tavrik.mla name no file on disk: names on disk are in another "
      "Unicode form than the list's",
      "To fix the list: rename the files into the list's form (on Linux, convmv -r -f utf8 -t "
      "utf8 --nfc --notest 'Data'), or write Tavrik.mla and Tavrik.mld in theirs; then check "
      "again.");
  const std::string latin = "\xC3\x85ngstr\xC3\xB6m \xC5\xBD\xC3\xA9", nfd = Decomposed(latin);
  EXPECT_EQ(nfd,
            "A\xCC\x8Angstro\xCC\x88m Z\xCC\x8C"
            "e\xCC\x81");
  EXPECT_EQ(Composed(nfd), latin);

  // A mod never unpacked: its lists are as meant, yet no press is the way.
  lists(kList);
  for (const char* path : kOff) fs::remove(path);
  const CheckReport bare = Checked();
  EXPECT_TRUE(Of(bare, "unmeant-list").empty());
  EXPECT_EQ(Line(bare, 3).substr(0, 66),
            "To activate the mod: first, put the file there as 'Data/a.esp.off'");

  // A folder the user may not list: names in another case are not found in it.
  if (geteuid() != 0) return;
  for (const char* path : kOff) WriteFile(path, path);
  std::string upper = kList;
  std::ranges::transform(upper, upper.begin(), [](char c) { return std::toupper(c); });
  lists(upper);
  fs::permissions("Data", fs::perms::owner_write | fs::perms::owner_exec | fs::perms::group_exec |
                              fs::perms::others_exec);  // 0311
  const std::optional<std::string> denied = AsNobody();
  fs::permissions("Data", fs::perms::all);
  if (!denied) GTEST_SKIP() << "cannot become nobody";
  EXPECT_EQ(denied->substr(denied->find('\n') + 1),
            "None of the 4 pairs of Tavrik.mla names a file on disk: you (nobody) may not read "
            "the folder 'Data' (owner root, mode 0311), so the pairs' files in it cannot be "
            "looked for.\n"
            "To read the folder: run Brennel as a user who may, or let yours (chmod, chown); "
            "then check again.");
}

TEST_F(Check, OnAReadOnlyMountItPredictsTheRefusalAndChangesNothing) {
  if (geteuid() != 0) GTEST_SKIP() << "mounting needs root";
  if (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr)) {
    GTEST_SKIP() << "no mount namespace of our own here";
  }
  MakeMod();
  ASSERT_EQ(mount(".", ".", nullptr, MS_BIND, nullptr), 0);
  fs::current_path(folder.path());  // into the mount
  ASSERT_EQ(mount(nullptr, ".", nullptr, MS_BIND | MS_REMOUNT | MS_RDONLY, nullptr), 0);
  const CheckReport report = Checked();
  EXPECT_EQ(report.state, State::kInactive);
  EXPECT_EQ(report.activate.from_now().result, Result::kError);
  EXPECT_EQ(report.activate.from_now().text,
            "Error 30: Cannot rename 'Data\\a.esp.off' to 'Data\\a.esp': Read-only file system");
  EXPECT_EQ(Line(report, 2),
            "Activate would stop at pair 1, after 0 renames: the folder 'Data' is on a file system "
            "mounted read-only.");
  // Activated before the disk became read-only: active still, though its
  // files cannot go back.
  fs::current_path("/");
  umount2(folder.path().c_str(), MNT_DETACH);
  fs::current_path(folder.path());
  Press(true);
  ASSERT_EQ(mount(".", ".", nullptr, MS_BIND, nullptr), 0);
  fs::current_path(folder.path());
  ASSERT_EQ(mount(nullptr, ".", nullptr, MS_BIND | MS_REMOUNT | MS_RDONLY, nullptr), 0);
  const CheckReport active = Checked();
  EXPECT_EQ(active.state, State::kActive);
  EXPECT_EQ(active.deactivate.from_now().result, Result::kError);
  fs::current_path("/");
  umount2(folder.path().c_str(), MNT_DETACH);
}

// A block of pairs pasted twice into both lists: each repeat's file is the
// earlier pair's, where the walk leaves it, and every repeat is told at once.
TEST_F(Check, PairsPastedTwiceAreWhereTheWalkLeavesThemAndAllAreToldAtOnce) {
  MakeMod(std::string(kList) + kList);
  const std::string fix =
      "To fix the lists: take pairs 5-8 out of both lists (they repeat pairs 1-4): a walk stops "
      "with a box at the first repeat, its file moved away already.";
  CheckReport report = Checked();
  EXPECT_EQ(report.state, State::kInactive);
  EXPECT_EQ(Line(report, 3), fix);
  std::vector<std::string> repeats;
  for (const Finding& finding : Of(report, "duplicate-source")) repeats.push_back(At(finding));
  EXPECT_EQ(repeats,
            (std::vector<std::string>{"Tavrik.mla 5:1", "Tavrik.mla 6:1", "Tavrik.mla 7:1",
                                      "Tavrik.mla 8:1", "Tavrik.mld 5:16", "Tavrik.mld 6:25",
                                      "Tavrik.mld 7:16", "Tavrik.mld 8:16"}));
  Press(true);  // "Data\a.esp.off is missing" at pair 5, every file moved
  report = Checked();
  EXPECT_EQ(report.state, State::kActive);
  EXPECT_EQ(report.moved, (std::vector<std::size_t>{1, 2, 3, 4, 5, 6, 7, 8}));
  EXPECT_EQ(Line(report, 3), fix);
  EXPECT_EQ(ExitStatus(report), 1);
  EXPECT_EQ(report.deactivate.from_now().text, "Data\\a.esp is missing");
  // The repeats taken out, the mod is whole.
  WriteFile("Tavrik.mla", kList);
  WriteFile("Tavrik.mld", kList);
  EXPECT_EQ(ExitStatus(Checked()), 0);
}

// A new version unpacked over the active old one: a file at both paths of
// some pairs or all, in either list's order. Which one is the mod's, the
// player says: no move by hand puts either aside.
TEST_F(Check, BothVersionsOfAFileAreBothNamesAndTheChoiceIsThePlayers) {
  const std::string lines[] = {
      "Data\\a.esp.off,Data\\a.esp\r\n", "Data\\Textures\\b.dds.off,Data\\Textures\\b.dds\r\n",
      "Data\\c.nif.off,Data\\c.nif\r\n", "Data\\d.txt.off,Data\\d.txt\r\n"};
  for (const bool reverse : {false, true}) {
    for (const std::size_t from : {0u, 2u, 3u}) {
      SCOPED_TRACE(std::to_string(reverse) + " " + std::to_string(from));
      fs::remove_all("Data");
      MakeMod();
      if (reverse) WriteFile("Tavrik.mld", lines[3] + lines[2] + lines[1] + lines[0]);
      Press(true);
      for (std::size_t i = from; i < 4; ++i) WriteFile(kOff[i], "new version");
      const CheckReport report = Checked();
      EXPECT_EQ(report.state, State::kBothNames);
      EXPECT_EQ(report.both.front(), from + 1);
      EXPECT_TRUE(report.moves.empty());
      const std::string first = std::string(kOff[from]);
      EXPECT_EQ(
          Line(report, 3).rfind("To keep one version of each file: both copies are there, '" +
                                    first + "' and '" + first.substr(0, first.size() - 4) + "'",
                                0),
          0u)
          << Line(report, 3);
      EXPECT_EQ(ExitStatus(report), 1);
    }
  }
}

// The plugin's line cut off: Activate never moves it, and Deactivate after
// it stops at the whole pair in Tavrik.mld with a box.
TEST_F(Check, AListWhoseLastEntryHasNoPartnerSaysSoAndWhatEachButtonDoes) {
  MakeMod();
  WriteFile("Data/plugin.esp.off", "plugin");
  WriteFile("Tavrik.mla", std::string(kList) + "Data\\plugin.esp.off\r\n");
  WriteFile("Tavrik.mld", std::string(kList) + "Data\\plugin.esp.off,Data\\plugin.esp\r\n");
  CheckReport report = Checked();
  EXPECT_EQ(ExitStatus(report), 1);
  EXPECT_EQ(Line(report, 2),
            "Tavrik.mla's last entry, 'Data\\plugin.esp.off' (Tavrik.mla:5:1), has no partner, so "
            "Activate never moves that file. Activate would run to its end (4 renames), and "
            "Deactivate after it would put every file back, but stop at pair 5 with the box "
            "\"Data\\plugin.esp is missing\".");
  EXPECT_EQ(Line(report, 3),
            "To fix the list: give 'Data\\plugin.esp.off' (Tavrik.mla:5:1) a partner, the path it "
            "is moved to, or take it out.");
  Press(true);
  EXPECT_TRUE(fs::exists("Data/plugin.esp.off"));
  report = Checked();
  EXPECT_EQ(report.deactivate.from_now().text, "Data\\plugin.esp is missing");
  EXPECT_EQ(ExitStatus(report), 1);
  Press(false);
  // Both lists cut: Deactivate runs to its end, the plugin never moved.
  WriteFile("Tavrik.mld", std::string(kList) + "Data\\plugin.esp.off\r\n");
  report = Checked();
  EXPECT_EQ(report.activate.then_other().result, Result::kComplete);
  EXPECT_EQ(ExitStatus(report), 1);
  EXPECT_NE(Line(report, 3).find("(Tavrik.mla:5:1) and 'Data\\plugin.esp.off' (Tavrik.mld:5:1) "
                                 "each a partner"),
            std::string::npos)
      << Line(report, 3);
}

}  // namespace
}  // namespace tavrik
