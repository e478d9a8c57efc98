// Lists written on Windows, against a real folder on Linux.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>

#include "launcher.h"
#include "name_key.h"
#include "real_platform_test.h"
#include "system_platform.h"

namespace tavrik {
namespace {

namespace fs = std::filesystem;
using Texts = std::vector<std::string>;

TEST(NameKey, MatchesWhatNtfsMatches) {
  EXPECT_EQ(NameKey("Data\\Rock.DDS"), NameKey("data\\rock.dds"));
  EXPECT_EQ(NameKey("ÜBER"), NameKey("über"));
  EXPECT_EQ(NameKey("ΣΟΣ"), NameKey("σοσ"));
  // Each character through NTFS's table, not Unicode's case folding:
  EXPECT_NE(NameKey("Straße"), NameKey("STRASSE"));    // one letter is not two,
  EXPECT_NE(NameKey("ß"), NameKey("ẞ"));               // nor is ß the capital sharp s,
  EXPECT_NE(NameKey("\u212A.dds"), NameKey("k.dds"));  // nor the Kelvin sign k,
  EXPECT_NE(NameKey("σος"), NameKey("ΣΟΣ"));           // nor final sigma Σ,
  EXPECT_NE(NameKey("fıle"), NameKey("FILE"));         // nor dotless i I.
  EXPECT_NE(NameKey("𐐀"), NameKey("𐐨"));               // beyond 16 bits nothing is mapped
  // Bytes that are not UTF-8 stay, and only match themselves.
  EXPECT_EQ(NameKey("\377A"), NameKey("\377a"));
  EXPECT_NE(NameKey("\377"), NameKey("\376"));
}

class WindowsList : public RealPlatformTest {
 protected:
  Brennel brennel{platform};

