// What a message box shows of its text, on both systems.

#include "display_text.h"

#include <gtest/gtest.h>

#include "fake_platform.h"
#include "launcher.h"
#include "scratch_folder.h"

namespace tavrik {
namespace {

// Characters as BoxText counts them: code points.
std::size_t CodePoints(const std::string& text) {
  std::size_t count = 0;
  for (const unsigned char byte : text) count += (byte & 0xC0) != 0x80;
  return count;
}

const std::string kEllipsis = "\u2026";

TEST(BoxText, IsWholeUpToItsLimitAndSharesItBetweenTwoPaths) {
  const std::string missing = std::string(189, 'p') + " is missing";
  EXPECT_EQ(BoxText(missing, 200), missing);
  EXPECT_EQ(CodePoints(BoxText(missing + "!", 200)), 200u);

  // Both paths lose their middles alike; the words around them stay.
  const std::string error = "Cannot rename '" + std::string(5000, 'a') + "b' to '" +
                            std::string(90, 'c') + std::string(5000, 'd') + "': File exists";
  const std::string shown = BoxText(error, 200);
  EXPECT_LE(CodePoints(shown), 200u);
  EXPECT_GT(CodePoints(shown), 190u);
  const std::size_t first = shown.find('\''), second = shown.find('\'', first + 1),
                    third = shown.find('\'', second + 1), fourth = shown.find('\'', third + 1);
  ASSERT_NE(fourth, std::string::npos) << shown;
  EXPECT_EQ(shown.substr(0, first), "Cannot rename ");
  EXPECT_EQ(shown.substr(second, third - second + 1), "' to '");
  EXPECT_EQ(shown.substr(fourth), "': File exists");
  const std::string source = shown.substr(first + 1, second - first - 1);
  const std::string target = shown.substr(third + 1, fourth - third - 1);
  EXPECT_NE(source.find("a" + kEllipsis + "a"), std::string::npos);
  EXPECT_TRUE(source.ends_with("ab"));
  EXPECT_NE(target.find("c" + kEllipsis + "d"), std::string::npos);
  EXPECT_TRUE(target.ends_with("dd"));
  EXPECT_LE(std::max(CodePoints(source), CodePoints(target)) -
                std::min(CodePoints(source), CodePoints(target)),
            1u);

  // Shortened until the measure fits; whole when it does at once.
  const auto room = [](const std::string& text) { return static_cast<double>(text.size()) / 700; };
  EXPECT_EQ(FittingBoxText(missing, 5000, room), missing);
  const std::string fitted = FittingBoxText(error, 5000, room);
  EXPECT_LE(fitted.size(), 700u);
  EXPECT_GT(fitted.size(), 600u);
}

TEST(BoxText, KeepsCharactersWholeAndBoundsATextOfManyPaths) {
  // A two-byte letter, and a letter with a combining accent: no cut splits
  // them, so both sides of the ellipsis are whole units.
  for (const std::string unit : {"\u00e9", "e\u0301"}) {
    std::string path;
    while (path.size() < 3000) path += unit;
    const std::string shown = BoxText(path, 300);
    const std::size_t cut = shown.find(kEllipsis);
    ASSERT_NE(cut, std::string::npos);
    for (const std::string& part : {shown.substr(0, cut), shown.substr(cut + kEllipsis.size())}) {
      EXPECT_EQ(part.size() % unit.size(), 0u) << unit;
      EXPECT_TRUE(path.starts_with(part)) << unit;
    }
  }
  std::string names = "Cannot tell which of ";
  for (int i = 0; i < 100000; ++i) names += "'n" + std::to_string(i) + "', ";
  const std::string shown = BoxText(names + "the list means", 1000);
  EXPECT_LE(CodePoints(shown), 1000u);
  EXPECT_TRUE(shown.ends_with("the list means"));
}

TEST(BoxText, AListFieldTooLongForAnyPathShowsAsTheWholeFieldWould) {
  // The list keeps such a field as its ends around an ellipsis; the walk's
  // boxes for it must read as they would for the whole field, on any screen.
  ScratchFolder folder;
  const std::string path = "Data/\u00c4rger-" + std::string(40000, 'x') + "/e\u0301nde.dds";
  WriteFile("Tavrik.mla", "\"" + path + "\",x\r\n");
  FakePlatform platform;
  Brennel brennel(platform);
  brennel.Form_Load();
  brennel.Command3_Click();
  ASSERT_EQ(platform.messages.size(), 1u);
  const std::string kept = brennel.colInputA[0];
  ASSERT_NE(kept, path);  // kept as its two ends
  for (const std::size_t screenful : {300, 4000, 32767}) {
    EXPECT_EQ(BoxText(platform.messages[0], screenful), BoxText(path + " is missing", screenful));
    EXPECT_EQ(BoxText("Cannot rename 'x' to '" + kept + "': File exists", screenful),
              BoxText("Cannot rename 'x' to '" + path + "': File exists", screenful));
  }
}

}  // namespace
}  // namespace tavrik
