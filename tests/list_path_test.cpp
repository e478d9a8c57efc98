// A list's path as its text reads, the same on both builds.

#include "list_path.h"

#include <gtest/gtest.h>

#include <string>

namespace tavrik {
namespace {

TEST(ListPath, DotsAndSeparatorsAreTakenFromTheTextAsWindowsTakesThem) {
  const auto names = [](std::string_view text) {
    const ListPath path = ParseListPath(text);
    std::string joined = path.from_root ? "/" : "";
    for (const std::string_view name : path.names) joined += std::string(name) + "|";
    return joined + (path.names_folder ? "(folder)" : "");
  };
  EXPECT_EQ(names("Data\\Textures/rock.dds"), "Data|Textures|rock.dds|");
  EXPECT_EQ(names("Data\\Link\\..\\.\\y.esp"), "Data|y.esp|");  // never through the link
  EXPECT_EQ(names("a\\..\\..\\..\\x"), "..|..|x|");             // above the working directory
  EXPECT_EQ(names("\\..\\x"), "/x|");                           // the root has nothing above
  EXPECT_EQ(names("Data\\x\\.."), "Data|(folder)");
  EXPECT_EQ(names("Data\\"), "Data|(folder)");
  for (const char* unmappable : {"C:\\Games\\x", "c:x", "\\\\server\\share\\x", "//server/x"}) {
    EXPECT_TRUE(IsDriveOrShare(unmappable)) << unmappable;
  }
  EXPECT_FALSE(IsDriveOrShare("\\Games\\x"));
  EXPECT_EQ(Utf16Length("a\xC3\x9C\xE2\x80\xA6\xF0\x9F\x98\x80"), 5u);  // a, Ü, …, and a pair
}

}  // namespace
}  // namespace tavrik
