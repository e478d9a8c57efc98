// Refusals of the file system at the first, a middle and the last pair:
// injected beneath the real POSIX layer, so that its own descriptions are
// what reaches the caller.

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

#include "fault_injection.h"
#include "launcher.h"
#include "scratch_folder.h"
#include "system_platform.h"

namespace tavrik {
namespace {

namespace fs = std::filesystem;
using fault_injection::Call;
using Texts = std::vector<std::string>;

const int kRefusals[] = {EEXIST, EACCES, EPERM, ENOENT, EROFS, EXDEV, ENAMETOOLONG, EIO};
const int kFaultyPairs[] = {1, 3, 5};
constexpr int kPairs = 5;

// The real platform, with a record of what the walk asked of it.
class RecordingPlatform : public Platform {
 public:
  SystemPlatform real{[this](const std::string& text) { messages.push_back(text); }};
  Texts searched, renamed, messages;

  void BeginWalk() override { real.BeginWalk(); }
  void BeginPair(std::size_t pair, const std::string& source, const std::string& target) override {
    real.BeginPair(pair, source, target);
  }
  std::string FindFile(const std::string& path) override {
    searched.push_back(path);
    return real.FindFile(path);
  }
  void RenameFile(const std::string& source, const std::string& target) override {
    renamed.push_back(source);
    real.RenameFile(source, target);
  }
  void ShowMessage(const std::string& text) override { real.ShowMessage(text); }
  std::unique_ptr<ByteSource> OpenListFile(const std::string& name) override {
    return real.OpenListFile(name);
  }
};

std::string Source(int pair) { return "mods/src" + std::to_string(pair) + ".esp"; }
std::string Target(int pair) { return "game/dst" + std::to_string(pair) + ".esp"; }
std::string Content(int pair) { return "content of pair " + std::to_string(pair); }

class InjectedFault : public ::testing::Test {
 protected:
  ScratchFolder folder;
  fault_injection::Scope faults;
  RecordingPlatform platform;
  Brennel brennel{platform};

  void SetUp() override { Reset(); }

  // Five present sources and a list of five pairs, in the working directory.
  void Reset() {
    fault_injection::DisarmAll();
    platform.searched.clear();
    platform.renamed.clear();
    brennel.colInputA.clear();
    fs::create_directories("game");
    for (int pair = 1; pair <= kPairs; ++pair) {
      WriteFile(Source(pair), Content(pair));
      brennel.colInputA.insert(brennel.colInputA.end(), {Source(pair), Target(pair)});
    }
  }

  // Activates and returns the error that leaves the click.
  Error ActivateFailure() {
    try {
      brennel.Command3_Click();
    } catch (const Error& error) {
      return error;
    }
    ADD_FAILURE() << "the refusal must leave the click as an error";
    return Error(0, "");
  }

  // Pairs before `pair` are renamed; `pair` and all after it are as they were.
  void ExpectRenamedBefore(int pair) {
    for (int k = 1; k <= kPairs; ++k) {
      const bool moved = k < pair;
      EXPECT_EQ(fs::exists(Source(k)), !moved) << "pair " << k;
      EXPECT_EQ(ReadFile(moved ? Target(k) : Source(k)), Content(k)) << "pair " << k;
      if (!moved) {
        EXPECT_FALSE(fs::exists(Target(k))) << "pair " << k;
      }
    }
  }

