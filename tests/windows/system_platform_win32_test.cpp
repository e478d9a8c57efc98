// The Win32 file layer against real files. Run under wine in CI; where wine
// differs from Windows the test states what Windows does and skips only the
// difference.

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>

#include "launcher.h"
#include "list_reader.h"
#include "real_platform_test.h"
#include "system_platform.h"

namespace tavrik {
namespace {

namespace fs = std::filesystem;
using Texts = std::vector<std::string>;

// Test paths are UTF-8, as in the launcher; a narrow std::filesystem::path
// would take them in the ANSI code page instead.
fs::path U8(const std::string& utf8) { return fs::path(std::u8string(utf8.begin(), utf8.end())); }

bool UnderWine() {
  return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
}

// Sets `attribute` and says whether the file system kept it.
bool SetAttribute(const std::string& path, DWORD attribute) {
  const std::wstring wide = U8(path).wstring();
  return SetFileAttributesW(wide.c_str(), attribute) &&
         (GetFileAttributesW(wide.c_str()) & attribute) != 0;
}

class Win32Files : public RealPlatformTest {};

TEST_F(Win32Files, PresenceTestMatchesNormalFilesOnly) {
  WriteFile("file.txt", "x");
  WriteFile("Data/mod.esp", "x");
  WriteFile("locked.esp", "x");
  ASSERT_TRUE(SetAttribute("locked.esp", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE));
  fs::create_directory("folder");
  EXPECT_EQ(platform.FindFile("file.txt"), "file.txt");
  EXPECT_EQ(platform.FindFile("locked.esp"), "locked.esp");
  EXPECT_EQ(platform.FindFile("Data\\mod.esp"), "mod.esp");
  EXPECT_EQ(platform.FindFile("Data/mod.esp"), "mod.esp");
  const std::u8string absolute = (folder.path() / "file.txt").u8string();
  EXPECT_EQ(platform.FindFile(std::string(absolute.begin(), absolute.end())), "file.txt");
  for (const char* absent : {"folder", "missing.txt", "folder\\missing.txt", "file.txt\\below",
                             "no such folder\\file.txt", "Q:\\no drive\\file.txt", ""}) {
    EXPECT_EQ(platform.FindFile(absent), "") << absent;
  }
}

TEST_F(Win32Files, WildcardsAndNulNeverMatch) {
  // A directory search would match these as patterns and then rename a
  // path that does not exist.
  WriteFile("file.txt", "x");
  for (const char* pattern : {"*.txt", "file.tx?", "*", "f*"}) {
    EXPECT_EQ(platform.FindFile(pattern), "") << pattern;
  }
  // Cut at the NUL, the path would name file.txt.
  EXPECT_EQ(platform.FindFile(std::string("file.txt\0junk", 13)), "");
  EXPECT_EQ(RenameFailure(std::string("file.txt\0junk", 13), "b").Number(), ERROR_INVALID_NAME);
  EXPECT_TRUE(fs::exists("file.txt"));
}

TEST_F(Win32Files, HiddenAndSystemFilesAreMissing) {
  WriteFile("hidden.esp", "x");
  WriteFile("system.esp", "x");
  if (!SetAttribute("hidden.esp", FILE_ATTRIBUTE_HIDDEN) ||
      !SetAttribute("system.esp", FILE_ATTRIBUTE_SYSTEM)) {
    GTEST_SKIP() << "this file system does not keep the hidden and system attributes";
  }
  EXPECT_EQ(platform.FindFile("hidden.esp"), "");
  EXPECT_EQ(platform.FindFile("system.esp"), "");
}

TEST_F(Win32Files, NamesStartingWithADotAreOrdinaryFiles) {
  WriteFile(".hidden-looking", "x");
  if (UnderWine()) GTEST_SKIP() << "wine marks every Unix dot-file hidden; Windows does not";
  EXPECT_EQ(platform.FindFile(".hidden-looking"), ".hidden-looking");
}

TEST_F(Win32Files, NonAsciiNamesReachWindowsIntact) {
  const std::string rock =
      "\xC3\x9C"
      "ber-\xE6\x9D\xB1.dds";                    // Über-東.dds
  const std::string moved = "\xC3\x84pfel.dds";  // Äpfel.dds
  WriteFile(U8(rock), "rock");
  EXPECT_EQ(platform.FindFile(rock), rock);
  platform.RenameFile(rock, moved);
  EXPECT_FALSE(fs::exists(U8(rock)));
  EXPECT_EQ(ReadFile(U8(moved)), "rock");
}

TEST_F(Win32Files, RenameMovesIntoAnotherFolder) {
  WriteFile("a.esp", "mod");
  fs::create_directory("Data");
  platform.RenameFile("a.esp", "Data\\b.esp");
  EXPECT_FALSE(fs::exists("a.esp"));
  EXPECT_EQ(ReadFile("Data/b.esp"), "mod");
}

TEST_F(Win32Files, RenameNeverReplacesAnExistingTarget) {
  WriteFile("new.dds", "new");
  WriteFile("old.dds", "precious");
  const Error error = RenameFailure("new.dds", "OLD.dds");  // names match without case
  EXPECT_EQ(error.Number(), ERROR_ALREADY_EXISTS);
  const std::string prefix = "Cannot rename 'new.dds' to 'OLD.dds': ";
  EXPECT_EQ(error.Description().substr(0, prefix.size()), prefix);
  EXPECT_GT(error.Description().size(), prefix.size()) << "the system's text follows";
  EXPECT_EQ(ReadFile("old.dds"), "precious");
  EXPECT_EQ(ReadFile("new.dds"), "new");
}

TEST_F(Win32Files, RenameFailuresCarryTheSystemNumber) {
  WriteFile("a", "x");
  EXPECT_EQ(RenameFailure("missing", "b").Number(), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RenameFailure("a", "no such folder\\a").Number(), ERROR_PATH_NOT_FOUND);
  EXPECT_EQ(RenameFailure("", "b").Number(), ERROR_PATH_NOT_FOUND);
  EXPECT_EQ(RenameFailure("a", "").Number(), ERROR_PATH_NOT_FOUND);
  EXPECT_TRUE(fs::exists("a"));
}

TEST_F(Win32Files, RenameOfAFileInUseIsRefused) {
  WriteFile("busy.esp", "x");
  // Another program holding the file open without sharing it.
  const HANDLE busy = CreateFileW(L"busy.esp", GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(busy, INVALID_HANDLE_VALUE);
  const Error error = RenameFailure("busy.esp", "idle.esp");
  CloseHandle(busy);
  EXPECT_EQ(error.Number(), ERROR_SHARING_VIOLATION);
  EXPECT_TRUE(fs::exists("busy.esp"));
  EXPECT_FALSE(fs::exists("idle.esp"));
}

TEST_F(Win32Files, RenameToAnotherVolumeFailsWithoutCopying) {
  // A folder on another volume, found by the build (under wine, /dev/shm when
  // it is a file system of its own).
  const char* other_volume = std::getenv("BRENNEL_OTHER_VOLUME");
  if (other_volume == nullptr) GTEST_SKIP() << "no folder on another volume is known";
  const std::string other = other_volume;
  WriteFile("a.esp", "x");
  const std::string target = other + "\\brennel-test-" + std::to_string(GetCurrentProcessId());
  const Error error = RenameFailure("a.esp", target);
  EXPECT_EQ(error.Number(), ERROR_NOT_SAME_DEVICE);
  EXPECT_TRUE(fs::exists("a.esp"));
  EXPECT_FALSE(fs::exists(U8(target)));
}

TEST_F(Win32Files, RenameThatOnlyChangesCaseKeepsTheFile) {
  WriteFile("mod.ESP", "x");
  platform.RenameFile("mod.ESP", "mod.esp");
  EXPECT_EQ(ReadFile("mod.esp"), "x");
  if (UnderWine()) GTEST_SKIP() << "wine keeps the old spelling; Windows takes the new one";
  WIN32_FIND_DATAW found;
  const HANDLE search = FindFirstFileW(L"mod.esp", &found);
  ASSERT_NE(search, INVALID_HANDLE_VALUE);
  FindClose(search);
  EXPECT_EQ(std::wstring(found.cFileName), L"mod.esp");
}

TEST_F(Win32Files, ListTextOutsideUtf8IsReadInTheAnsiCodePage) {
  if (GetACP() != 1252) GTEST_SKIP() << "the expectation is written for code page 1252";
  EXPECT_EQ(platform.DecodeLegacyText("\xDC"
                                      "ber \x80"),
            "\xC3\x9C"
            "ber \xE2\x82\xAC");
  EXPECT_EQ(platform.DecodeLegacyText(""), "");
}

// The walk against real files, through Brennel.
class Win32Walk : public Win32Files {
 protected:
  Brennel brennel{platform};

  void Load(const std::string& activation, const std::string& deactivation) {
    WriteFile("Tavrik.mla", activation);
    WriteFile("Tavrik.mld", deactivation);
    brennel.Form_Load();
  }
};

TEST_F(Win32Walk, ActivateTwiceThenDeactivateWithWindowsPaths) {
  WriteFile("Data/Textures/rock.dds", "rock");
  WriteFile("Data/mod.esp", "mod");
  const std::string list =
      "Data\\Textures\\rock.dds,Data\\Textures\\rock.dds.off\r\n"
      "DATA\\MOD.ESP,Data\\mod.esp.off\r\n";
  Load(list, list);
  brennel.Command3_Click();
  EXPECT_EQ(ReadFile("Data/Textures/rock.dds.off"), "rock");
  EXPECT_EQ(ReadFile("Data/mod.esp.off"), "mod");
  EXPECT_TRUE(messages.empty());

  brennel.Command3_Click();
  EXPECT_EQ(messages, Texts{"Data\\Textures\\rock.dds is missing"});

  brennel.Command4_Click();
  EXPECT_EQ(ReadFile("Data/Textures/rock.dds"), "rock");
  EXPECT_EQ(ReadFile("Data/mod.esp"), "mod");
}

TEST_F(Win32Walk, WildcardSourceIsReportedMissingAndNothingMoves) {
  WriteFile("a.esp", "a");
  Load("*.esp,b.esp\r\n", "");
  brennel.Command3_Click();
  EXPECT_EQ(messages, Texts{"*.esp is missing"});
  EXPECT_TRUE(fs::exists("a.esp"));
  EXPECT_FALSE(fs::exists("b.esp"));
}

TEST_F(Win32Walk, ListsAreReadInsideAFolderWithANonAsciiName) {
  const std::string mods = "Mods \xC3\x9C\xE6\x9D\xB1";  // Mods Ü東
  WriteFile(U8(mods + "/Tavrik.mla"), "x.esp,y.esp\r\n");
  WriteFile(U8(mods + "/x.esp"), "x");
  const ListRead list = ReadListFile(*platform.OpenListFile(mods + "\\Tavrik.mla"));
  ASSERT_FALSE(list.fields.empty());
  EXPECT_EQ(list.fields[0], "x.esp");

  fs::current_path(U8(mods));
  brennel.Form_Load();
  EXPECT_EQ(brennel.colInputA, (EntryList{"x.esp", "y.esp"}));
  brennel.Command3_Click();
  EXPECT_TRUE(fs::exists("y.esp"));
}

TEST_F(Win32Walk, Utf16ListFromNotepadNamesNonAsciiFiles) {
  WriteFile(U8("\xC3\x9C"
               "ber.dds"),
            "u");
  // "Über.dds,東.dds" CR LF, as Notepad saves "Unicode".
  const std::string list("\xFF\xFE\xDC\0b\0e\0r\0.\0d\0d\0s\0,\0\x71\x67.\0d\0d\0s\0\r\0\n\0", 34);
  Load(list, "");
  EXPECT_EQ(brennel.colInputA, (EntryList{"\xC3\x9C"
                                          "ber.dds",
                                          "\xE6\x9D\xB1.dds"}));
  brennel.Command3_Click();
  EXPECT_TRUE(messages.empty());
  EXPECT_EQ(ReadFile(U8("\xE6\x9D\xB1.dds")), "u");
}

TEST_F(Win32Walk, AnsiListNamesNonAsciiFiles) {
  if (GetACP() != 1252) GTEST_SKIP() << "the list is written in code page 1252";
  WriteFile(U8("\xC3\x9C"
               "ber.dds"),
            "u");
  Load(
      "\xDC"
      "ber.dds,\xDC"
      "ber.off\r\n",
      "");
  brennel.Command3_Click();
  EXPECT_TRUE(messages.empty());
  EXPECT_EQ(ReadFile(U8("\xC3\x9C"
                        "ber.off")),
            "u");
}

}  // namespace
}  // namespace tavrik
