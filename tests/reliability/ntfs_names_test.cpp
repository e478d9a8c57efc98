// Names in any case, as the walk matches them against an NTFS volume that
// mkfs.ntfs made and lowntfs-3g mounts with ignore_case: for every letter
// below U+10000 that the walk's rule or Unicode's simple uppercase maps to
// another, a file named with the letter is looked for by the other.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <clocale>
#include <cstdio>
#include <cwctype>
#include <set>
#include <string>

#include "name_key.h"
#include "scratch_folder.h"
#include "scratch_mounts.h"

namespace tavrik {
namespace {

std::string Utf8(char32_t c) {
  std::string text;
  if (c < 0x80) {
    text += static_cast<char>(c);
  } else if (c < 0x800) {
    text += static_cast<char>(0xC0 | c >> 6);
    text += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    text += static_cast<char>(0xE0 | c >> 12);
    text += static_cast<char>(0x80 | (c >> 6 & 0x3F));
    text += static_cast<char>(0x80 | (c & 0x3F));
  }
  return text;
}

// A name of its own for each letter: the letters are all that differ.
std::string NameOf(char32_t letter, char32_t spelled) {
  char number[16];
  std::snprintf(number, sizeof number, "%04X-", static_cast<unsigned>(letter));
  return number + Utf8(spelled);
}

TEST(NtfsNames, TheWalkMatchesLettersInAnyCaseAsAnNtfsVolumeDoes) {
  ScratchFolder folder;
  ScratchMounts mounts;
  if (const std::string why = mounts.MountCaseInsensitive("ntfs", folder.path(), "ntfs", "64M");
      !why.empty()) {
    GTEST_SKIP() << why;
  }
  ASSERT_NE(std::setlocale(LC_CTYPE, "C.UTF-8"), nullptr);
  struct Pair {
    char32_t letter, other;
    bool operator<(const Pair& other_pair) const {
      return letter != other_pair.letter ? letter < other_pair.letter : other < other_pair.other;
    }
  };
  std::set<Pair> pairs;
  for (char32_t c = 0x80; c < 0x10000; ++c) {
    if (c >= 0xD800 && c < 0xE000) continue;
    const std::string name = Utf8(c);
    const std::string key = NameKey(name);
    for (const char32_t other :
         {static_cast<char32_t>(std::towupper(c)), static_cast<char32_t>(std::towlower(c))}) {
      if (other != c && other < 0x10000) pairs.insert({c, other});
    }
    if (key != name) {  // the walk's own upper case, decoded back
      const auto* bytes = reinterpret_cast<const unsigned char*>(key.data());
      const char32_t upper =
          key.size() == 2 ? (bytes[0] & 0x1F) << 6 | (bytes[1] & 0x3F)
                          : (bytes[0] & 0x0F) << 12 | (bytes[1] & 0x3F) << 6 | (bytes[2] & 0x3F);
      pairs.insert({c, upper});
    }
  }
  // Made where case is kept apart, so that no name takes another's place.
  const std::string image = (folder.path() / "ntfs.img").string();
  mounts.Unmount(std::filesystem::absolute("ntfs"));
  ASSERT_EQ(mounts.MountFuse("lowntfs-3g " + image + " ntfs", "ntfs"), "");
  for (const Pair& pair : pairs) {
    std::FILE* file = std::fopen(("ntfs/" + NameOf(pair.letter, pair.letter)).c_str(), "w");
    if (file != nullptr) std::fclose(file);
  }
  mounts.Unmount(std::filesystem::absolute("ntfs"));
  ASSERT_EQ(mounts.MountFuse("lowntfs-3g -o ignore_case " + image + " ntfs", "ntfs"), "");
  std::size_t matched = 0, disagree = 0;
  for (const Pair& pair : pairs) {
    struct stat status;
    const bool on_disk = stat(("ntfs/" + NameOf(pair.letter, pair.other)).c_str(), &status) == 0;
    const bool by_walk = NameKey(Utf8(pair.letter)) == NameKey(Utf8(pair.other));
    matched += on_disk;
    if (on_disk != by_walk) {
      ++disagree;
      ADD_FAILURE() << std::hex << "U+" << static_cast<unsigned>(pair.letter) << " and U+"
                    << static_cast<unsigned>(pair.other) << ": the volume "
                    << (on_disk ? "matches" : "keeps apart") << ", the walk the other";
    }
  }
  std::printf("%zu pairs of letters, %zu of them one name on the volume, %zu disagreements\n",
              pairs.size(), matched, disagree);
}

}  // namespace
}  // namespace tavrik