  // The error carries `number` and a description naming both paths of `pair`.
  static void ExpectNamesPair(const Error& error, int number, int pair) {
    EXPECT_EQ(error.Number(), number);
    const std::string& text = error.Description();
    EXPECT_NE(text.find("'" + Source(pair) + "' to '" + Target(pair) + "'"), std::string::npos)
        << text;
    EXPECT_NE(text.find(std::strerror(number)), std::string::npos) << text;
  }
};

TEST_F(InjectedFault, EveryRefusalStopsTheWalkAtItsPairKeepingEarlierRenames) {
  for (const int number : kRefusals) {
    for (const int pair : kFaultyPairs) {
      SCOPED_TRACE(std::string(std::strerror(number)) + " at pair " + std::to_string(pair));
      ScratchFolder fresh;
      Reset();
      fault_injection::Arm(Call::kRenameat2, number, pair);
      ExpectNamesPair(ActivateFailure(), number, pair);
      ExpectRenamedBefore(pair);
      // No later pair is even looked at.
      EXPECT_EQ(platform.searched.size(), static_cast<std::size_t>(pair));
      EXPECT_EQ(platform.renamed.size(), static_cast<std::size_t>(pair));
      EXPECT_TRUE(platform.messages.empty());
    }
  }
}

TEST_F(InjectedFault, FailedPresenceTestLeavesTheWalkNamingItsPath) {
  for (const int number : {EACCES, EIO}) {
    SCOPED_TRACE(std::strerror(number));
    ScratchFolder fresh;
    Reset();
    // Pair 3's file in a folder of its own, which its presence test opens.
    fs::create_directories("mods/3");
    fs::rename(Source(3), "mods/3/src3.esp");
    brennel.colInputA.clear();
    for (int pair = 1; pair <= kPairs; ++pair) {
      const std::string source = pair == 3 ? "mods/3/src3.esp" : Source(pair);
      brennel.colInputA.insert(brennel.colInputA.end(), {source, Target(pair)});
    }
    fault_injection::ArmPath(Call::kOpenat, number, "3");
    const Error error = ActivateFailure();
    fault_injection::DisarmAll();  // the checks below look at the files
    EXPECT_EQ(error.Number(), number);
    EXPECT_NE(error.Description().find("'mods/3/src3.esp'"), std::string::npos)
        << error.Description();
    EXPECT_TRUE(fs::exists("mods/3/src3.esp"));
    for (const int pair : {1, 2}) EXPECT_EQ(ReadFile(Target(pair)), Content(pair));
  }
}

// File systems without RENAME_NOREPLACE: the move goes by link and unlink.
TEST_F(InjectedFault, WithoutNoReplaceTheWalkMovesByLinkAndUnlink) {
  fault_injection::Arm(Call::kRenameat2, EINVAL, 0);
  WriteFile(Target(4), "already there");
  const Error error = ActivateFailure();
  ExpectNamesPair(error, EEXIST, 4);
  EXPECT_EQ(ReadFile(Target(4)), "already there");
  EXPECT_EQ(ReadFile(Source(4)), Content(4));
  for (int k = 1; k <= 3; ++k) EXPECT_EQ(ReadFile(Target(k)), Content(k));
}

TEST_F(InjectedFault, RefusedLinkOrUnlinkLeavesTheFileWhereItWasAndOnlyThere) {
  for (const int number : kRefusals) {
    if (number == EPERM) continue;  // means "no hard links here": next test
    for (const Call call : {Call::kLinkat, Call::kUnlinkat}) {
      SCOPED_TRACE(std::string(std::strerror(number)) +
                   (call == Call::kLinkat ? " from link" : " from unlink"));
      ScratchFolder fresh;
      Reset();
      fault_injection::Arm(Call::kRenameat2, EINVAL, 0);
      fault_injection::Arm(call, number, 3);
      ExpectNamesPair(ActivateFailure(), number, 3);
      fault_injection::DisarmAll();
      ExpectRenamedBefore(3);  // after a failed unlink the new link is gone again
    }
  }
}

// No RENAME_NOREPLACE and no hard links (FAT): check the target, then rename.
TEST_F(InjectedFault, WithoutHardLinksAnExistingTargetIsStillKept) {
  fault_injection::Arm(Call::kRenameat2, EINVAL, 0);
  fault_injection::Arm(Call::kLinkat, EPERM, 0);
  WriteFile(Target(2), "already there");
  ExpectNamesPair(ActivateFailure(), EEXIST, 2);
  EXPECT_EQ(ReadFile(Target(2)), "already there");
  EXPECT_EQ(ReadFile(Target(1)), Content(1));
  fs::remove(Target(2));
  brennel.colInputA.erase(brennel.colInputA.begin(), brennel.colInputA.begin() + 2);
  fault_injection::Arm(Call::kRenameat, EIO, 1);
  ExpectNamesPair(ActivateFailure(), EIO, 2);
  EXPECT_EQ(ReadFile(Source(2)), Content(2));
}

// What a pair costs in the common shape, a file renamed in its own folder:
// the calls a walk of 8 pairs makes beyond one of 4, a pair each. What the
// walk read of a folder is known while its watch reports nothing, so a pair
// asks the disk for nothing but its rename, however the list spells it.
TEST_F(InjectedFault, APairAsksTheDiskOnlyWhatItsRuleNeeds) {
  const auto per_pair = [&](const std::string& folder, Call call) {
    int made[2] = {};
    for (const int pairs : {4, 8}) {
      ScratchFolder fresh;
      Reset();
      brennel.colInputA.clear();
      fs::create_directories("Data/Textures");
      for (int pair = 1; pair <= pairs; ++pair) {
        const std::string name = "f" + std::to_string(pair) + ".dds";
        WriteFile("Data/Textures/" + name + ".off", Content(pair));
        brennel.colInputA.insert(brennel.colInputA.end(), {folder + name + ".off", folder + name});
      }
      fault_injection::DisarmAll();
      brennel.Command3_Click();
      EXPECT_EQ(ReadFile("Data/Textures/f" + std::to_string(pairs) + ".dds"), Content(pairs));
      made[pairs == 8] = fault_injection::Calls(call);
    }
    return (made[1] - made[0]) / 4.0;
  };
  for (const std::string folder : {"Data/Textures/", "DATA\\TEXTURES\\"}) {
    SCOPED_TRACE(folder);
    EXPECT_EQ(per_pair(folder, Call::kFstatat), 0);
    EXPECT_EQ(per_pair(folder, Call::kOpenat), 0);
    EXPECT_EQ(per_pair(folder, Call::kRenameat2), 1);
  }
}

}  // namespace
}  // namespace tavrik
