// What a walk holds and what a pair costs stay bounded whatever the lists
// and the system's limits: descriptors during a pair however deep the path,
// and names listed where no watch can be had or another program changes
// the folder before every pair.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <functional>

#include "launcher.h"
#include "path_walk.h"
#include "scratch_folder.h"
#include "scratch_mounts.h"
#include "system_disk.h"

namespace tavrik {
namespace {

// The system's disk, counting the names it lists; its watches refused on
// demand, as when the user's are spent.
class CountingDisk : public Disk {
 public:
  bool refuse_watches = false;
  std::size_t listed = 0, opened = 0;

  int Open(FolderHandle folder, const std::string& path, FolderHandle& handle,
           bool& linked) override {
    ++opened;
    return real_.Open(folder, path, handle, linked);
  }
  void Close(FolderHandle folder) override { real_.Close(folder); }
  int Stat(FolderHandle folder, const std::string& name, bool follow,
           struct stat& status) override {
    return real_.Stat(folder, name, follow, status);
  }
  int ReadNames(FolderHandle folder,
                const std::function<void(std::string_view, Listed)>& add) override {
    return real_.ReadNames(folder, [&](std::string_view name, Listed listed_as) {
      ++listed;
      add(name, listed_as);
    });
  }
  int Move(FolderHandle from, const std::string& from_name, FolderHandle to,
           const std::string& to_name) override {
    return real_.Move(from, from_name, to, to_name);
  }
  int Respell(FolderHandle folder, const std::string& name, const std::string& respelled) override {
    return real_.Respell(folder, name, respelled);
  }
  int Watch(FolderHandle folder, int known) override {
    return refuse_watches ? -1 : real_.Watch(folder, known);
  }
  void Unwatch(int watch) override { real_.Unwatch(watch); }
  bool Changes(std::vector<NameChange>& changed) override { return real_.Changes(changed); }

 private:
  SystemDisk real_;
};

// The real walk over a given disk; another program may act before each pair.
class WalkOver : public Platform {
 public:
  explicit WalkOver(Disk& disk) : walk_(disk) {}
  std::function<void(std::size_t)> before_pair;
  void BeginWalk() override { walk_.Forget(); }
  void EndWalk() override { walk_.Forget(); }
  void BeginPair(std::size_t pair, const std::string& source, const std::string& target) override {
    if (before_pair) before_pair(pair);
    walk_.BeginPair(source, target);
  }
  std::string FindFile(const std::string& path) override { return walk_.FindFile(path); }
  void RenameFile(const std::string& source, const std::string& target) override {
    walk_.RenameFile(source, target);
  }
  void ShowMessage(const std::string& text) override { shown.push_back(text); }
  std::unique_ptr<ByteSource> OpenListFile(const std::string& name) override {
    throw FileError(ENOENT, "Cannot open", name);  // the lists are set directly
  }
  std::vector<std::string> shown;

