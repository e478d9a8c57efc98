#include "list_reader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <streambuf>
#include <vector>

#include "scratch_folder.h"

namespace tavrik {
namespace {

using Fields = std::vector<std::string>;

// Every field of `bytes`, read the way the loaders read a list file.
Fields ReadAll(const std::string& bytes) {
  std::istringstream in(bytes);
  ListReader reader;
  reader.Open(in, "list");
  Fields fields;
  try {
    while (true) fields.push_back(reader.ReadField());
  } catch (const EndOfList&) {
  }
  reader.Close();
  return fields;
}

TEST(ListReader, EmptyFileHasNoFields) {
  EXPECT_EQ(ReadAll(""), Fields{});
  EXPECT_EQ(ReadAll("\r\n\r\n"), Fields{});
  EXPECT_EQ(ReadAll("  \t \r\n"), Fields{});
}

TEST(ListReader, LinesAndCommasSeparateFields) {
  EXPECT_EQ(ReadAll("one\r\ntwo\r\n"), (Fields{"one", "two"}));
  EXPECT_EQ(ReadAll("one,two\r\n"), (Fields{"one", "two"}));
  EXPECT_EQ(ReadAll("a,b\r\nc\r\n"), (Fields{"a", "b", "c"}));
}

TEST(ListReader, BlankLineInsideTheFileIsAnEmptyField) {
  EXPECT_EQ(ReadAll("one\r\n\r\ntwo\r\n"), (Fields{"one", "", "two"}));
  EXPECT_EQ(ReadAll("one\r\n   \r\ntwo\r\n"), (Fields{"one", "", "two"}));
  EXPECT_EQ(ReadAll("a,,b\r\n"), (Fields{"a", "", "b"}));
}

TEST(ListReader, BlankLinesAtTheEndYieldNothing) {
  EXPECT_EQ(ReadAll("a\r\nb\r\n\r\n\r\n  \r\n"), (Fields{"a", "b"}));
}

TEST(ListReader, TrailingCommaAddsAFieldOnlyWhereSomethingFollows) {
  EXPECT_EQ(ReadAll("a,\r\nb\r\n"), (Fields{"a", "", "b"}));
  EXPECT_EQ(ReadAll("a,b,\r\n"), (Fields{"a", "b"}));
  EXPECT_EQ(ReadAll("a,b,"), (Fields{"a", "b"}));
}

TEST(ListReader, QuotedFieldKeepsCommasAndSpaces) {
  EXPECT_EQ(ReadAll("\"Data\\My Mod, v2\\a.esp\"\r\nb\r\n"),
            (Fields{"Data\\My Mod, v2\\a.esp", "b"}));
  EXPECT_EQ(ReadAll("\"  padded  \",x"), (Fields{"  padded  ", "x"}));
  EXPECT_EQ(ReadAll("\"\"\r\nx\r\n"), (Fields{"", "x"}));
}

TEST(ListReader, SpacesAndTabsBeforeAFieldAreSkipped) {
  EXPECT_EQ(ReadAll("   path.txt\r\n \t\"quoted, path\"\r\n"),
            (Fields{"path.txt", "quoted, path"}));
}

TEST(ListReader, SpacesAndTabsAfterAnUnquotedFieldAreDropped) {
  EXPECT_EQ(ReadAll("a.txt  \t,b c.txt \r\n"), (Fields{"a.txt", "b c.txt"}));
}

TEST(ListReader, EveryLineEndConventionEndsALine) {
  EXPECT_EQ(ReadAll("a\nb\n"), (Fields{"a", "b"}));
  EXPECT_EQ(ReadAll("a\rb\r"), (Fields{"a", "b"}));
  EXPECT_EQ(ReadAll("a\r\n\nb"), (Fields{"a", "", "b"}));
  EXPECT_EQ(ReadAll("a\n\rb"), (Fields{"a", "", "b"}));
}

TEST(ListReader, LastFieldWithoutLineEndIsKept) {
  EXPECT_EQ(ReadAll("a\r\nb"), (Fields{"a", "b"}));
  EXPECT_EQ(ReadAll("\"a, b\""), Fields{"a, b"});
}

TEST(ListReader, QuotedFieldMayRunAcrossLines) {
  EXPECT_EQ(ReadAll("\"two\r\nlines\",x\r\n"), (Fields{"two\r\nlines", "x"}));
}

TEST(ListReader, UnclosedQuoteEndsWithTheFile) {
  EXPECT_EQ(ReadAll("a\r\n\"never closed, at all\r\n"), (Fields{"a", "never closed, at all\r\n"}));
}

TEST(ListReader, TextAfterClosingQuoteIsDropped) {
  EXPECT_EQ(ReadAll("\"a\"junk,b\r\n\"c\"  \r\nd"), (Fields{"a", "b", "c", "d"}));
}

TEST(ListReader, QuoteInsideUnquotedFieldAndHashesArePlainText) {
  EXPECT_EQ(ReadAll("say \"hi\".txt\r\n#2026-01-01#\r\n#x"),
            (Fields{"say \"hi\".txt", "#2026-01-01#", "#x"}));
}

TEST(ListReader, ControlCharactersAreOrdinaryButFinalCtrlZIsDropped) {
  EXPECT_EQ(ReadAll(std::string("a\0b\x01\r\nc\r\n\x1A", 10)),
            (Fields{std::string("a\0b\x01", 4), "c"}));
}

TEST(ListReader, Utf8IsReadAsUtf8WithoutItsByteOrderMark) {
  EXPECT_EQ(ReadAll("\xEF\xBB\xBF\xC3\x9C"
                    "ber.txt\r\n"),
            Fields{"\xC3\x9C"
                   "ber.txt"});
}

TEST(ListReader, OtherBytesAreReadAsWindows1252) {
  // "Über€.txt" and "naïve" as a Windows editor saves them.
  EXPECT_EQ(ReadAll("\xDC"
                    "ber\x80.txt\r\nna\xEF"
                    "ve\r\n"),
            (Fields{"\xC3\x9C"
                    "ber\xE2\x82\xAC.txt",
                    "na\xC3\xAF"
                    "ve"}));
  // One stray byte makes the whole file Windows-1252, not just that field.
  EXPECT_EQ(ReadAll("\xC3\x9C\r\n\xFF\r\n"), (Fields{"\xC3\x83\xC5\x93", "\xC3\xBF"}));
}

TEST(ListReader, DelimitersAreFoundAtEveryPositionOfAField) {
  // Fields of every length across several eight-byte words, with bytes that
  // are near a delimiter's value (UTF-8 U+008D and U+00AC, '-', '\f').
  const std::vector<std::string> filler = {"a", "\xC2\x8D", "-", "\xC2\xAC", ".", "\f", "/"};
  for (const std::string delimiter : {",", "\r\n", "\n", "\r"}) {
    for (std::size_t length = 0; length <= 40; ++length) {
      std::string field;
      for (std::size_t i = 0; field.size() < length; ++i) field += filler[i % filler.size()];
      EXPECT_EQ(ReadAll("x" + field + delimiter + "next\r\n"), (Fields{"x" + field, "next"}))
          << "length " << length << ", delimiter " << static_cast<int>(delimiter[0]);
    }
  }
}

TEST(ListReader, LargeFileFromDiskIsReadWhole) {
  ScratchFolder folder;
  std::string text;
  Fields expected;
  for (int i = 0; text.size() < 300000; ++i) {
    expected.push_back("Data/Textures/file" + std::to_string(i) + ".dds");
    text += expected.back() + (i % 3 == 0 ? "," : "\r\n");
  }
  WriteFile("list.mla", text);
  ListReader reader;
  reader.Open("list.mla");
  Fields fields;
  try {
    while (true) fields.push_back(reader.ReadField());
  } catch (const EndOfList&) {
  }
  EXPECT_EQ(fields, expected);
  EXPECT_EQ(ReadAll(text), expected);
}

TEST(ListReader, LongSingleLineFieldIsReadWhole) {
  const std::string line(50u << 20, 'x');
  const Fields fields = ReadAll(line + "\r\n");
  ASSERT_EQ(fields.size(), 1u);
  EXPECT_EQ(fields[0].size(), line.size());
}

// A stream whose device hands out `good` in small pieces, then fails.
class FailingBuffer : public std::streambuf {
 public:
  explicit FailingBuffer(std::string good) : good_(std::move(good)) {}

