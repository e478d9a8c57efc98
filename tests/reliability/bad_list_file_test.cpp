// Hostile list files: each must load without crashing or hanging, keep what
// can be read, and never lead the walk to rename a path the list does not
// hold.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <memory>
#include <random>

#include "fault_injection.h"
#include "launcher.h"
#include "list_reader.h"
#include "scratch_folder.h"
#include "system_platform.h"
#include "utf8_verdict.h"

namespace tavrik {
namespace {

namespace fs = std::filesystem;
using Entries = std::vector<std::string>;

class BadListFile : public ::testing::Test {
 protected:
  ScratchFolder folder;
  std::vector<std::string> messages;
  SystemPlatform platform{[this](const std::string& text) { messages.push_back(text); }};
  Brennel brennel{platform};

  const EntryList& LoadActivation(const std::string& bytes) {
    WriteFile("Tavrik.mla", bytes);
    brennel.Form_Load();
    for (const auto& entry : brennel.colInputA) EXPECT_TRUE(IsValidUtf8(entry));
    return brennel.colInputA;
  }
};

TEST_F(BadListFile, BinaryGarbageLoadsAsTextAndTheWalkRenamesNothingItDoesNotName) {
  std::mt19937 random(7);
  std::string garbage(1 << 20, '\0');
  for (char& byte : garbage) byte = static_cast<char>(random());
  WriteFile("precious.dat", "keep");
  const EntryList& entries = LoadActivation(garbage);
  EXPECT_GT(entries.size(), 1000u);
  try {
    brennel.Command3_Click();
  } catch (const Error&) {
    // A garbage path may be refused by the file system; that is reported.
  }
  EXPECT_EQ(ReadFile("precious.dat"), "keep");
}

TEST_F(BadListFile, NulBytesNeverLetATruncatedPathBeRenamed) {
  WriteFile("a.esp", "a");
  const std::string nul_source("a.esp\0.bak,b.esp\r\n", 18);
  EXPECT_EQ(LoadActivation(nul_source), (Entries{std::string("a.esp\0.bak", 10), "b.esp"}));
  brennel.Command3_Click();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0], std::string("a.esp\0.bak is missing", 21));

  brennel.colInputA = {"a.esp", std::string("b.esp\0.bak", 10)};
  EXPECT_THROW(brennel.Command3_Click(), Error);
  EXPECT_EQ(ReadFile("a.esp"), "a");
  EXPECT_FALSE(fs::exists("b.esp"));
}

TEST_F(BadListFile, HugeLinesAreShortenedAndTheWalkSurvivesThem) {
  // A 3 MB line's end is found: its pair is read, and the walk stops there.
  const std::string line(3u << 20, 'x');
  const EntryList& entries = LoadActivation(line + "\r\nb.esp\r\n");
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0], std::string(32767, 'x') + "\u2026" + std::string(32767, 'x'));
  EXPECT_EQ(entries[1], "b.esp");
  try {
    brennel.Command3_Click();
    EXPECT_EQ(messages.size(), 1u);  // no such file
  } catch (const Error& error) {
    EXPECT_EQ(error.Number(), ENAMETOOLONG);  // or the search itself is refused
  }
  // A 50 MB line's end is not looked for that far: nothing after it is read.
  brennel.colInputA.clear();
  EXPECT_EQ(LoadActivation(std::string(50u << 20, 'x') + "\r\nb.esp\r\n").size(), 1u);
}

TEST_F(BadListFile, UnterminatedQuoteAndInvalidUtf8Load) {
  EXPECT_EQ(LoadActivation("a.esp,\"b.esp,c.esp\r\nd.esp"),
            (Entries{"a.esp", "b.esp,c.esp\r\nd.esp"}));
  brennel.colInputA.clear();
  // A lone 0xFF and a surrogate's encoding: read as Windows-1252.
  EXPECT_EQ(LoadActivation("\xFF.esp\r\n\xED\xA0\x80.esp\r\n"),
            (Entries{"\xC3\xBF.esp", "\xC3\xAD\xC2\xA0\xE2\x82\xAC.esp"}));
}