 private:
  PathWalk walk_;
};

// 1,000 pairs in one folder: read whole at every pair, as without watches
// the walk once did, the folder's names would be listed half a million times.
TEST(WalkBounds, WhereTheKernelCannotVouchAPairListsNoWholeFolder) {
  constexpr int kPairs = 1000;
  for (const bool refuse_watches : {true, false}) {
    SCOPED_TRACE(refuse_watches ? "no watch to be had" : "a change before every pair");
    ScratchFolder folder;
    for (int i = 0; i < kPairs; ++i) WriteFile("Data/f" + std::to_string(i), std::to_string(i));
    CountingDisk disk;
    disk.refuse_watches = refuse_watches;
    WalkOver platform(disk);
    if (!refuse_watches) {
      platform.before_pair = [](std::size_t pair) {
        WriteFile("Data/other" + std::to_string(pair), "another program's");
      };
    }
    Brennel brennel(platform);
    for (int i = 0; i < kPairs; ++i) {
      brennel.colInputA.push_back("Data\\f" + std::to_string(i));
      brennel.colInputA.push_back("Data\\g" + std::to_string(i));
    }
    brennel.Command3_Click();
    EXPECT_TRUE(platform.shown.empty());
    for (const int i : {0, kPairs / 2, kPairs - 1})
      EXPECT_EQ(ReadFile("Data/g" + std::to_string(i)), std::to_string(i));
    EXPECT_LT(disk.listed, 10u * kPairs);
  }
}

// Each own move makes the events the walk expects of it, no more and no
// fewer, whatever the file system and however it moves: else the walk lets
// go of its folders at every pair and opens them again.
TEST(WalkBounds, TheWalksOwnMovesAreNoNewsOnEveryFileSystem) {
  constexpr int kPairs = 20;
  ScratchFolder folder;
  ScratchMounts mounts;
  if (const std::string why = ScratchMounts::Private(); !why.empty()) GTEST_SKIP() << why;
  for (const std::string kind : {"ext4", "ntfs", "exfat", "bindfs"}) {
    SCOPED_TRACE(kind);
    std::string why;
    if (kind == "ntfs" || kind == "exfat") {
      why = mounts.MountCaseInsensitive(kind, folder.path(), kind);
    } else if (kind == "bindfs") {
      std::filesystem::create_directories("under");
      why = mounts.MountFuse("bindfs under bindfs", "bindfs");
    } else {
      std::filesystem::create_directories(kind);
    }
    if (!why.empty()) {
      std::printf("skipped on %s: %s\n", kind.c_str(), why.c_str());
      continue;
    }
    CountingDisk disk;
    WalkOver platform(disk);
    Brennel brennel(platform);
    for (int i = 0; i < kPairs; ++i) {
      const std::string name = kind + "\\Data\\f" + std::to_string(i);
      WriteFile(kind + "/Data/f" + std::to_string(i), "f");
      // A plain move, then a change of case only.
      for (const std::string& entry : {name, name + ".off", name + ".off", name + ".OFF"})
        brennel.colInputA.push_back(entry);
    }
    brennel.Command3_Click();
    EXPECT_TRUE(platform.shown.empty());
    EXPECT_LT(disk.opened, 10u) << "folders opened for " << 2 * kPairs << " pairs";
  }
}

// Every folder of the path held open at once would need 4,097 descriptors.
TEST(WalkBounds, APathOf4096FoldersWalksUnderALimitOf64Descriptors) {
  constexpr int kDepth = 4096;
  ScratchFolder folder;
  std::string path;
  int at = open(".", O_PATH | O_DIRECTORY | O_CLOEXEC);
  for (int i = 0; i < kDepth; ++i) {
    ASSERT_EQ(mkdirat(at, "d", 0755), 0);
    const int next = openat(at, "d", O_PATH | O_DIRECTORY | O_CLOEXEC);
    close(at);
    at = next;
    path += "d\\";
  }
  const int file = openat(at, "s", O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
  ASSERT_EQ(write(file, "deep", 4), 4);
  close(file);
  const pid_t child = fork();
  if (child == 0) {
    const rlimit limit{64, 64};
    if (setrlimit(RLIMIT_NOFILE, &limit) != 0) _exit(100);
    SystemDisk disk;
    WalkOver platform(disk);
    Brennel brennel(platform);
    for (const std::string& entry : {path + "s", path + "t", path + "t", path + "u"})
      brennel.colInputA.push_back(entry);
    try {
      brennel.Command3_Click();
    } catch (const Error& error) {
      _exit(static_cast<int>(error.Number() % 100));
    }
    _exit(platform.shown.empty() ? 0 : 99);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  ASSERT_NE(WEXITSTATUS(status), 100) << "cannot lower the descriptor limit";
  EXPECT_EQ(WEXITSTATUS(status), 0) << "error " << WEXITSTATUS(status);
  struct stat moved;
  EXPECT_EQ(fstatat(at, "u", &moved, 0), 0);
  EXPECT_NE(fstatat(at, "s", &moved, 0), 0);
  // Taken down from the bottom: past PATH_MAX no path reaches it.
  unlinkat(at, "u", 0);
  for (int i = 0; i < kDepth; ++i) {
    const int up = openat(at, "..", O_PATH | O_DIRECTORY | O_CLOEXEC);
    close(at);
    at = up;
    unlinkat(at, "d", AT_REMOVEDIR);
  }
  close(at);
}

}  // namespace
}  // namespace tavrik
