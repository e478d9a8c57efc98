#include "system_platform.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

#include "folders.h"
#include "launcher.h"
#include "real_platform_test.h"

namespace tavrik {
namespace {

namespace fs = std::filesystem;
using Texts = std::vector<std::string>;

class RealFiles : public RealPlatformTest {};

TEST_F(RealFiles, PresenceTestMatchesRegularFilesOnly) {
  WriteFile("file.txt", "x");
  WriteFile(".hidden-looking", "x");
  WriteFile("wild*card?.txt", "x");
  fs::create_directory("folder");
  fs::create_symlink("file.txt", "link-to-file");
  fs::create_symlink("folder", "link-to-folder");
  fs::create_symlink("nowhere", "dangling");
  EXPECT_EQ(platform.FindFile("file.txt"), "file.txt");
  EXPECT_EQ(platform.FindFile(".hidden-looking"), ".hidden-looking");
  EXPECT_EQ(platform.FindFile("wild*card?.txt"), "wild*card?.txt");
  EXPECT_EQ(platform.FindFile("link-to-file"), "link-to-file");
  EXPECT_EQ(platform.FindFile((folder.path() / "file.txt").string()), "file.txt");
  for (const char* absent : {"folder", "link-to-folder", "dangling", "missing.txt",
                             "folder/missing.txt", "file.txt/below", "*.txt", "file.tx?", ""}) {
    EXPECT_EQ(platform.FindFile(absent), "") << absent;
  }
  EXPECT_EQ(platform.FindFile(std::string("file.txt\0junk", 13)), "");
}

TEST_F(RealFiles, RenameMovesIntoAnotherFolder) {
  WriteFile("a.esp", "mod");
  fs::create_directory("Data");
  platform.RenameFile("a.esp", "Data/b.esp");
  EXPECT_FALSE(fs::exists("a.esp"));
  EXPECT_EQ(ReadFile("Data/b.esp"), "mod");
}

TEST_F(RealFiles, RenameNeverReplacesAnExistingTarget) {
  WriteFile("new.dds", "new");
  WriteFile("old.dds", "precious");
  const Error error = RenameFailure("new.dds", "old.dds");
  EXPECT_EQ(error.Number(), EEXIST);
  EXPECT_EQ(error.Description(), "Cannot rename 'new.dds' to 'old.dds': File exists");
  EXPECT_EQ(ReadFile("old.dds"), "precious");
  EXPECT_EQ(ReadFile("new.dds"), "new");
}

TEST_F(RealFiles, RenameOntoAnotherHardLinkOfTheSameFileIsRefused) {
  WriteFile("a", "one file");
  ASSERT_EQ(link("a", "b"), 0);
  EXPECT_EQ(RenameFailure("a", "b").Number(), EEXIST);
  EXPECT_TRUE(fs::exists("a"));
  EXPECT_TRUE(fs::exists("b"));
}

TEST_F(RealFiles, RenameOntoItselfSucceedsAndChangesNothing) {
  WriteFile("same.esp", "x");
  fs::create_directory("sub");
  EXPECT_NO_THROW(platform.RenameFile("same.esp", "same.esp"));
  EXPECT_NO_THROW(platform.RenameFile("same.esp", "sub/../same.esp"));
  EXPECT_NO_THROW(platform.RenameFile("same.esp", (folder.path() / "same.esp").string()));
  EXPECT_EQ(ReadFile("same.esp"), "x");
}

TEST_F(RealFiles, RenameFailuresNameBothPaths) {
  WriteFile("a", "x");
  const Error no_folder = RenameFailure("a", "no such folder/a");
  EXPECT_EQ(no_folder.Number(), ENOENT);
  EXPECT_NE(no_folder.Description().find("'a' to 'no such folder/a'"), std::string::npos);
  EXPECT_EQ(RenameFailure("missing", "b").Number(), ENOENT);
  EXPECT_NE(RenameFailure("", "b").Number(), 0);
  EXPECT_TRUE(fs::exists("a"));
}

TEST_F(RealFiles, NamesThatCannotExistAreMissingAndRefusalsNameBothPaths) {
  WriteFile("a", "x");
  fs::create_symlink("loop", "loop");
  const std::string long_name(300, 'n');
  const std::string deep = [] {
    std::string path;
    for (int i = 0; i < 3000; ++i) path += "d/";
    return path + "x";
  }();
  for (const std::string& absent : {long_name, "a/" + long_name, deep, std::string("loop/x")}) {
    EXPECT_EQ(platform.FindFile(absent), "") << absent.substr(0, 40);
  }
  // A target folder that cannot be looked at still names the pair.
  for (const std::string& target : {std::string("loop/b"), long_name + "/b", std::string("a/b")}) {
    const Error error = RenameFailure("a", target);
    EXPECT_NE(error.Description().find("'a' to '" + target + "'"), std::string::npos)
        << error.Description();
  }
  EXPECT_EQ(RenameFailure("a", "loop/b").Number(), ELOOP);
  EXPECT_EQ(RenameFailure("a", "a/b").Number(), ENOTDIR);
  EXPECT_EQ(ReadFile("a"), "x");
}

TEST_F(RealFiles, RenameAcrossFileSystemsFailsWithoutCopying) {
  // /dev/shm is a tmpfs on Linux; the scratch folder usually is not.
  struct stat here, shm;
  if (stat(".", &here) != 0 || stat("/dev/shm", &shm) != 0 || here.st_dev == shm.st_dev) {
    GTEST_SKIP() << "no second file system to move to";
  }
  WriteFile("a.esp", "x");
  const std::string target = "/dev/shm/brennel-test-" + std::to_string(getpid());
  const Error error = RenameFailure("a.esp", target);
  EXPECT_EQ(error.Number(), EXDEV);
  EXPECT_NE(error.Description().find("different file systems"), std::string::npos);
  EXPECT_TRUE(fs::exists("a.esp"));
  EXPECT_FALSE(fs::exists(target));
}

// The walk against the real file system, through Brennel.
class RealWalk : public RealFiles {
 protected:
  Brennel brennel{platform};

