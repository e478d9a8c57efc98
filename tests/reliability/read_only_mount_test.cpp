// A refusal from a real file system: a small tmpfs remounted read-only, in a
// mount namespace of this test's own so that nothing leaks to the machine.

#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "launcher.h"
#include "scratch_folder.h"
#include "system_platform.h"

namespace tavrik {
namespace {

namespace fs = std::filesystem;

class ReadOnlyMount : public ::testing::Test {
 protected:
  ScratchFolder folder;
  std::vector<std::string> messages;
  SystemPlatform platform{[this](const std::string& text) { messages.push_back(text); }};
  Brennel brennel{platform};
  std::string mount_point;

  void SetUp() override {
    if (geteuid() != 0) GTEST_SKIP() << "mounting a read-only file system needs root";
    // Mounts made here vanish with the process, even if it crashes.
    if (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr)) {
      GTEST_SKIP() << "no mount namespace of our own here: " << std::strerror(errno);
    }
    mount_point = (folder.path() / "Data").string();
    fs::create_directory(mount_point);
    if (mount("tmpfs", mount_point.c_str(), "tmpfs", 0, "size=1m") != 0) {
      GTEST_SKIP() << "cannot mount a tmpfs here: " << std::strerror(errno);
    }
    mounted_ = true;
    WriteFile("Data/mod.esp", "mod");
    if (mount(nullptr, mount_point.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr) != 0) {
      GTEST_SKIP() << "cannot remount the tmpfs read-only: " << std::strerror(errno);
    }
  }

  void TearDown() override {
    if (mounted_ && umount2(mount_point.c_str(), MNT_DETACH) != 0) {
      ADD_FAILURE() << "cannot unmount " << mount_point << ": " << std::strerror(errno);
    }
  }

 private:
  bool mounted_ = false;
};

TEST_F(ReadOnlyMount, RefusedRenameEndsTheWalkNamingBothPaths) {
  WriteFile("first.esp", "first");
  WriteFile("third.esp", "third");
  brennel.colInputA = {"first.esp",    "first.off", "Data/mod.esp",
                       "Data/mod.off", "third.esp", "third.off"};
  try {
    brennel.Command3_Click();
    FAIL() << "a rename on a read-only file system must fail";
  } catch (const Error& error) {
    EXPECT_EQ(error.Number(), EROFS);
    EXPECT_NE(error.Description().find("'Data/mod.esp' to 'Data/mod.off'"), std::string::npos)
        << error.Description();
    EXPECT_NE(error.Description().find(std::strerror(EROFS)), std::string::npos)
        << error.Description();
  }
  EXPECT_EQ(ReadFile("first.off"), "first");
  EXPECT_EQ(ReadFile("Data/mod.esp"), "mod");
  EXPECT_FALSE(fs::exists("Data/mod.off"));
  EXPECT_EQ(ReadFile("third.esp"), "third");
  EXPECT_FALSE(fs::exists("third.off"));
  EXPECT_TRUE(messages.empty());
}

TEST_F(ReadOnlyMount, APairWhoseTargetIsItsSourceSucceedsWithoutTouchingTheDisk) {
  brennel.colInputA = {"Data/mod.esp", "Data/mod.esp", "data\\MOD.esp", "DATA\\.\\mod.esp. "};
  EXPECT_NO_THROW(brennel.Command3_Click());
  EXPECT_TRUE(messages.empty());
  EXPECT_EQ(ReadFile("Data/mod.esp"), "mod");
}

}  // namespace
}  // namespace tavrik
