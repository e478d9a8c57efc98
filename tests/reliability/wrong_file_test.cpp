// Trees in which a walk once moved a file other than the one its list
// names, or refused a rename it should make: deep chains of folders, one
// folder shown twice by a bind mount or by a FUSE file system that repeats
// inode numbers, trailing dots, ".." after a link, a file system that
// ignores case, loops of links. Mounts are made in a mount namespace of the
// test's own and skipped, with the reason, where the machine has none.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>

#include "check.h"
#include "dry_run.h"
#include "fault_injection.h"
#include "launcher.h"
#include "real_platform_test.h"
#include "scratch_mounts.h"

namespace tavrik {
namespace {

namespace fs = std::filesystem;
using fault_injection::Call;
using Texts = std::vector<std::string>;

// The real platform, and another program that changes the disk just before
// a given pair.
class ChangingPlatform : public SystemPlatform {
 public:
  ChangingPlatform() : SystemPlatform(nullptr) {}
  std::map<int, std::function<void()>> before_pair;
  void BeginPair(std::size_t pair, const std::string& source, const std::string& target) override {
    const auto change = before_pair.find(++tests_);
    if (change != before_pair.end()) change->second();
    SystemPlatform::BeginPair(pair, source, target);
  }
  void BeginWalk() override {
    tests_ = 0;
    SystemPlatform::BeginWalk();
  }

 private:
  int tests_ = 0;
};

class WrongFile : public RealPlatformTest {
 protected:
  Brennel brennel{platform};

  // Activates `entries`; returns the error that ends the walk, or 0.
  std::int64_t Activate(const Texts& entries) { return Press(entries, true); }
  std::int64_t Deactivate(const Texts& entries) { return Press(entries, false); }
  std::int64_t Press(const Texts& entries, bool activate) {
    messages.clear();
    EntryList& list = activate ? brennel.colInputA : brennel.colInputD;
    list.clear();
    for (const std::string& entry : entries) list.push_back(entry);
    try {
      activate ? brennel.Command3_Click() : brennel.Command4_Click();
    } catch (const Error& error) {
      last_error = error.Description();
      return error.Number();
    }
    return 0;
  }
  std::string last_error;

  static std::string PrivateMounts() { return ScratchMounts::Private(); }
  std::string Mount(const char* source, const std::string& target, const char* type,
                    unsigned long flags, const char* options = nullptr) {
    return mounts_.Mount(source, target, type, flags, options);
  }
  std::string MountFuse(const std::string& command, const std::string& target) {
    return mounts_.MountFuse(command, target);
  }
  std::string MountCaseInsensitive(const std::string& kind, const std::string& target) {
    return mounts_.MountCaseInsensitive(kind, folder.path().string(), target);
  }
  void Unmount(const fs::path& target) { mounts_.Unmount(target); }

