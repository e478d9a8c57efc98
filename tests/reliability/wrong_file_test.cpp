// Trees in which a walk once moved a file other than the one its list
// names, or refused a rename it should make: deep chains of folders, one
// folder shown twice by a bind mount or by a FUSE file system that repeats
// inode numbers, trailing dots, ".." after a link, a file system that
// ignores case, loops of links. Mounts are made in a mount namespace of the
// test's own and skipped, with the reason, where the machine has none.

#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "launcher.h"
#include "real_platform_test.h"

namespace tavrik {
namespace {

namespace fs = std::filesystem;
using Texts = std::vector<std::string>;

class WrongFile : public RealPlatformTest {
 protected:
  Brennel brennel{platform};

  // Activates `entries`; returns the error that ends the walk, or 0.
  std::int64_t Activate(const Texts& entries) {
    messages.clear();
    brennel.colInputA.clear();
    for (const std::string& entry : entries) brennel.colInputA.push_back(entry);
    try {
      brennel.Command3_Click();
    } catch (const Error& error) {
      return error.Number();
    }
    return 0;
  }

  // Mounts are made in a mount namespace of this process's own and undone
  // in reverse at the test's end. Each returns why it cannot, or "".
  static std::string PrivateMounts() {
    if (geteuid() != 0) return "mounting needs root";
    if (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr)) {
      return std::string("no mount namespace of our own here: ") + std::strerror(errno);
    }
    return "";
  }
  std::string Mount(const char* source, const std::string& target, const char* type,
                    unsigned long flags, const char* options = nullptr) {
    fs::create_directories(target);
    if (mount(source, target.c_str(), type, flags, options) != 0) {
      return "cannot mount " + target + ": " + std::strerror(errno);
    }
    if ((flags & MS_REMOUNT) == 0) mounted_.push_back(fs::absolute(target));
    return "";
  }
  // A FUSE file system, mounted on `target` by `command`.
  std::string MountFuse(const std::string& command, const std::string& target) {
    if (!fs::exists("/dev/fuse")) return "no /dev/fuse here";
    fs::create_directories(target);
    if (std::system((command + " 2>&1").c_str()) != 0) return "'" + command + "' failed";
    mounted_.push_back(fs::absolute(target));
    return "";
  }
  void Unmount(const fs::path& target) {
    if (umount2(target.c_str(), MNT_DETACH) != 0) ADD_FAILURE() << target << ": unmount failed";
    mounted_.erase(std::find(mounted_.begin(), mounted_.end(), target));
  }
  void TearDown() override {
    while (!mounted_.empty()) Unmount(mounted_.back());
  }

 private:
  std::vector<fs::path> mounted_;
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

}  // namespace
}  // namespace tavrik