TEST_F(BadListFile, CrOnlyAndLfOnlyListsRenameLikeCrLfLists) {
  for (const char* line_end : {"\r", "\n"}) {
    ScratchFolder fresh;
    messages.clear();
    brennel.colInputA.clear();
    WriteFile("a.esp", "a");
    WriteFile("c.esp", "c");
    LoadActivation(std::string("a.esp") + line_end + "b.esp" + line_end + line_end + "x.esp" +
                   line_end + "c.esp" + line_end + "d.esp" + line_end);
    EXPECT_EQ(brennel.colInputA, (Entries{"a.esp", "b.esp", "", "x.esp", "c.esp", "d.esp"}));
    brennel.Command3_Click();
    EXPECT_EQ(ReadFile("b.esp"), "a");
    EXPECT_EQ(messages, (std::vector<std::string>{" is missing"}));  // the blank line's entry
    EXPECT_EQ(ReadFile("c.esp"), "c");
  }
}

TEST_F(BadListFile, FolderAsListFileLeavesOnlyItsListEmpty) {
  fs::create_directory("Tavrik.mla");
  WriteFile("Tavrik.mld", "a.esp,b.esp\r\n");
  brennel.Form_Load();
  EXPECT_TRUE(brennel.colInputA.empty());
  EXPECT_EQ(brennel.colInputD, (Entries{"a.esp", "b.esp"}));
  brennel.Command3_Click();
  EXPECT_TRUE(messages.empty());
}

TEST_F(BadListFile, PipeOrEndlessDeviceAsListFileLeavesItsListEmptyWithoutHanging) {
  ASSERT_EQ(mkfifo("Tavrik.mla", 0600), 0) << std::strerror(errno);  // nobody ever writes
  fs::create_symlink("/dev/zero", "Tavrik.mld");                     // never ends
  WriteFile("a.esp", "a");
  brennel.Form_Load();
  EXPECT_TRUE(brennel.colInputA.empty());
  EXPECT_TRUE(brennel.colInputD.empty());
}

// A device that hands out `bytes` up to `fail_at`, then fails with EIO.
class FailingDevice : public ByteSource {
 public:
  FailingDevice(const std::string& bytes, std::size_t fail_at) : good_(bytes.substr(0, fail_at)) {}

  std::size_t Read(char* buffer, std::size_t size) override {
    if (good_.empty()) throw Error(EIO, "Cannot read 'Tavrik.mla': Input/output error");
    const std::size_t count = std::min(size, good_.size());
    std::copy_n(good_.data(), count, buffer);
    good_.erase(0, count);
    return count;
  }

 private:
  std::string good_;
};

Entries ReadUntilFailure(const std::string& bytes, std::size_t fail_at, int& error_number) {
  FailingDevice device(bytes, fail_at);
  const ListRead list = ReadListFile(device);
  error_number = list.failure ? static_cast<int>(list.failure->Number()) : 0;
  return list.fields;
}

TEST(UnreadableListFile, FailureAnywhereKeepsOnlyWholeEntriesInTheirOwnEncoding) {
  // UTF-8 names, and a character that straddles byte 65,536, where devices
  // and buffers commonly break a read.
  const std::string head =
      "a.esp\r\n\xC3\x9C"
      "ber.esp\r\n";
  // Two fillers: no path is longer than 32,767 characters.
  const std::string filler((65535 - head.size() - 4) / 2, 'x');
  const std::string filler2(65535 - head.size() - 4 - filler.size(), 'y');
  const std::string bytes = head + filler + "\r\n" + filler2 + "\r\n\xC3\x9C.esp\r\nlast.esp\r\n";
  ASSERT_EQ(bytes.substr(65535, 2), "\xC3\x9C");
  const Entries all = {"a.esp",
                       "\xC3\x9C"
                       "ber.esp",
                       filler,
                       filler2,
                       "\xC3\x9C.esp",
                       "last.esp"};
  // Where the failure comes, and how many entries stay: a CR ends an entry
  // even when its LF is lost.
  const std::pair<std::size_t, std::size_t> cases[] = {
      {0, 0}, {1, 0}, {65536, 4}, {65537, 4}, {bytes.size() - 1, 6}};
  for (const auto& [fail_at, kept] : cases) {
    SCOPED_TRACE("failure at byte " + std::to_string(fail_at));
    int error_number;
    EXPECT_EQ(ReadUntilFailure(bytes, fail_at, error_number),
              Entries(all.begin(), all.begin() + kept));
    EXPECT_EQ(error_number, EIO);
  }
}