  // The names in `directory`, sorted.
  static Texts Names(const fs::path& directory) {
    Texts names;
    for (const auto& entry : fs::directory_iterator(directory)) {
      names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  // The description of the error that the presence test of `path` throws.
  std::string LookupFailure(const std::string& path) {
    try {
      platform.FindFile(path);
    } catch (const Error& error) {
      return error.Description();
    }
    ADD_FAILURE() << "looking for " << path << " must fail";
    return "";
  }
};

TEST_F(WindowsList, MixedCaseBackslashListWalksBothWays) {
  WriteFile("Data/Textures/Rock.dds", "rock");
  WriteFile("Data/Meshes/TREE.nif", "tree");
  WriteFile("Data/Off/keep.txt", "");
  const std::string list =
      "data\\textures\\ROCK.dds,DATA\\off\\Rock.DDS\r\n"
      "data/meshes/tree.NIF,data\\OFF\\Tree.nif\r\n";
  WriteFile("Tavrik.mla", list);
  WriteFile("Tavrik.mld", list);
  brennel.Form_Load();

  EXPECT_EQ(platform.FindFile("DATA\\TEXTURES\\rock.dds"), "Rock.dds");
  brennel.Command3_Click();
  EXPECT_TRUE(messages.empty());
  // Folders as found on disk, last names as the list spells them.
  EXPECT_EQ(Names("Data/Off"), (Texts{"Rock.DDS", "Tree.nif", "keep.txt"}));
  EXPECT_EQ(ReadFile("Data/Off/Rock.DDS"), "rock");
  EXPECT_TRUE(Names("Data/Textures").empty());

  brennel.Command4_Click();
  EXPECT_TRUE(messages.empty());
  EXPECT_EQ(Names("Data/Textures"), Texts{"ROCK.dds"});
  EXPECT_EQ(Names("Data/Meshes"), Texts{"tree.NIF"});
  EXPECT_EQ(ReadFile("Data/Meshes/tree.NIF"), "tree");
}

TEST_F(WindowsList, TargetPresentInAnotherCaseIsRefusedAndKept) {
  WriteFile("new.dds", "new");
  WriteFile("Data/old.dds", "precious");
  const Error error = RenameFailure("new.dds", "data\\OLD.dds");
  EXPECT_EQ(error.Number(), EEXIST);
  EXPECT_NE(error.Description().find("'Data/old.dds'"), std::string::npos) << error.Description();
  EXPECT_EQ(Names("Data"), Texts{"old.dds"});
  EXPECT_EQ(ReadFile("Data/old.dds"), "precious");
  EXPECT_EQ(ReadFile("new.dds"), "new");
}

TEST_F(WindowsList, RenameThatChangesOnlyTheCaseRespells) {
  WriteFile("rock.dds", "rock");
  platform.RenameFile("rock.dds", "ROCK.dds");
  EXPECT_EQ(Names("."), Texts{"ROCK.dds"});
  platform.RenameFile("Rock.DDS", "Rock.dds");  // the source found in another case too
  EXPECT_EQ(Names("."), Texts{"Rock.dds"});
  EXPECT_EQ(ReadFile("Rock.dds"), "rock");
  // Not when another file already has that name in some case.
  WriteFile("ROCK.DDS", "other");
  platform.BeginWalk();  // what another program did is seen by the next walk
  EXPECT_EQ(RenameFailure("Rock.dds", "rock.dds").Number(), EEXIST);
  EXPECT_EQ(Names("."), (Texts{"ROCK.DDS", "Rock.dds"}));
}

TEST_F(WindowsList, OfSeveralNamesInOtherCasesTheExactOneWinsOrNoneIsGuessed) {
  WriteFile("Rock.dds", "exact");
  WriteFile("ROCK.dds", "other");
  WriteFile("Data/a", "exact folder");
  WriteFile("DATA/a", "other folder");
  EXPECT_EQ(platform.FindFile("Rock.dds"), "Rock.dds");
  EXPECT_EQ(platform.FindFile("Data\\A"), "a");
  const std::string file = LookupFailure("rock.dds");
  EXPECT_NE(file.find("'Rock.dds'"), std::string::npos) << file;
  EXPECT_NE(file.find("'ROCK.dds'"), std::string::npos) << file;
  const std::string folder = LookupFailure("data\\a");
  EXPECT_NE(folder.find("'Data'"), std::string::npos) << folder;
  EXPECT_NE(folder.find("'DATA'"), std::string::npos) << folder;

  brennel.colInputA = {"Rock.dds", "moved.dds", "Data\\A", "Data\\b", "data\\a", "x"};
  EXPECT_THROW(brennel.Command3_Click(), Error);
  EXPECT_EQ(ReadFile("moved.dds"), "exact");
  EXPECT_EQ(ReadFile("Data/b"), "exact folder");
  EXPECT_EQ(Names("."), (Texts{"DATA", "Data", "ROCK.dds", "moved.dds"}));
  EXPECT_EQ(ReadFile("DATA/a"), "other folder");
}

TEST_F(WindowsList, NonAsciiNamesInAWindows1252List) {
  WriteFile("ÜBER.dds", "u");
  WriteFile("Tavrik.mla", "\374ber.dds,\334ber.off\r\n");  // über.dds,Über.off in Windows-1252
  brennel.Form_Load();
  brennel.Command3_Click();
  EXPECT_TRUE(messages.empty());
  EXPECT_EQ(ReadFile("Über.off"), "u");
}

TEST_F(WindowsList, DrivesAndSharesCountAsMissing) {
  WriteFile("C:/Games/x.esp", "a folder named C: on Linux");
  EXPECT_EQ(platform.FindFile("C:\\Games\\x.esp"), "");
  brennel.colInputA = {"C:\\Games\\x.esp", "y.esp", "\\\\server\\share\\x.esp", "y.esp"};
  brennel.Command3_Click();
  EXPECT_EQ(messages, Texts{"C:\\Games\\x.esp is missing"});
  WriteFile("a.esp", "");
  EXPECT_EQ(RenameFailure("a.esp", "C:\\Games\\a.esp").Number(), ENOENT);
  EXPECT_TRUE(fs::exists("a.esp"));
}

TEST_F(WindowsList, AWalkSeesItsOwnRenamesInAndOut) {
  // The second pair's source matches only the first pair's new name; a
  // listing that still held the old name would make it ambiguous.
  WriteFile("Data/rock.dds", "rock");
  brennel.colInputA = {"data\\rock.dds", "data\\ROCK.dds", "DATA\\Rock.DDS", "data\\final.dds"};
  brennel.Command3_Click();
  EXPECT_TRUE(messages.empty());
  EXPECT_EQ(Names("Data"), Texts{"final.dds"});
}

TEST_F(WindowsList, ChangesByOthersAreSeenByTheNextWalk) {
  WriteFile("Data/rock.dds", "rock");
  platform.BeginWalk();
  EXPECT_EQ(platform.FindFile("data\\ROCK.dds"), "rock.dds");
  fs::rename("Data/rock.dds", "Data/Stone.dds");
  platform.BeginWalk();
  EXPECT_EQ(platform.FindFile("data\\ROCK.dds"), "");
  EXPECT_EQ(platform.FindFile("data\\stone.DDS"), "Stone.dds");
}

TEST_F(WindowsList, TrailingDotsAndSpacesAreDroppedUnlessANameIsSpelledSo) {
  WriteFile("Data/rock.dds", "rock");
  WriteFile("odd.", "odd");
  EXPECT_EQ(platform.FindFile("Data.\\rock.dds. "), "rock.dds");
  EXPECT_EQ(platform.FindFile("DATA \\ROCK.DDS."), "rock.dds");
  EXPECT_EQ(platform.FindFile("odd."), "odd.");  // spelled so on disk: itself
  EXPECT_EQ(platform.FindFile("odd"), "");
  platform.RenameFile("Data.\\rock.dds.", "Data\\stone.dds. .");
  EXPECT_EQ(Names("Data"), Texts{"stone.dds"});
  EXPECT_EQ(RenameFailure("odd.", "Data\\STONE.dds.").Number(), EEXIST);
  EXPECT_NO_THROW(platform.RenameFile("odd.", "odd."));  // the same entry
  EXPECT_EQ(Names("."), (Texts{"Data", "odd."}));
}

TEST_F(WindowsList, AmbiguityInAFolderOfCaseVariantsNamesAFewOfThem) {
  // 1,023 spellings of one name, all but the one looked for: the message
  // names some of them, not all.
  for (int bits = 1; bits < 1024; ++bits) {
    std::string name = "abcdefghij";
    for (int i = 0; i < 10; ++i) {
      if (bits & (1 << i)) name[i] = static_cast<char>(name[i] - 'a' + 'A');
    }
    WriteFile("Variants/" + name, name);
  }
  WriteFile("new.dds", "new");
  EXPECT_EQ(platform.FindFile("Variants\\ABCDEFGHIJ"), "ABCDEFGHIJ");
  const std::string ambiguous = LookupFailure("Variants\\abcdefghij.");
  EXPECT_NE(ambiguous.find("and 1015 more"), std::string::npos) << ambiguous.substr(0, 300);
  EXPECT_LT(ambiguous.size(), 1000u);
  platform.RenameFile("new.dds", "variants\\ABCDEFGHIJ.x");
  EXPECT_EQ(ReadFile("Variants/ABCDEFGHIJ.x"), "new");
}

}  // namespace
}  // namespace tavrik