  void Load(const std::string& activation, const std::string& deactivation) {
    WriteFile("Tavrik.mla", activation);
    WriteFile("Tavrik.mld", deactivation);
    brennel.Form_Load();
  }
};

TEST_F(RealWalk, ActivateTwiceThenDeactivate) {
  WriteFile("Data/Textures/rock.dds", "rock");
  WriteFile("Data/mod.esp", "mod");
  const std::string list =
      "Data/Textures/rock.dds,Data/Textures/rock.dds.off\r\n"
      "Data/mod.esp,Data/mod.esp.off\r\n";
  Load(list, list);
  brennel.Command3_Click();
  EXPECT_EQ(ReadFile("Data/Textures/rock.dds.off"), "rock");
  EXPECT_EQ(ReadFile("Data/mod.esp.off"), "mod");
  EXPECT_TRUE(messages.empty());

  brennel.Command3_Click();
  EXPECT_EQ(messages, Texts{"Data/Textures/rock.dds is missing"});
  EXPECT_TRUE(fs::exists("Data/mod.esp.off"));

  brennel.Command4_Click();
  EXPECT_EQ(ReadFile("Data/Textures/rock.dds"), "rock");
  EXPECT_EQ(ReadFile("Data/mod.esp"), "mod");
}

TEST_F(RealWalk, DeactivateFirstRenamesNothing) {
  WriteFile("a", "1");
  Load("a\r\nb\r\n", "a\r\nb\r\n");
  brennel.Command4_Click();
  EXPECT_EQ(messages, Texts{"b is missing"});
  EXPECT_TRUE(fs::exists("a"));
}

TEST_F(RealWalk, MissingSourceAtPairThreeOfFive) {
  std::string list;
  for (int k = 1; k <= 5; ++k) {
    const std::string n = std::to_string(k);
    if (k != 3) WriteFile("f" + n, n);
    list += "f" + n + ",g" + n + "\r\n";
  }
  Load(list, "");
  brennel.Command3_Click();
  EXPECT_EQ(messages, Texts{"f3 is missing"});
  EXPECT_TRUE(fs::exists("g1") && fs::exists("g2"));
  EXPECT_TRUE(fs::exists("f4") && fs::exists("f5"));
  EXPECT_FALSE(fs::exists("g4") || fs::exists("g5"));
}

TEST_F(RealWalk, FolderAsSourceIsMissing) {
  fs::create_directory("Textures");
  Load("Textures,Textures.off\r\n", "");
  brennel.Command3_Click();
  EXPECT_EQ(messages, Texts{"Textures is missing"});
  EXPECT_TRUE(fs::is_directory("Textures"));
}

TEST_F(RealWalk, ExistingTargetEndsTheWalkWithEarlierRenamesInPlace) {
  WriteFile("a", "a");
  WriteFile("b", "b");
  WriteFile("b.off", "keep me");
  WriteFile("c", "c");
  Load("a,a.off\r\nb,b.off\r\nc,c.off\r\n", "");
  EXPECT_THROW(brennel.Command3_Click(), Error);
  EXPECT_TRUE(fs::exists("a.off"));
  EXPECT_EQ(ReadFile("b"), "b");
  EXPECT_EQ(ReadFile("b.off"), "keep me");
  EXPECT_TRUE(fs::exists("c") && !fs::exists("c.off"));
}

TEST_F(RealWalk, RelativePathsResolveAgainstTheWorkingDirectoryOfTheClick) {
  WriteFile("Tavrik.mla", "x.esp,y.esp\r\n");
  brennel.Form_Load();
  fs::create_directory("elsewhere");
  WriteFile("elsewhere/x.esp", "x");
  fs::current_path("elsewhere");
  brennel.Command3_Click();
  EXPECT_TRUE(fs::exists("y.esp"));
  EXPECT_TRUE(messages.empty());
}

TEST_F(RealWalk, QuotedPathWithCommaAndNonAsciiNames) {
  WriteFile("My Mod, v2.esp", "m");
  WriteFile(
      "\xC3\x9C"
      "ber.dds",
      "u");
  // Windows-1252 bytes for "Über.dds" and "Über.off".
  Load(
      "\"My Mod, v2.esp\",plain.esp\r\n\xDC"
      "ber.dds,\xDC"
      "ber.off\r\n",
      "");
  brennel.Command3_Click();
  EXPECT_EQ(ReadFile("plain.esp"), "m");
  EXPECT_EQ(ReadFile("\xC3\x9C"
                     "ber.off"),
            "u");
}

// Creates the target between the presence test and the rename, as another
// program could.
class RacingPlatform : public SystemPlatform {
 public:
  RacingPlatform() : SystemPlatform(nullptr) {}
  std::string FindFile(const std::string& path) override {
    std::string found = SystemPlatform::FindFile(path);
    WriteFile(path + ".off", "created meanwhile");
    return found;
  }
};

TEST_F(RealWalk, TargetCreatedAfterThePresenceTestIsNeverReplaced) {
  WriteFile("a.esp", "mod");
  RacingPlatform racing;
  Brennel launcher(racing);
  launcher.colInputA = {"a.esp", "a.esp.off"};
  EXPECT_THROW(launcher.Command3_Click(), Error);
  EXPECT_EQ(ReadFile("a.esp.off"), "created meanwhile");
  EXPECT_EQ(ReadFile("a.esp"), "mod");
}

TEST_F(RealWalk, FoldersRenamedByAnotherProgramBetweenClicksAreSeenAtTheNextClick) {
  WriteFile("Data/Textures/rock.dds", "first");
  Load("data\\textures\\rock.dds,data\\textures\\rock.off\r\n", "");
  brennel.Command3_Click();
  fs::rename("Data", "Old");
  WriteFile("DATA/Textures/rock.dds", "second");
  brennel.Command3_Click();
  EXPECT_TRUE(messages.empty());
  EXPECT_EQ(ReadFile("DATA/Textures/rock.off"), "second");
  EXPECT_EQ(ReadFile("Old/Textures/rock.off"), "first");
}

std::size_t OpenDescriptors() {
  return static_cast<std::size_t>(std::distance(fs::directory_iterator("/proc/self/fd"), {}));
}

// The real platform, counting the process's open descriptors at every test.
class DescriptorCountingPlatform : public SystemPlatform {
 public:
  DescriptorCountingPlatform() : SystemPlatform(nullptr) {}
  std::size_t most = 0;
  std::string FindFile(const std::string& path) override {
    most = std::max(most, OpenDescriptors());
    return SystemPlatform::FindFile(path);
  }
};

TEST_F(RealWalk, AWalkOverMoreFoldersThanItHoldsKeepsItsBoundAndNoneAfterwards) {
  // Past the bound a walk lets go of what it holds and finds its folders
  // again; once it ends it holds nothing.
  constexpr int kFolders = static_cast<int>(kFoldersHeld) + 40;
  DescriptorCountingPlatform counting;
  Brennel launcher(counting);
  for (int k = 0; k < kFolders; ++k) {
    const std::string folder = "Mods\\f" + std::to_string(k) + "\\";
    WriteFile("Mods/f" + std::to_string(k) + "/a.esp", std::to_string(k));
    launcher.colInputA.insert(launcher.colInputA.end(), {folder + "a.esp", folder + "b.esp"});
  }
  for (int k = 0; k < 3; ++k) {
    const std::string folder = "mods\\F" + std::to_string(k) + "\\";
    launcher.colInputA.insert(launcher.colInputA.end(), {folder + "b.esp", folder + "c.esp"});
  }
  const std::size_t before = OpenDescriptors();
  launcher.Command3_Click();
  EXPECT_GT(counting.most, before);
  // Beside the folders, one descriptor for the watches, kept for the next walk.
  EXPECT_LE(counting.most, before + kFoldersHeld + 1);
  EXPECT_LE(OpenDescriptors(), before + 1);
  for (int k = 0; k < kFolders; ++k) {
    const std::string folder = "Mods/f" + std::to_string(k) + "/";
    EXPECT_EQ(ReadFile(folder + (k < 3 ? "c.esp" : "b.esp")), std::to_string(k)) << folder;
  }
}

TEST_F(RealWalk, APathLongerThanLinuxTakesInOneCallIsFoundAndRenamed) {
  // 40 folders of 120 characters: 4,840 bytes, past PATH_MAX, within what
  // Windows takes. Made one folder at a time, as no single call could.
  const std::string name(120, 'n');
  std::string path;
  for (int depth = 0; depth < 40; ++depth) {
    ASSERT_EQ(mkdir(name.c_str(), 0755), 0);
    ASSERT_EQ(chdir(name.c_str()), 0);
    path += name + "\\";
  }
  WriteFile("deep.esp", "deep");
  fs::current_path(folder.path());
  Load(path + "deep.esp," + path + "DEEP.off\r\n", "");
  brennel.Command3_Click();
  EXPECT_TRUE(messages.empty());
  for (int depth = 0; depth < 40; ++depth) ASSERT_EQ(chdir(name.c_str()), 0);
  EXPECT_EQ(ReadFile("DEEP.off"), "deep");
  EXPECT_FALSE(fs::exists("deep.esp"));
  fs::current_path(folder.path());
}

TEST_F(RealWalk, AFolderThatMayBeEnteredButNotListedStillWalks) {
  if (geteuid() != 0) GTEST_SKIP() << "becoming another user needs root";
  constexpr uid_t kNobody = 65534;
  WriteFile("Locked/present.esp", "present");
  WriteFile("Locked/Other.esp", "other");
  for (const char* path : {"Locked", "Locked/present.esp", "Locked/Other.esp"}) {
    ASSERT_EQ(chown(path, kNobody, kNobody), 0) << path;
  }
  ASSERT_EQ(chmod("Locked", 0300), 0);
  Load("locked\\present.esp,Locked\\moved.esp\r\nLocked\\other.esp,Locked\\x.esp\r\n", "");
  // As the user nobody, who may enter the folder but not list it.
  EXPECT_EXIT(
      {
        if (setresgid(kNobody, kNobody, kNobody) != 0 ||
            setresuid(kNobody, kNobody, kNobody) != 0) {
          std::perror("cannot become nobody");
          std::_Exit(2);
        }
        brennel.Command3_Click();
        const bool reported = messages == Texts{"Locked\\other.esp is missing"};
        // The target's any-case check is skipped; nothing is replaced still.
        const Error refused = RenameFailure("Locked\\moved.esp", "Locked\\Other.esp");
        std::fprintf(stderr, "messages: %zu, refusal: %s\n", messages.size(),
                     refused.Description().c_str());
        std::_Exit(reported && refused.Number() == EEXIST ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
  EXPECT_EQ(ReadFile("Locked/moved.esp"), "present");
  EXPECT_EQ(ReadFile("Locked/Other.esp"), "other");
  EXPECT_FALSE(fs::exists("Locked/present.esp"));
}

}  // namespace
}  // namespace tavrik