TEST_F(BadListFile, SystemReadFailingPartWayKeepsEveryWholeEntryBeforeIt) {
  Entries all;
  std::string text;
  for (int i = 0; i < 10000; ++i) {
    all.push_back("Data\\entry" + std::to_string(10000 + i) + ".esp");  // 19 bytes and CR LF
    text += all.back() + "\r\n";
  }
  const std::string utf16 = [&text] {
    std::string bytes = "\xFF\xFE";
    for (const char c : text) bytes += {c, '\0'};
    return bytes;
  }();
  // The read fails inside entry 6000 (in UTF-16: inside one of its units).
  for (const auto& [bytes, fail_at] :
       {std::pair{text, 6000 * 21 + 7}, std::pair{utf16, 2 + 6000 * 42 + 7}}) {
    brennel.colInputA.clear();
    WriteFile("Tavrik.mla", bytes);
    fault_injection::Scope faults;
    fault_injection::ArmRead(EIO, static_cast<std::size_t>(fail_at));
    brennel.Form_Load();
    fault_injection::DisarmAll();
    EXPECT_EQ(brennel.colInputA, Entries(all.begin(), all.begin() + 6000));
  }
  EXPECT_TRUE(messages.empty());
}

TEST_F(BadListFile, ListsInAnotherCaseAreFoundUnlessTheChoiceIsAmbiguous) {
  WriteFile("tavrik.mla", "a.esp,b.esp\r\n");
  WriteFile("TAVRIK.MLD", "b.esp,a.esp\r\n");
  brennel.Form_Load();
  EXPECT_EQ(brennel.colInputA, (Entries{"a.esp", "b.esp"}));
  EXPECT_EQ(brennel.colInputD, (Entries{"b.esp", "a.esp"}));

  // The exact name wins over any other spelling.
  WriteFile("Tavrik.mla", "exact.esp\r\n");
  Brennel exact(platform);
  exact.Form_Load();
  EXPECT_EQ(exact.colInputA, (Entries{"exact.esp"}));

  // Two other spellings and no exact one: no guess, the list is unreadable.
  fs::remove("Tavrik.mla");
  WriteFile("TAVRIK.mla", "other.esp\r\n");
  Brennel ambiguous(platform);
  ambiguous.Form_Load();
  EXPECT_TRUE(ambiguous.colInputA.empty());
  EXPECT_EQ(ambiguous.colInputD, (Entries{"b.esp", "a.esp"}));
  EXPECT_TRUE(messages.empty());
}

TEST_F(BadListFile, ListTooLongForTheWalkIsReadToItsFirstEntryPastTheWalkAndRenamesNothing) {
  WriteFile("a.esp", "a");
  std::string text = "a.esp\r\nb.esp\r\n";
  for (int i = 0; i < 99998; ++i) text += "x,";
  const EntryList& entries = LoadActivation(text);
  EXPECT_EQ(entries.size(), 32768u) << "only the entries a walk can reach, and one more";
  EXPECT_TRUE(entries.more_followed());
  EXPECT_EQ(entries[0], "a.esp");
  EXPECT_EQ(entries[32767], "x");
  try {
    brennel.Command3_Click();
    FAIL() << "the walk must refuse the list";
  } catch (const Error& error) {
    EXPECT_EQ(error.Number(), error_number::kOverflow);
    EXPECT_NE(error.Description().find("more than 32767 entries"), std::string::npos)
        << error.Description();
  }
  EXPECT_EQ(ReadFile("a.esp"), "a");
}