 private:
  ScratchMounts mounts_;
};

std::string Chain(const std::string& first, int depth, char separator) {
  std::string path = first;
  for (int i = 1; i < depth; ++i) path += separator + std::string(1, first == "A" ? 'D' : 'd');
  return path;
}

TEST_F(WrongFile, ARenameBetweenChainsDeeperThanTheOpenFolderBoundMovesTheListedFile) {
  for (const int depth : {62, 63, 64, 100}) {
    SCOPED_TRACE("depth " + std::to_string(depth));
    ScratchFolder fresh;
    WriteFile(Chain("a", depth, '/') + "/s", "REAL");
    WriteFile(Chain("b", depth, '/') + "/s", "OTHER");
    std::string target = Chain("A", depth, '\\');
    target[0] = 'B';
    EXPECT_EQ(Activate({Chain("A", depth, '\\') + "\\s", target + "\\t"}), 0);
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(ReadFile(Chain("b", depth, '/') + "/t"), "REAL");
    EXPECT_EQ(ReadFile(Chain("b", depth, '/') + "/s"), "OTHER");
    EXPECT_FALSE(fs::exists(Chain("a", depth, '/') + "/s"));
  }
}

TEST_F(WrongFile, ANameWithATrailingDotIsFirstTheNameWithoutItNotAnotherCase) {
  WriteFile("A.", "other case");
  WriteFile("a", "listed");
  WriteFile("DATA./f", "other case");
  WriteFile("data/f", "listed");
  EXPECT_EQ(Activate({"a.", "moved", "data.\\f", "data.\\g"}), 0);
  EXPECT_EQ(ReadFile("moved"), "listed");
  EXPECT_EQ(ReadFile("A."), "other case");
  EXPECT_EQ(ReadFile("data/g"), "listed");
  EXPECT_EQ(ReadFile("DATA./f"), "other case");
}

TEST_F(WrongFile, DotDotAfterALinkedFolderIsTakenFromTheListsText) {
  WriteFile("far/deep/Data/keep", "");
  WriteFile("mod/x.esp", "mod");
  fs::create_symlink("../far/deep/Data", "mod/Data");
  fs::current_path("mod");
  EXPECT_EQ(Activate({"x.esp", "Data\\..\\y.esp"}), 0);
  fs::current_path("..");
  EXPECT_EQ(ReadFile("mod/y.esp"), "mod");
  EXPECT_FALSE(fs::exists("far/deep/y.esp"));
}

// Known by device and inode: the working folder spelled in another case
// after "..", so a pair naming the file's own entry renames nothing.
TEST_F(WrongFile, DotDotBackIntoTheWorkingFolderInAnotherCaseIsTheWorkingFolder) {
  WriteFile("mod/New2.nif", "mod");
  fs::current_path("mod");
  EXPECT_EQ(Activate({"New2.nif", "..\\MOD\\New2.nif", "New2.nif", "..\\MOD\\Old2.nif"}), 0)
      << last_error;
  EXPECT_TRUE(messages.empty());
  fs::current_path("..");
  EXPECT_EQ(ReadFile("mod/Old2.nif"), "mod");
}

TEST_F(WrongFile, ASourceThatIsALoopOfLinksIsMissing) {
  fs::create_symlink("loop", "loop");
  EXPECT_EQ(Activate({"loop", "moved", "loop\\x", "moved"}), 0);
  EXPECT_EQ(messages, Texts{"loop is missing"});
  EXPECT_TRUE(fs::is_symlink("loop"));
}

TEST_F(WrongFile, ASourceThatNamesAFolderIsMissingWithoutLookingAtIt) {
  // Which of two folders "Data\" means cannot be told, but a folder is no
  // file to move either way.
  fs::create_directory("data");
  fs::create_directory("DATA");
  EXPECT_EQ(Activate({"Data\\", "x"}), 0);
  EXPECT_EQ(messages, Texts{"Data\\ is missing"});
}

TEST_F(WrongFile, ANameCreatedByTheWalkIsSeenByLaterPathsThroughItsFolder) {
  // "data." first reaches DATA. in another case; once the walk has made a
  // file "data", the name without its trailing dot is that file.
  WriteFile("DATA./x.esp", "x");
  WriteFile("DATA./y.esp", "y");
  WriteFile("foo", "foo");
  EXPECT_EQ(Activate({"data.\\x.esp", "data.\\x2.esp", "foo", "data", "data.\\y.esp", "z"}), 0);
  EXPECT_EQ(messages, Texts{"data.\\y.esp is missing"});
  EXPECT_EQ(ReadFile("DATA./x2.esp"), "x");
  EXPECT_EQ(ReadFile("data"), "foo");
  EXPECT_EQ(ReadFile("DATA./y.esp"), "y");
}

TEST_F(WrongFile, AReadOnlyBindMountAndItsWritableFolderAreTwoFolders) {
  WriteFile("data/y", "y");
  for (const std::string& why :
       {PrivateMounts(), Mount("data", "ro_view", nullptr, MS_BIND),
        Mount(nullptr, "ro_view", nullptr, MS_BIND | MS_REMOUNT | MS_RDONLY)}) {
    if (!why.empty()) GTEST_SKIP() << why;
  }
  // Through the read-only view first, then the writable folder.
  EXPECT_EQ(Activate({"ro_view\\y", "ro_view\\y", "data\\y", "data\\z"}), 0);
  EXPECT_EQ(ReadFile("data/z"), "y");
  // The other way round: the view still refuses.
  EXPECT_EQ(Activate({"data\\z", "data\\w", "ro_view\\w", "ro_view\\v"}), EROFS);
  EXPECT_EQ(ReadFile("data/w"), "y");
  EXPECT_FALSE(fs::exists("data/v"));
}

TEST_F(WrongFile, FoldersThatAFuseFileSystemShowsWithOneInodeNumberStayApart) {
  for (const std::string& why : {PrivateMounts(), Mount("tmpfs", "under/ma", "tmpfs", 0, "size=1m"),
                                 Mount("tmpfs", "under/mb", "tmpfs", 0, "size=1m")}) {
    if (!why.empty()) GTEST_SKIP() << why;
  }
  WriteFile("under/ma/Data/x", "in ma");
  WriteFile("under/mb/Data/x", "in mb");
  if (const std::string why = MountFuse("bindfs under view", "view"); !why.empty()) {
    GTEST_SKIP() << why;
  }
  EXPECT_EQ(Activate({"view\\ma\\Data\\x", "view\\ma\\Data\\y", "view\\mb\\Data\\x",
                      "view\\mb\\Data\\z"}),
            0);
  EXPECT_EQ(ReadFile("under/ma/Data/y"), "in ma");
  EXPECT_EQ(ReadFile("under/mb/Data/z"), "in mb");
  // From one to the other: refused, never a success that moved nothing.
  EXPECT_EQ(Activate({"view\\ma\\Data\\y", "view\\mb\\Data\\y"}), EXDEV);
  EXPECT_EQ(ReadFile("under/ma/Data/y"), "in ma");
  EXPECT_FALSE(fs::exists("under/mb/Data/y"));
}

TEST_F(WrongFile, OnAFileSystemThatIgnoresCaseACaseOnlyRenameRespellsTheFile) {
  if (const std::string why = PrivateMounts(); !why.empty()) GTEST_SKIP() << why;
  const std::string image = (folder.path() / "ntfs.img").string();
  if (std::system(("truncate -s 8M " + image + " && mkntfs -F -q -Q " + image + " >/dev/null 2>&1")
                      .c_str()) != 0) {
    GTEST_SKIP() << "cannot make an NTFS image (mkntfs from ntfs-3g)";
  }
  if (const std::string why = MountFuse("lowntfs-3g -o ignore_case " + image + " ntfs", "ntfs");
      !why.empty()) {
    GTEST_SKIP() << why;
  }
  WriteFile("ntfs/rock.dds", "rock");
  WriteFile("ntfs/stone.dds", "stone");
  EXPECT_EQ(Activate({"ntfs\\rock.dds", "ntfs\\Rock.dds"}), 0);
  EXPECT_TRUE(messages.empty());
  // Another file is never replaced, whatever the case.
  EXPECT_EQ(Activate({"ntfs\\stone.dds", "ntfs\\ROCK.dds"}), EEXIST);
  // As the volume spells its names, seen without ignoring case.
  Unmount(fs::absolute("ntfs"));
  ASSERT_EQ(MountFuse("lowntfs-3g " + image + " ntfs", "ntfs"), "");
  Texts names;
  for (const auto& entry : fs::directory_iterator("ntfs")) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (Texts{"Rock.dds", "stone.dds"}));
  EXPECT_EQ(ReadFile("ntfs/Rock.dds"), "rock");
  EXPECT_EQ(ReadFile("ntfs/stone.dds"), "stone");
}

// Lists in other cases than the disk and than each other: on a file system
// that ignores case, the check foresees what the walks then do.
TEST_F(WrongFile, OnAFileSystemThatIgnoresCaseTheCheckForeseesTheRoundTrip) {
  const Texts activation = {"DATA\\A.DDS.OFF", "DATA\\A.DDS", "data\\B.esp.off", "data\\B.esp"};
  const Texts deactivation = {"Data\\a.dds.off", "Data\\a.dds", "DATA\\b.ESP.OFF", "DATA\\B.ESP"};
  for (const std::string kind : {"exfat", "ntfs"}) {
    SCOPED_TRACE(kind);
    if (const std::string why = MountCaseInsensitive(kind, kind); !why.empty()) GTEST_SKIP() << why;
    WriteFile(kind + "/data/a.dds.off", "a");
    WriteFile(kind + "/data/b.esp.off", "b");
    std::string mla, mld;
    for (std::size_t i = 0; i < 4; i += 2) {
      mla += activation[i] + "," + activation[i + 1] + "\r\n";
      mld += deactivation[i] + "," + deactivation[i + 1] + "\r\n";
    }
    WriteFile(kind + "/Tavrik.mla", mla);
    WriteFile(kind + "/Tavrik.mld", mld);
    const fs::path scratch = fs::current_path();
    fs::current_path(kind);
    const CheckReport report = Check(*MakeDryRun(), fs::current_path().string());
    EXPECT_EQ(report.state, State::kInactive);
    EXPECT_EQ(report.activate.from_now().result, Result::kComplete);
    EXPECT_EQ(report.activate.then_other().result, Result::kComplete) << report.why;
    EXPECT_TRUE(report.activate.round_trip);
    EXPECT_EQ(Activate(activation), 0) << last_error;
    EXPECT_EQ(Check(*MakeDryRun(), fs::current_path().string()).state, State::kActive);
    EXPECT_EQ(Deactivate(deactivation), 0) << last_error;
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(ReadFile("DATA/A.DDS.OFF"), "a");
    EXPECT_EQ(ReadFile("DATA/B.ESP.OFF"), "b");
    fs::current_path(scratch);
  }
}

// Another program changes a folder between two pairs: the next pair acts on
// the disk as it is then, never on what the walk read before.
TEST_F(WrongFile, ChangesAnotherProgramMakesBetweenPairsAreSeenByTheNextPair) {
  struct Scenario {
    const char* what;
    std::map<std::string, std::string> files;
    Texts list;
    std::function<void()> between;  // before the second pair
    std::map<std::string, std::string> after;
  };
  const Scenario scenarios[] = {
      {"a file created in the list's spelling beside one in another case",
       {{"D/A.dds", "old"}, {"D/s", "s"}},
       {"d\\s", "D\\t", "d\\a.dds", "D\\out.dds"},
       [] { WriteFile("D/a.dds", "new"); },
       {{"D/A.dds", "old"}, {"D/out.dds", "new"}}},
      {"a folder created in the list's spelling beside one in another case",
       {{"Data/x1", "1"}, {"Data/x2", "2"}},
       {"Data\\x1", "data\\y1", "Data\\x2", "data\\y2"},
       [] { fs::create_directory("data"); },
       {{"Data/y1", "1"}, {"data/y2", "2"}}},
      {"the listed spelling removed, its twin in another case kept",
       {{"D/a.dds", "lower"}, {"D/A.dds", "upper"}, {"D/s", "s"}},
       {"D\\s", "D\\t", "D\\a.dds", "D\\out.dds"},
       [] { fs::remove("D/a.dds"); },
       {{"D/out.dds", "upper"}}},
      {"a folder swapped for a new one",
       {{"D/x", "old"}, {"D/s", "s"}},
       {"D\\s", "D\\t", "D\\x", "D\\y"},
       [] {
         fs::rename("D", "D.old");
         WriteFile("D/x", "new");
       },
       {{"D.old/x", "old"}, {"D/y", "new"}}},
      {"a link put where the folder was",
       {{"D/x", "old"}, {"D/s", "s"}, {"elsewhere/x", "far"}},
       {"D\\s", "D\\t", "D\\x", "D\\y"},
       [] {
         fs::rename("D", "D.old");
         fs::create_directory_symlink("elsewhere", "D");
       },
       {{"D.old/x", "old"}, {"elsewhere/y", "far"}}},
  };
  for (const Scenario& scenario : scenarios) {
    SCOPED_TRACE(scenario.what);
    ScratchFolder fresh;
    for (const auto& [path, content] : scenario.files) WriteFile(path, content);
    ChangingPlatform changing;
    changing.before_pair[2] = scenario.between;
    Brennel walk(changing);
    for (const std::string& entry : scenario.list) walk.colInputA.push_back(entry);
    EXPECT_NO_THROW(walk.Command3_Click());
    for (const auto& [path, content] : scenario.after) EXPECT_EQ(ReadFile(path), content) << path;
  }
}

// A bindfs view has a device number of its own: nothing but the names tells
// that it shows the mod's folder, which the walk also reaches directly.
TEST_F(WrongFile, OneFolderReachedThroughAViewAndDirectlyNeverGetsTwoNamesOfOneKey) {
  for (const std::string& why : {PrivateMounts(), Mount("tmpfs", "R", "tmpfs", 0, "size=1m")}) {
    if (!why.empty()) GTEST_SKIP() << why;
  }
  for (const char* view : {"bindfs", "bind mount"}) {
    SCOPED_TRACE(view);
    for (const char* name : {"seed", "Orig", "src"}) WriteFile(std::string("R/") + name, name);
    const std::string why = std::string(view) == "bindfs" ? MountFuse("bindfs R W", "W")
                                                          : Mount("R", "W", nullptr, MS_BIND);
    if (!why.empty()) GTEST_SKIP() << why;
    // Pair 3 would make "a.dds" beside the "A.dds" that pair 2 made.
    const Texts list = {"W\\seed", "W\\seed2", "R\\Orig",  "R\\A.dds",
                        "W\\src",  "W\\a.dds", "R\\a.dds", "R\\out.dds"};
    if (std::string(view) == "bind mount") {
      // brennel-check foresees it where the system shows one folder.
      const std::unique_ptr<DryRun> dry_run = MakeDryRun();
      Brennel check(*dry_run);
      for (const std::string& entry : list) check.colInputA.push_back(entry);
      try {
        check.Command3_Click();
        ADD_FAILURE() << "the dry run must foresee the refusal";
      } catch (const Error& error) {
        EXPECT_EQ(error.Number(), EEXIST);
      }
      EXPECT_EQ(dry_run->TakeRenames(), 2u);
    }
    EXPECT_EQ(Activate(list), EEXIST);
    EXPECT_EQ(ReadFile("R/A.dds"), "Orig");
    EXPECT_EQ(ReadFile("R/src"), "src");
    EXPECT_FALSE(fs::exists("R/out.dds"));
    Unmount(fs::absolute("W"));
    for (const auto& entry : fs::directory_iterator("R")) fs::remove(entry.path());
  }
}

// NTFS keeps "ı" apart from "I" and "ſ" from "S", as Unicode's own
// capitals would not; a name with such a letter is another name, and
// names whose keys are made otherwise (ASCII or not) still meet.
TEST_F(WrongFile, LettersThatNtfsKeepsApartFromAsciiAreOtherNames) {
  WriteFile("f\xC4\xB1le", "dotless");  // "fıle"
  EXPECT_EQ(Activate({"FILE", "found"}), 0);
  EXPECT_EQ(messages, Texts{"FILE is missing"});
  WriteFile("\xC5\xBFtuff", "long s");  // "ſtuff"
  WriteFile("x", "x");
  EXPECT_EQ(Activate({"x", "STUFF"}), 0);
  EXPECT_EQ(ReadFile("STUFF"), "x");
  WriteFile("\xC3\xA9t\xC3\xA9", "accented");               // "été"
  EXPECT_EQ(Activate({"\xC3\x89T\xC3\x89", "summer"}), 0);  // "ÉTÉ"
  EXPECT_EQ(ReadFile("summer"), "accented");
}

// On NTFS mounted to ignore case and on exFAT, the file system finds every
// spelling of a name: one folder however the list spells it, a pair naming
// the file's own entry renames nothing, a case-only pair respells the file,
// and another file is never replaced.
TEST_F(WrongFile, OnFileSystemsThatIgnoreCaseOneEntryIsOneEntryHoweverSpelled) {
  for (const std::string kind : {"ntfs", "exfat"}) {
    SCOPED_TRACE(kind);
    if (const std::string why = MountCaseInsensitive(kind, kind); !why.empty()) GTEST_SKIP() << why;
    WriteFile(kind + "/Data/mod.esp", "mod");
    WriteFile(kind + "/Data/rock.dds", "rock");
    WriteFile(kind + "/Data/stone.dds", "stone");
    const std::string at = kind + "\\";
    const Texts list = {at + "Data\\mod.esp", kind + "/data/./mod.esp", at + "data\\rock.dds",
                        at + "DATA\\Rock.dds"};
    // brennel-check foresees it: one rename, the respelling.
    const std::unique_ptr<DryRun> dry_run = MakeDryRun();
    Brennel check(*dry_run);
    for (const std::string& entry : list) check.colInputA.push_back(entry);
    EXPECT_NO_THROW(check.Command3_Click());
    EXPECT_TRUE(dry_run->messages.empty());
    EXPECT_EQ(dry_run->TakeRenames(), 1u);
    EXPECT_EQ(Activate(list), 0);
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(Activate({at + "data\\stone.dds", at + "Data\\ROCK.dds"}), EEXIST);
    Texts names;
    for (const auto& entry : fs::directory_iterator(kind + "/Data")) {
      names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    // lowntfs-3g lists names in lower case when it ignores case.
    const Texts expected = kind == "ntfs" ? Texts{"mod.esp", "rock.dds", "stone.dds"}
                                          : Texts{"Rock.dds", "mod.esp", "stone.dds"};
    EXPECT_EQ(names, expected);
    EXPECT_EQ(ReadFile(kind + "/Data/Rock.dds"), "rock");
    EXPECT_EQ(ReadFile(kind + "/Data/stone.dds"), "stone");
  }
}

// Runs `walk` in a child process that is killed at its `nth` rename, link
// or unlink. False when the walk ended before making that many.
bool KilledAt(int nth, const std::function<void()>& walk) {
  const pid_t child = fork();
  if (child == 0) {
    fault_injection::ArmKill(nth);
    try {
      walk();
    } catch (...) {
    }
    std::_Exit(0);
  }
  int status = 0;
  waitpid(child, &status, 0);
  return WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
}

// Killed at any call that changes a name, a walk leaves the state a walk
// stopped there leaves: the pairs before done, those after not, and the
// file of the pair it was in under a name a presence test of its pair
// finds. The way out of a stopped walk (Deactivate, then Activate) then
// works; where a move by link and unlink was stopped between its two
// calls, the file has both names and the error says so.
TEST_F(WrongFile, AKillAtAnyCallLeavesWhatAStoppedWalkLeaves) {
  const Texts list = {"Data\\rock.dds", "DATA\\Rock.dds", "Data\\a.esp",
                      "data\\b.esp",    "Data\\c.esp",    "Other\\c.esp"};
  const Texts contents = {"rock", "a", "c"};
  const Texts final_paths = {"Data/Rock.dds", "Data/b.esp", "Other/c.esp"};
  for (const std::string kind : {"ext4", "ext4 without RENAME_NOREPLACE", "ntfs", "exfat"}) {
    SCOPED_TRACE(kind);
    if (kind == "ntfs" || kind == "exfat") {
      if (const std::string why = MountCaseInsensitive(kind, kind); !why.empty()) {
        std::printf("skipped on %s: %s\n", kind.c_str(), why.c_str());
        continue;
      }
      fs::current_path(kind);
    }
    int kills = 0, two_names = 0;
    for (int nth = 1;; ++nth) {
      SCOPED_TRACE("killed at call " + std::to_string(nth));
      for (const std::string folder : {"Data", "Other"}) fs::remove_all(folder);
      WriteFile("Data/rock.dds", "rock");
      WriteFile("Data/a.esp", "a");
      WriteFile("Data/c.esp", "c");
      fs::create_directory("Other");
      if (kind == "ext4 without RENAME_NOREPLACE")
        fault_injection::Arm(Call::kRenameat2, EINVAL, 0);
      if (!KilledAt(nth, [&] { Activate(list); })) break;
      ++kills;
      SystemPlatform fresh(nullptr);
      const auto found = [&](const std::string& source, const std::string& target) {
        fresh.BeginPair(1, source, target);
        return !fresh.FindFile(source).empty();
      };
      for (std::size_t pair = 0; pair < contents.size(); ++pair) {
        const std::string &first = list[2 * pair], &second = list[2 * pair + 1];
        EXPECT_TRUE(found(first, second) || found(second, first)) << "pair " << pair + 1;
      }
      if (Deactivate(list) == EEXIST) {
        // The user removes the name the error points at, and presses again.
        EXPECT_NE(last_error.find("another name of the same file"), std::string::npos)
            << last_error;
        ++two_names;
        for (std::size_t pair = 0; pair < contents.size(); ++pair) {
          const fs::path source = "Data/" + list[2 * pair].substr(5);
          const fs::path target = final_paths[pair];
          const auto listed = [](const fs::path& path) {
            for (const auto& entry : fs::directory_iterator(path.parent_path())) {
              if (entry.path().filename() == path.filename()) return true;
            }
            return false;
          };
          if (listed(source) && listed(target) && fs::equivalent(source, target))
            fs::remove(target);
        }
        EXPECT_NE(Deactivate(list), EEXIST);
      }
      EXPECT_EQ(Activate(list), 0) << last_error;
      EXPECT_TRUE(messages.empty());
      for (std::size_t pair = 0; pair < contents.size(); ++pair) {
        EXPECT_EQ(ReadFile(final_paths[pair]), contents[pair]);
      }
    }
    fault_injection::DisarmAll();
    fs::current_path(folder.path());
    EXPECT_GE(kills, 3);
    std::printf("%s: killed at each of %d calls, %d of them leaving a file under two names\n",
                kind.c_str(), kills, two_names);
  }
}

// The faults of the walk that kept its names by path, each on the file
// systems where it showed.

// A respelling that finds the name it parks files under taken leaves that
// file alone, however alike the two are: only a second link of the very
// file (a stop at the end of an earlier respelling) may go.
TEST_F(WrongFile, ARespellingNeverDeletesAnotherFileUnderItsParkedName) {
  for (const std::string kind : {"ntfs", "exfat"}) {
    SCOPED_TRACE(kind);
    if (const std::string why = MountCaseInsensitive(kind, kind); !why.empty()) GTEST_SKIP() << why;
    WriteFile(kind + "/rock.dds", "rock");
    WriteFile(kind + "/.rock.dds.brennel-respell", "ROCK");  // unpacked with it: same size and time
    const timespec when[2] = {{1700000000, 0}, {1700000000, 0}};
    for (const char* name : {"/rock.dds", "/.rock.dds.brennel-respell"})
      ASSERT_EQ(utimensat(AT_FDCWD, (kind + name).c_str(), when, 0), 0);
    const std::int64_t number = Activate({kind + "\\rock.dds", kind + "\\Rock.dds"});
    EXPECT_EQ(ReadFile(kind + "/.rock.dds.brennel-respell"), "ROCK");
    EXPECT_EQ(ReadFile(kind + "/rock.dds"), "rock");  // in either spelling
    if (number != 0) {  // NTFS: the respelling needed the name, and was refused
      EXPECT_EQ(number, EEXIST);
      EXPECT_NE(last_error.find(".rock.dds.brennel-respell"), std::string::npos) << last_error;
    }
  }
}

// Where case is ignored, the file system finds a name as the list spells
// it, also one with no ASCII letter to tell the case by: a pair naming the
// file's own entry renames nothing there.
TEST_F(WrongFile, WhereCaseIsIgnoredANameOfGreekLettersIsFoundAsSpelled) {
  for (const std::string kind : {"exfat", "ntfs"}) {
    SCOPED_TRACE(kind);
    if (const std::string why = MountCaseInsensitive(kind, kind); !why.empty()) GTEST_SKIP() << why;
    WriteFile(kind + "/\xCE\xA3\xCE\x9F\xCF\x82", "greek");           // "ΣΟς"
    const std::string spelled = kind + "\\\xCF\x83\xCE\xBF\xCF\x82";  // "σος"
    EXPECT_EQ(Activate({spelled, spelled}), 0);
    EXPECT_TRUE(messages.empty());
    Texts names;
    for (const auto& entry : fs::directory_iterator(kind)) {
      if (entry.path().extension() != ".img") names.push_back(entry.path().filename().string());
    }
    ASSERT_EQ(names.size(), 1u);
    if (kind == "exfat") {
      EXPECT_EQ(names.front(), "\xCE\xA3\xCE\x9F\xCF\x82");  // as it was
    }
    EXPECT_EQ(ReadFile(kind + "/" + names.front()), "greek");
  }
}

// Only the pair a respelling belongs to finds a file under its parked name:
// any other pair whose source is missing says so, on every file system.
TEST_F(WrongFile, AMissingSourceIsMissingThoughAParkedNameOfItIsThere) {
  WriteFile(".a.esp.brennel-respell", "hidden");
  WriteFile(".b.esp.brennel-respell", "hidden too");
  EXPECT_EQ(Activate({"a.esp", "Data\\moved.esp"}), 0);
  EXPECT_EQ(messages, Texts{"a.esp is missing"});
  // A change of case, on a file system that tells case apart.
  EXPECT_EQ(Activate({"b.esp", "B.esp"}), 0);
  EXPECT_EQ(messages, Texts{"b.esp is missing"});
  EXPECT_EQ(ReadFile(".a.esp.brennel-respell"), "hidden");
  EXPECT_EQ(ReadFile(".b.esp.brennel-respell"), "hidden too");
  EXPECT_FALSE(fs::exists("Data"));
  EXPECT_FALSE(fs::exists("B.esp"));
}

// An NTFS volume written where case was kept apart holds "rock.dds" and
// "Rock.dds"; mounted to ignore case it cannot say which a name means. A
// pair of either is refused, naming both, and neither file is moved.
TEST_F(WrongFile, TwoNamesOfOneKeyWhereCaseIsIgnoredAreRefusedAndNeitherIsMoved) {
  if (const std::string why = MountCaseInsensitive("ntfs", "ntfs"); !why.empty())
    GTEST_SKIP() << why;
  const std::string image = (folder.path() / "ntfs.img").string();
  const auto remount = [&](const char* options) {
    Unmount(fs::absolute("ntfs"));
    ASSERT_EQ(MountFuse("lowntfs-3g " + std::string(options) + image + " ntfs", "ntfs"), "");
  };
  remount("");
  WriteFile("ntfs/Data/rock.dds", "lower");
  WriteFile("ntfs/Data/Rock.dds", "upper");
  remount("-o ignore_case ");
  for (const Texts& pair : {Texts{"ntfs\\Data\\rock.dds", "ntfs\\Data\\Rock.dds"},
                            Texts{"ntfs\\Data\\Rock.dds", "ntfs\\Data\\rock.dds"},
                            Texts{"ntfs\\Data\\rock.dds", "ntfs\\rock.dds"}}) {
    SCOPED_TRACE(pair[0] + " to " + pair[1]);
    EXPECT_EQ(Activate(pair), ENOTUNIQ);
    EXPECT_NE(last_error.find("'ntfs/data/rock.dds' (inode "), std::string::npos) << last_error;
    EXPECT_NE(last_error.find("without ignore_case"), std::string::npos) << last_error;
    EXPECT_EQ(last_error.find("delete"), std::string::npos) << last_error;
  }
  remount("");
  Texts names;
  for (const auto& entry : fs::directory_iterator("ntfs/Data"))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (Texts{"Rock.dds", "rock.dds"}));
  EXPECT_EQ(ReadFile("ntfs/Data/rock.dds"), "lower");
  EXPECT_EQ(ReadFile("ntfs/Data/Rock.dds"), "upper");
  EXPECT_FALSE(fs::exists("ntfs/rock.dds"));
}

}  // namespace
}  // namespace tavrik
