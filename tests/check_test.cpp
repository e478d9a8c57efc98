// brennel-check on real folders: the state of a mod, what the buttons would
// do, the findings about its lists, its command line; and that it changes
// nothing on disk.

#include "check.h"

#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <map>
#include <nlohmann/json.hpp>
#include <set>

#include "cli.h"
#include "launcher.h"
#include "scratch_folder.h"
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
    entries[item.path().string()] =
        (item.is_regular_file() ? ReadFile(item.path()) : std::string("folder")) + " " +
        std::to_string(status.st_mtim.tv_sec) + "." + std::to_string(status.st_mtim.tv_nsec);
  }
  return entries;
}

class Check : public ::testing::Test {
 protected:
  ScratchFolder folder;
  std::unique_ptr<DryRun> run = MakeDryRun();

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

  CheckReport Checked() {
    const auto before = Disk();
    CheckReport report = tavrik::Check(*run, ".");
    EXPECT_EQ(Disk(), before) << "the check changed the disk";
    return report;
  }
};

TEST_F(Check, AModInEachStateAndWhatTheButtonsWouldDo) {
  MakeMod();
  CheckReport report = Checked();
  EXPECT_EQ(report.state, "inactive");
  EXPECT_EQ(report.activate.from_now.result, "complete");
  EXPECT_EQ(report.activate.from_now.renames, 4u);
  EXPECT_EQ(report.activate.then_other.result, "complete");
  EXPECT_TRUE(report.activate.round_trip);
  EXPECT_EQ(report.deactivate.from_now.result, "missing");
  EXPECT_EQ(report.deactivate.from_now.pair, 1u);
  EXPECT_EQ(report.deactivate.from_now.text, "Data\\a.esp is missing");
  EXPECT_TRUE(report.findings.empty());
  EXPECT_EQ(ExitStatus(report), 0);

  Press(true);
  report = Checked();
  EXPECT_EQ(report.state, "active");
  EXPECT_EQ(report.deactivate.from_now.result, "complete");
  EXPECT_TRUE(report.deactivate.round_trip);
  EXPECT_EQ(ExitStatus(report), 0);

  // Another program puts a file in the way of the way back: the check says
  // where Deactivate would stop and with what error.
  WriteFile("Data/c.nif.off", "in the way");
  report = Checked();
  EXPECT_EQ(report.deactivate.from_now.result, "error");
  EXPECT_EQ(report.deactivate.from_now.pair, 3u);
  EXPECT_EQ(report.deactivate.from_now.text,
            "Error 17: Cannot rename 'Data\\c.nif' to 'Data\\c.nif.off': File exists");
  EXPECT_EQ(report.deactivate.from_now.renames, 2u);
  EXPECT_EQ(ExitStatus(report), 1);
}

TEST_F(Check, AWalkStoppedHalfWayByAMissingFileIsPartialAndOutOfOrderFilesAreMixed) {
  MakeMod();
  fs::rename("Data/c.nif.off", "elsewhere");
  Press(true);  // stops at pair 3: "Data\c.nif.off is missing"
  fs::rename("elsewhere", "Data/c.nif.off");
  CheckReport report = Checked();
  EXPECT_EQ(report.state, "partial");
  EXPECT_EQ(report.partial_pairs, 2u);
  EXPECT_EQ(report.activate.from_now.result, "missing");
  EXPECT_EQ(report.activate.from_now.pair, 1u);
  EXPECT_EQ(ExitStatus(report), 1);

  fs::rename("Data/c.nif.off", "Data/c.nif");                    // pair 3 done, by hand
  fs::rename("Data/Textures/b.dds", "Data/Textures/b.dds.off");  // pair 2 undone
  report = Checked();
  EXPECT_EQ(report.state, "mixed");
  EXPECT_EQ(report.disagreeing, (std::vector<std::size_t>{3}));
  EXPECT_EQ(ExitStatus(report), 1);
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
            "Data\\c.nif.off,Data\\a.esp\r\n"            // 12 onto pair 1's target
            "Data\\d.txt.off,NoSuch\\d.txt\r\n"          // 14 no such folder
            "..\\outside.esp,x.esp\r\n"                  // 15 outside the folder, missing
            "\r\n"                                       // 17 empty: shifts 2 pairs
            "y.esp,z.esp\r\n"                            // 18, 19
            "w.esp,left.esp\r\n"                         // 20, 21 left over
  );
  WriteFile("Tavrik.mld", "Data\\a.esp.off,Data\\a.esp\r\n");  // 1 pair: parts after it
  const CheckReport report = Checked();
  std::set<std::tuple<std::string, std::string, std::size_t, std::size_t, std::size_t>> found;
  for (const Finding& finding : report.findings) {
    found.insert({finding.list, finding.kind, finding.entry, finding.position.line,
                  finding.position.column});
  }
  const std::set<std::tuple<std::string, std::string, std::size_t, std::size_t, std::size_t>>
      expected = {{"Tavrik.mla", "other-case", 3, 2, 1},
                  {"Tavrik.mla", "other-case", 4, 2, 25},
                  {"Tavrik.mla", "trailing-dots", 5, 3, 1},
                  {"Tavrik.mla", "same-path", 7, 4, 1},
                  {"Tavrik.mla", "duplicate-source", 9, 5, 1},
                  {"Tavrik.mla", "duplicate-target", 12, 6, 16},
                  {"Tavrik.mla", "no-target-folder", 14, 7, 16},
                  {"Tavrik.mla", "leaves-folder", 15, 8, 1},
                  {"Tavrik.mla", "missing-source", 15, 8, 1},
                  {"Tavrik.mla", "empty-entry", 17, 9, 1},
                  {"Tavrik.mla", "odd-entry", 21, 11, 7},
                  {"Tavrik.mla", "lists-differ", 3, 2, 1},
                  {"Tavrik.mld", "lists-differ", 2, 1, 16}};
  EXPECT_EQ(found, expected);
  for (const Finding& finding : report.findings) {
    if (finding.kind == "empty-entry") {
      EXPECT_EQ(finding.text,
                "empty entry (a blank line or a doubled comma) shifts the 2 pairs "
                "after it; take it out");
    }
    if (finding.kind == "leaves-folder") {
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
  for (const Finding& finding : report.findings) kinds.insert(finding.list + " " + finding.kind);
  EXPECT_EQ(kinds, (std::set<std::string>{"Tavrik.mla too-many-entries",
                                          "Tavrik.mla missing-source",  // no file is there
                                          "Tavrik.mld unreadable-list"}));
  EXPECT_EQ(report.activate.from_now.result, "error");
  EXPECT_FALSE(report.activate.from_now.pair);
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
            "brennel-check: unknown option '--frobnicate' (usage: brennel-check [--json] "
            "[FOLDER])\n");
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
  EXPECT_EQ(report.state, "inactive");
  EXPECT_EQ(report.activate.from_now.result, "error");
  EXPECT_EQ(report.activate.from_now.text,
            "Error 30: Cannot rename 'Data\\a.esp.off' to 'Data\\a.esp': Read-only file system");
  fs::current_path("/");
  umount2(folder.path().c_str(), MNT_DETACH);
}

}  // namespace
}  // namespace tavrik