TEST_F(BadListFile, ListPastTheBoundOnTextIsReadUpToItAndRenamesNothing) {
  WriteFile("a.esp", "a");
  std::string text = "a.esp\r\nb.esp\r\n";
  const std::string path(594, 'p');
  for (int i = 0; i < 20000; ++i) text += path + std::to_string(100000 + i) + "\r\n";
  const EntryList& entries = LoadActivation(text);
  // a.esp and b.esp, then as many 600-byte entries as fit in 10 MiB.
  EXPECT_EQ(entries.size(), 2u + ((10u << 20) - 10) / 600);
  EXPECT_TRUE(entries.more_text_followed());
  EXPECT_FALSE(entries.more_followed());
  EXPECT_EQ(entries[2], path + "100000");
  try {
    brennel.Command3_Click();
    FAIL() << "the walk must refuse the list";
  } catch (const Error& error) {
    EXPECT_EQ(error.Number(), error_number::kOutOfMemory);
    EXPECT_NE(error.Description().find("10485760 bytes of text"), std::string::npos)
        << error.Description();
  }
  EXPECT_EQ(ReadFile("a.esp"), "a");
}

// The real platform, counting the bytes that list files give the load.
class CountingPlatform : public SystemPlatform {
 public:
  CountingPlatform() : SystemPlatform(nullptr) {}
  std::uint64_t bytes_read = 0;

  std::unique_ptr<ByteSource> OpenListFile(const std::string& name) override {
    return std::make_unique<Counted>(SystemPlatform::OpenListFile(name), bytes_read);
  }

 private:
  class Counted : public ByteSource {
   public:
    Counted(std::unique_ptr<ByteSource> file, std::uint64_t& count)
        : file_(std::move(file)), count_(count) {}
    std::size_t Read(char* buffer, std::size_t size) override {
      const std::size_t got = file_->Read(buffer, size);
      count_ += got;
      return got;
    }

   private:
    std::unique_ptr<ByteSource> file_;
    std::uint64_t& count_;
  };
};

TEST(EndlessListFile, StartUpReadsAFieldTooLongForAnyPathOnlyAsFarAsItsEndScan) {
  ScratchFolder folder;
  // Its first 32,767 characters, the 4 MiB looked through for its end, and
  // what the last read brought beyond: no more, however long the file.
  constexpr std::uint64_t kMostRead = 32767 + (4u << 20) + (128u << 10);
  const std::string nuls = std::string(32767, '\0') + "\u2026" + std::string(32767, '\0');
  const std::pair<const char*, std::uint64_t> sparse[] = {{"600 MB line", 600u << 20},
                                                          {"1 GiB of NULs", 1u << 30}};
  for (const auto& [name, size] : sparse) {
    SCOPED_TRACE(name);
    fs::remove("Tavrik.mla");
    WriteFile("Tavrik.mla", "");
    fs::resize_file("Tavrik.mla", size);  // sparse: all NULs, one line
    CountingPlatform platform;
    Brennel brennel(platform);
    brennel.Form_Load();
    EXPECT_LE(platform.bytes_read, kMostRead);
    EXPECT_EQ(brennel.colInputA, (Entries{nuls}));
  }
  // A "regular file" of size 0 that never ends.
  fs::remove("Tavrik.mla");
  fs::create_symlink("/proc/self/pagemap", "Tavrik.mla");
  CountingPlatform platform;
  Brennel brennel(platform);
  brennel.Form_Load();
  EXPECT_LE(platform.bytes_read, kMostRead);
  if (!brennel.colInputA.empty()) {  // a system may refuse to read it
    EXPECT_GT(brennel.colInputA[brennel.colInputA.size() - 1].size(), 32767u);
  }
}

TEST_F(BadListFile, Utf16ListFromNotepadRenamesItsNamedFiles) {
  WriteFile(
      "\xC3\x9C"
      "ber.esp",
      "u");
  // "Über.esp,über.off" CR LF, as Notepad saves "Unicode".
  const std::string list =
      std::string("\xFF\xFE\xDC\0b\0e\0r\0.\0e\0s\0p\0,\0\xFC\0b\0e\0r\0.\0o\0f\0f\0\r\0\n\0", 40);
  EXPECT_EQ(LoadActivation(list), (Entries{"\xC3\x9C"
                                           "ber.esp",
                                           "\xC3\xBC"
                                           "ber.off"}));
  brennel.Command3_Click();
  EXPECT_TRUE(messages.empty());
  EXPECT_EQ(ReadFile("\xC3\xBC"
                     "ber.off"),
            "u");
}

}  // namespace
}  // namespace tavrik