 protected:
  int_type underflow() override {
    if (next_ >= good_.size()) throw std::ios_base::failure("device error");
    const std::size_t piece = std::min<std::size_t>(1000, good_.size() - next_);
    setg(good_.data() + next_, good_.data() + next_, good_.data() + next_ + piece);
    next_ += piece;
    return traits_type::to_int_type(*gptr());
  }

 private:
  std::string good_;
  std::size_t next_ = 0;
};

TEST(ListReader, ReadFailureKeepsTheCompleteFieldsBeforeIt) {
  std::string good;
  for (int i = 0; good.size() < 200000; ++i) good += "Data\\file" + std::to_string(i) + ".dds\r\n";
  FailingBuffer buffer(good);
  std::istream in(&buffer);
  ListReader reader;
  reader.Open(in, "Tavrik.mla");
  int fields = 0;
  try {
    while (true) {
      EXPECT_EQ(reader.ReadField(), "Data\\file" + std::to_string(fields) + ".dds");
      ++fields;
    }
  } catch (const EndOfList&) {
    FAIL() << "a read failure is not the end of the list";
  } catch (const Error& error) {
    EXPECT_NE(error.Description().find("Tavrik.mla"), std::string::npos) << error.Description();
  }
  EXPECT_GT(fields, 1000) << "the fields read before the failure are kept";
}

TEST(ListReader, OpeningAMissingFileFailsAndCloseIsHarmless) {
  ScratchFolder folder;
  ListReader reader;
  try {
    reader.Open("no such list.mla");
    FAIL() << "Open must fail";
  } catch (const Error& error) {
    EXPECT_NE(error.Number(), 0);
    EXPECT_NE(error.Description().find("no such list.mla"), std::string::npos);
  }
  reader.Close();
  reader.Close();
  EXPECT_THROW(reader.ReadField(), EndOfList);
}

TEST(ListReader, ReadsAFileFromDisk) {
  ScratchFolder folder;
  WriteFile("list.mla", "a.txt,b.txt\r\n");
  ListReader reader;
  reader.Open("list.mla");
  EXPECT_EQ(reader.ReadField(), "a.txt");
  EXPECT_EQ(reader.ReadField(), "b.txt");
  EXPECT_THROW(reader.ReadField(), EndOfList);
  EXPECT_THROW(reader.ReadField(), EndOfList);
}

TEST(ListReader, FolderInPlaceOfAListFileFails) {
  ScratchFolder folder;
  std::filesystem::create_directory("list.mla");
  ListReader reader;
  EXPECT_THROW(
      {
        reader.Open("list.mla");
        reader.ReadField();
      },
      Error);
}

TEST(Utf8Validation, RejectsMalformedSequences) {
  EXPECT_TRUE(IsValidUtf8("plain ascii, long enough to use the fast path"));
  EXPECT_TRUE(IsValidUtf8("\xF0\x9F\x8E\xAE \xE2\x82\xAC \xC3\xA9"));
  EXPECT_FALSE(IsValidUtf8("\xC0\xAF"));          // overlong '/'
  EXPECT_FALSE(IsValidUtf8("\xE0\x80\xAF"));      // overlong '/'
  EXPECT_FALSE(IsValidUtf8("\xED\xA0\x80"));      // surrogate
  EXPECT_FALSE(IsValidUtf8("\xF4\x90\x80\x80"));  // above U+10FFFF
  EXPECT_FALSE(IsValidUtf8("abcdefgh\xE2\x82"));  // cut short
  EXPECT_FALSE(IsValidUtf8("\x80"));
}

}  // namespace
}  // namespace tavrik
