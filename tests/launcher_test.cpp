#include "launcher.h"

#include <gtest/gtest.h>

#include "fake_platform.h"
#include "scratch_folder.h"

namespace tavrik {
namespace {

using Files = std::map<std::string, std::string>;
using Texts = std::vector<std::string>;

class LauncherWalk : public ::testing::Test {
 protected:
  FakePlatform platform;
  Brennel brennel{platform};

  // colInputA = colInputD = the five pairs src1..src5 -> dst1..dst5.
  void FivePairs() {
    for (int k = 1; k <= 5; ++k) {
      const std::string n = std::to_string(k);
      brennel.colInputA.insert(brennel.colInputA.end(), {"src" + n, "dst" + n});
      platform.files["src" + n] = "content " + n;
    }
    brennel.colInputD = brennel.colInputA;
  }
};

TEST_F(LauncherWalk, ActivateRenamesEveryPairFirstToSecond) {
  FivePairs();
  brennel.Command3_Click();
  EXPECT_EQ(platform.files, (Files{{"dst1", "content 1"},
                                   {"dst2", "content 2"},
                                   {"dst3", "content 3"},
                                   {"dst4", "content 4"},
                                   {"dst5", "content 5"}}));
  EXPECT_TRUE(platform.messages.empty());
}

TEST_F(LauncherWalk, DeactivateRenamesSecondBackToFirst) {
  FivePairs();
  brennel.Command3_Click();
  brennel.Command4_Click();
  EXPECT_EQ(platform.files.count("src3"), 1u);
  EXPECT_EQ(platform.files.size(), 5u);
  EXPECT_TRUE(platform.messages.empty());
}

TEST_F(LauncherWalk, PressingActivateTwiceReportsTheFirstPathAsMissing) {
  FivePairs();
  brennel.Command3_Click();
  const Files after_first = platform.files;
  brennel.Command3_Click();
  EXPECT_EQ(platform.messages, Texts{"src1 is missing"});
  EXPECT_EQ(platform.files, after_first);
}

TEST_F(LauncherWalk, DeactivateFirstNamesTheSecondPathOfPairOne) {
  FivePairs();
  brennel.Command4_Click();
  EXPECT_EQ(platform.messages, Texts{"dst1 is missing"});
  EXPECT_EQ(platform.searched, Texts{"dst1"});
}

TEST_F(LauncherWalk, MissingSourceAtPairThreeStopsThere) {
  FivePairs();
  platform.files.erase("src3");
  brennel.Command3_Click();
  EXPECT_EQ(platform.messages, Texts{"src3 is missing"});
  EXPECT_EQ(platform.files, (Files{{"dst1", "content 1"},
                                   {"dst2", "content 2"},
                                   {"src4", "content 4"},
                                   {"src5", "content 5"}}));
}

TEST_F(LauncherWalk, MessageNamesThePathExactlyAsListed) {
  brennel.colInputA = {"  Data\\Odd Name, v2.esp", "x"};
  brennel.Command3_Click();
  EXPECT_EQ(platform.messages, Texts{"  Data\\Odd Name, v2.esp is missing"});
}

TEST_F(LauncherWalk, EmptyAndSingleEntryListsDoNothing) {
  brennel.Command3_Click();
  brennel.colInputA = {"lonely"};
  platform.files["lonely"] = "x";
  brennel.Command3_Click();
  EXPECT_TRUE(platform.searched.empty());
  EXPECT_TRUE(platform.messages.empty());
}

TEST_F(LauncherWalk, OddCountLeavesTheLastEntryUnused) {
  brennel.colInputA = {"a", "b", "c"};
  platform.files = {{"a", "1"}, {"c", "3"}};
  brennel.Command3_Click();
  EXPECT_EQ(platform.files, (Files{{"b", "1"}, {"c", "3"}}));
  EXPECT_EQ(platform.searched, Texts{"a"});
}

TEST_F(LauncherWalk, EmptySourceIsReportedMissing) {
  brennel.colInputA = {"", "b"};
  brennel.Command3_Click();
  EXPECT_EQ(platform.messages, Texts{" is missing"});
}

TEST_F(LauncherWalk, RefusedRenameLeavesTheWalkKeepingEarlierRenames) {
  FivePairs();
  platform.refused_targets = {"dst2"};
  try {
    brennel.Command3_Click();
    FAIL() << "the refusal must reach the caller";
  } catch (const Error& error) {
    EXPECT_EQ(error.Number(), 17);
    EXPECT_NE(error.Description().find("'src2' to 'dst2'"), std::string::npos);
  }
  EXPECT_EQ(platform.files.count("dst1"), 1u);
  EXPECT_EQ(platform.files.count("src2"), 1u);
  EXPECT_EQ(platform.files.count("src3"), 1u);
  EXPECT_EQ(platform.searched, (Texts{"src1", "src2"}));
}

TEST_F(LauncherWalk, PresenceTestFailureLeavesTheWalk) {
  class BrokenSearch : public FakePlatform {
    std::string FindFile(const std::string& path) override {
      throw Error(5, "Cannot look for " + path);
    }
  } broken;
  Brennel launcher(broken);
  launcher.colInputA = {"a", "b"};
  EXPECT_THROW(launcher.Command3_Click(), Error);
}

TEST(LauncherKeepAlive, IsCalledBetweenPairsOnceItsIntervalHasPassed) {
  // With no interval, between every two pairs that are walked: never before
  // the first or after the last, nor past a missing source.
  FakePlatform platform;
  std::vector<std::size_t> pairs_before;  // pairs tested at each call
  Brennel brennel(platform, KeepAlive([&] { pairs_before.push_back(platform.searched.size()); },
                                      KeepAlive::Clock::duration::zero()));
  for (const char* name : {"a", "b", "c", "d"}) {
    brennel.colInputA.insert(brennel.colInputA.end(), {name, std::string(name) + ".on"});
    platform.files[name] = name;
  }
  brennel.colInputD = {"a", "a.on", "b", "b.on", "x", "x.on", "c", "c.on"};
  brennel.Command3_Click();
  EXPECT_EQ(pairs_before, (std::vector<std::size_t>{1, 2, 3}));
  pairs_before.clear();
  platform.searched.clear();
  brennel.Command4_Click();
  EXPECT_EQ(pairs_before, (std::vector<std::size_t>{1, 2}));
  EXPECT_EQ(platform.messages, Texts{"x.on is missing"});

  // A walk shorter than the interval calls nothing.
  FakePlatform quick;
  int calls = 0;
  Brennel short_walk(quick, KeepAlive([&] { ++calls; }, std::chrono::hours(1)));
  short_walk.colInputA = {"a", "b", "c", "d"};
  quick.files = {{"a", "1"}, {"c", "3"}};
  short_walk.Command3_Click();
  EXPECT_EQ(calls, 0);
  EXPECT_EQ(quick.files, (Files{{"b", "1"}, {"d", "3"}}));
}

// A platform where every file is present and renames only count.
class CountingPlatform : public FakePlatform {
 public:
  int renames = 0;
  std::string FindFile(const std::string& path) override { return path; }
  void RenameFile(const std::string&, const std::string&) override { ++renames; }
};

TEST(LauncherCounters, ListTooLongForTheCountersFailsBeforeAnyRename) {
  // A list is read no further than its 32,768th entry: the error cannot
  // tell how many follow.
  for (const bool more_followed : {false, true}) {
    CountingPlatform platform;
    Brennel brennel(platform);
    brennel.colInputA.assign(32768, "x");
    brennel.colInputA.set_more_followed(more_followed);
    try {
      brennel.Command3_Click();
      FAIL() << "32,768 entries must overflow";
    } catch (const Error& error) {
      EXPECT_EQ(error.Number(), error_number::kOverflow);
      EXPECT_EQ(error.Description(),
                "Overflow: the list holds more than 32767 entries; at most 32767 can be walked");
    }
    EXPECT_EQ(platform.renames, 0);
  }
}

TEST(LauncherCounters, ListCutAtTheBoundOnTextFailsBeforeAnyRename) {
  CountingPlatform platform;
  Brennel brennel(platform);
  brennel.colInputD = {"a", "b"};
  brennel.colInputD.set_more_text_followed(true);
  try {
    brennel.Command4_Click();
    FAIL() << "a list cut at the bound on text must be refused";
  } catch (const Error& error) {
    EXPECT_EQ(error.Number(), error_number::kOutOfMemory);
    EXPECT_EQ(error.Description(),
              "Out of memory: the list holds more than 10485760 bytes of text; at most 10485760 "
              "can be walked");
  }
  EXPECT_EQ(platform.renames, 0);
}

TEST(LauncherCounters, LongestListsRenameEveryPairAndEndNormally) {
  for (const std::size_t count : {32765u, 32766u, 32767u}) {
    CountingPlatform platform;
    Brennel brennel(platform);
    brennel.colInputD.assign(count, "x");
    EXPECT_NO_THROW(brennel.Command4_Click()) << count;
    EXPECT_EQ(platform.renames, static_cast<int>(count / 2)) << count;
    EXPECT_TRUE(platform.messages.empty());
  }
}

TEST(LauncherLoad, ReadsDeactivationThenActivationListFromWorkingDirectory) {
  ScratchFolder folder;
  WriteFile("Tavrik.mla", "Data\\a.dds,Data\\a.dds.off\r\n\"b, c.esp\"\r\nx.esp\r\n");
  WriteFile("Tavrik.mld", "one\r\n\r\ntwo\r\none\r\n");
  FakePlatform platform;
  Brennel brennel(platform);
  brennel.Form_Load();
  EXPECT_EQ(brennel.colInputA, (EntryList{"Data\\a.dds", "Data\\a.dds.off", "b, c.esp", "x.esp"}));
  EXPECT_EQ(brennel.colInputD, (EntryList{"one", "", "two", "one"}));
}

TEST(LauncherLoad, EntriesCanBeLoadedWithTheirLinesAndColumns) {
  ScratchFolder folder;
  WriteFile("Tavrik.mla", "a,\"b\r\nc\"\r\n\r\n  d\r\n");
  FakePlatform platform;
  EntryList list;
  std::vector<FieldPosition> positions;
  LoadEntryList(platform, kActivationListFile, list, &positions);
  EXPECT_EQ(list, (EntryList{"a", "b\r\nc", "", "d"}));
  EXPECT_EQ(positions, (std::vector<FieldPosition>{{1, 1}, {1, 3}, {3, 1}, {4, 3}}));
}

TEST(LauncherLoad, MissingOrUnreadableListsStayEmptyWithoutAWord) {
  ScratchFolder folder;
  std::filesystem::create_directory("Tavrik.mld");  // a folder, not a file
  FakePlatform platform;
  Brennel brennel(platform);
  EXPECT_NO_THROW(brennel.Form_Load());
  EXPECT_TRUE(brennel.colInputA.empty());
  EXPECT_TRUE(brennel.colInputD.empty());
  EXPECT_TRUE(platform.messages.empty());
  brennel.Command3_Click();
  brennel.Command4_Click();
  EXPECT_TRUE(platform.messages.empty());
}

TEST(LauncherLoad, OnlyActivationListPresent) {
  ScratchFolder folder;
  WriteFile("Tavrik.mla", "a\r\nb\r\n");
  FakePlatform platform;
  Brennel brennel(platform);
  brennel.Form_Load();
  EXPECT_EQ(brennel.colInputA, (EntryList{"a", "b"}));
  EXPECT_TRUE(brennel.colInputD.empty());
}

TEST(LauncherLoad, ListsAreFixedAfterLoading) {
  ScratchFolder folder;
  WriteFile("Tavrik.mla", "a\r\nb\r\n");
  FakePlatform platform;
  Brennel brennel(platform);
  brennel.Form_Load();
  WriteFile("Tavrik.mla", "c\r\nd\r\n");
  platform.files["a"] = "1";
  brennel.Command3_Click();
  EXPECT_EQ(platform.files.count("b"), 1u);
  EXPECT_EQ(brennel.colInputA, (EntryList{"a", "b"}));
}

TEST(LauncherLoad, BlankLineShiftsEveryLaterPair) {
  ScratchFolder folder;
  WriteFile("Tavrik.mla", "a\r\n\r\nb\r\nc\r\n");
  FakePlatform platform;
  platform.files = {{"a", "1"}, {"b", "2"}};
  Brennel brennel(platform);
  brennel.Form_Load();
  brennel.Command3_Click();
  // Pairs are (a, "") and (b, c): a is renamed to the empty path, which the
  // fake allows; what matters is that b pairs with c.
  EXPECT_EQ(platform.files, (Files{{"", "1"}, {"c", "2"}}));
}

}  // namespace
}  // namespace tavrik
