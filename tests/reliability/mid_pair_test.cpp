// Another program changes the disk while a pair is under way, or the walk
// meets a folder the user may not list: whatever the file system, no file
// is replaced, and nothing but the listed file is moved.

#include <grp.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <functional>

#include "launcher.h"
#include "real_platform_test.h"
#include "scratch_mounts.h"

namespace tavrik {
namespace {

namespace fs = std::filesystem;
using Texts = std::vector<std::string>;

// The real platform, and another program that changes the disk before a
// pair's look, or between its look and its rename.
class ChangingPlatform : public SystemPlatform {
 public:
  explicit ChangingPlatform(MessageBox box) : SystemPlatform(std::move(box)) {}
  std::function<void()> before_pair_2, before_rename;
  void BeginPair(std::size_t pair, const std::string& source, const std::string& target) override {
    if (pair == 2 && before_pair_2) std::exchange(before_pair_2, nullptr)();
    SystemPlatform::BeginPair(pair, source, target);
  }
  void RenameFile(const std::string& source, const std::string& target) override {
    if (before_rename) std::exchange(before_rename, nullptr)();
    SystemPlatform::RenameFile(source, target);
  }
};

class MidPair : public ::testing::Test {
 protected:
  ScratchFolder folder;
  Texts messages;
  ChangingPlatform platform{[this](const std::string& text) { messages.push_back(text); }};
  Brennel brennel{platform};
  ScratchMounts mounts;
  std::string last_error;

  std::int64_t Press(const Texts& entries, bool activate) {
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

  // The names of `path` as an NTFS image keeps them: mounted again without ignore_case.
  Texts NamesKeptInCase(const std::string& image, const std::string& mount, const char* path) {
    mounts.Unmount(fs::absolute(mount));
    EXPECT_EQ(mounts.MountFuse("lowntfs-3g " + image + " " + mount, mount), "");
    Texts names;
    for (const auto& entry : fs::directory_iterator(fs::path(mount) / path))
      names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }
};

TEST_F(MidPair, AFileMadeInAnotherCaseBetweenTheLookAndTheRespellingIsNeverReplaced) {
  WriteFile("Data/rock.dds", "mod");
  platform.before_rename = [] { WriteFile("Data/Rock.dds", "other program's"); };
  EXPECT_EQ(Press({"Data\\rock.dds", "Data\\Rock.dds"}, true), EEXIST) << last_error;
  EXPECT_EQ(ReadFile("Data/rock.dds"), "mod");
  EXPECT_EQ(ReadFile("Data/Rock.dds"), "other program's");
}

// Root lists any folder: the walk runs as nobody, in a child.
TEST_F(MidPair, ARespellingInAFolderThatMayNotBeListedNeverReplacesAnotherFile) {
  WriteFile("Data/rock.dds", "mod");
  WriteFile("Data/Rock.dds", "game's");
  ASSERT_EQ(chown("Data", 65534, 65534), 0);
  ASSERT_EQ(chmod("Data", 0300), 0);
  const pid_t child = fork();
  if (child == 0) {
    if (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0) _exit(100);
    _exit(static_cast<int>(Press({"Data\\rock.dds", "Data\\Rock.dds"}, true)));
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  if (WEXITSTATUS(status) == 100) GTEST_SKIP() << "cannot become nobody";
  EXPECT_EQ(WEXITSTATUS(status), EEXIST);
  ASSERT_EQ(chmod("Data", 0700), 0);
  EXPECT_EQ(ReadFile("Data/rock.dds"), "mod");
  EXPECT_EQ(ReadFile("Data/Rock.dds"), "game's");
}

// On NTFS ignoring case, a rename onto the file's own entry does nothing and
// says nothing to the watches: the walk must neither count on the events it
// did not cause nor take a listing in lower case for the respelling done.
TEST_F(MidPair, OnNtfsIgnoringCaseARespellingIsProvedAndSwallowsNoOtherProgramsChange) {
  if (const std::string why = mounts.MountCaseInsensitive("ntfs", folder.path(), "ntfs");
      !why.empty()) {
    GTEST_SKIP() << why;
  }
  const std::string image = (folder.path() / "ntfs.img").string();
  WriteFile("ntfs/Data/rock.dds", "mod");
  WriteFile("ntfs/Data/Big.dds", "big");
  WriteFile("ntfs/Other/Sounds/kept", "in the folder");
  // The file moved out and a folder moved in under the respelled name, by
  // the very names whose events the walk would have expected, from a
  // folder it does not watch.
  platform.before_pair_2 = [] {
    fs::rename("ntfs/Data/rock.dds", "ntfs/Other/rock.dds");
    fs::rename("ntfs/Other/Sounds", "ntfs/Data/Rock.dds");
  };
  EXPECT_EQ(Press({"ntfs\\Data\\rock.dds", "ntfs\\Data\\Rock.dds", "ntfs\\Data\\Rock.dds",
                   "ntfs\\Data\\moved.dds"},
                  true),
            0)
      << last_error;
  EXPECT_EQ(messages, Texts{"ntfs\\Data\\Rock.dds is missing"});
  EXPECT_EQ(ReadFile("ntfs/Data/Rock.dds/kept"), "in the folder");
  // Back to lower case, then the names as the volume keeps them.
  fs::remove_all("ntfs/Data/Rock.dds");
  messages.clear();
  EXPECT_EQ(Press({"ntfs\\Data\\big.dds", "ntfs\\Data\\BIG.dds"}, false), 0) << last_error;
  EXPECT_TRUE(messages.empty());
  EXPECT_EQ(NamesKeptInCase(image, "ntfs", "Data"), Texts{"big.dds"});
}

}  // namespace
}  // namespace tavrik
