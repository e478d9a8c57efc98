#include "list_reader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <vector>

#include "fake_platform.h"
#include "memory_source.h"
#include "scratch_folder.h"
#include "utf8_verdict.h"

namespace tavrik {
namespace {

using Fields = std::vector<std::string>;

// Every field of `source`, read the way the loaders read a list file; the
// number of the read failure that ended the reading, 0 for the end of the
// list (without `ended_by`, a failure is thrown).
Fields ReadAll(ByteSource& source, std::int64_t* ended_by = nullptr) {
  const ListRead list = ReadListFile(source);
  if (list.failure && ended_by == nullptr) throw *list.failure;
  if (ended_by != nullptr) *ended_by = list.failure ? list.failure->Number() : 0;
  return list.fields;
}

Fields ReadAll(const std::string& bytes) {
  MemorySource source(bytes);
  return ReadAll(source);
}

// A device that hands out its bytes in pieces of `piece`, as pipes and
// network file systems do, and fails with EIO at byte `fail_at`.
class PiecewiseSource : public ByteSource {
 public:
  PiecewiseSource(std::string bytes, std::size_t piece, std::size_t fail_at = SIZE_MAX)
      : bytes_(std::move(bytes)), piece_(piece), fail_at_(fail_at) {}

  std::size_t Read(char* buffer, std::size_t size) override {
    if (next_ >= fail_at_) throw Error(EIO, "Cannot read 'Tavrik.mla': Input/output error");
    const std::size_t count =
        std::min({size, piece_, bytes_.size() - next_, fail_at_ - std::min(fail_at_, next_)});
    std::copy_n(bytes_.data() + next_, count, buffer);
    next_ += count;
    return count;
  }

 private:
  std::string bytes_;
  std::size_t piece_, fail_at_, next_ = 0;
};

// `text` (ASCII or UTF-16 units) as a UTF-16 file with its byte order mark.
std::string Utf16File(std::u16string_view text, bool big_endian) {
  std::string bytes = big_endian ? "\xFE\xFF" : "\xFF\xFE";
  for (const char16_t unit : text) {
    const char high = static_cast<char>(unit >> 8), low = static_cast<char>(unit & 0xFF);
    bytes += big_endian ? high : low;
    bytes += big_endian ? low : high;
  }
  return bytes;
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

TEST(ListReader, LargeFileReadInSmallPiecesIsReadWhole) {
  std::string text;
  Fields expected;
  for (int i = 0; text.size() < 300000; ++i) {
    expected.push_back("Data/Textures/file" + std::to_string(i) + ".dds");
    text += expected.back() + (i % 3 == 0 ? "," : "\r\n");
  }
  PiecewiseSource source(text, 999);
  EXPECT_EQ(ReadAll(source), expected);
  EXPECT_EQ(ReadAll(text), expected);
}

TEST(ListReader, LongSingleLineFieldKeepsItsBeginningAndItsLastCharactersSeen) {
  // Longer than any path: its first 32,767 characters, an ellipsis and the
  // last 32,767 of the 4 MiB looked through for its end, which is not there.
  const std::string line(50u << 20, 'x');
  const Fields fields = ReadAll(line + "\r\n");
  ASSERT_EQ(fields.size(), 1u);
  EXPECT_EQ(fields[0], std::string(32767, 'x') + "\u2026" + std::string(32767, 'x'));
}

TEST(ListReader, ReadFailureKeepsExactlyTheCompleteFieldsBeforeIt) {
  Fields all;
  std::string bytes;
  std::vector<std::size_t> ends;  // where each field's CR is
  for (int i = 0; bytes.size() < 200000; ++i) {
    all.push_back("Data\\file" + std::to_string(i) + ".dds");
    bytes += all.back();
    ends.push_back(bytes.size());
    bytes += "\r\n";
  }
  // Inside the field numbered 4999, on its CR (the field may be cut short:
  // its end is not known), and just after its CR, which ends it.
  const std::pair<std::size_t, std::size_t> cases[] = {
      {ends[4998] + 5, 4999}, {ends[4999], 4999}, {ends[4999] + 1, 5000}};
  for (const auto& [fail_at, kept] : cases) {
    PiecewiseSource source(bytes, 1000, fail_at);
    std::int64_t ended_by = -1;
    EXPECT_EQ(ReadAll(source, &ended_by), Fields(all.begin(), all.begin() + kept)) << fail_at;
    EXPECT_EQ(ended_by, EIO) << "a read failure is not the end of the list";
  }
}

TEST(ListReader, Utf16WithAByteOrderMarkIsReadInEitherOrder) {
  // "Über.esp", a quoted field with a comma, and U+1F3AE (a surrogate pair).
  const std::u16string text = u"\u00DCber.esp\r\n\"a, b\"\r\n\U0001F3AE.dds\r\n\r\n";
  const Fields expected = {
      "\xC3\x9C"
      "ber.esp",
      "a, b", "\xF0\x9F\x8E\xAE.dds"};
  for (const bool big_endian : {false, true}) {
    EXPECT_EQ(ReadAll(Utf16File(text, big_endian)), expected) << big_endian;
    PiecewiseSource odd_pieces(Utf16File(text, big_endian), 3);  // units split between reads
    EXPECT_EQ(ReadAll(odd_pieces), expected) << big_endian;
  }
  EXPECT_EQ(ReadAll(Utf16File(u"", false)), Fields{});
  EXPECT_EQ(ReadAll(Utf16File(u"a,b\x1A", false)), (Fields{"a", "b"}));  // the final Ctrl+Z
}

TEST(ListReader, IllFormedUtf16IsNeverReadAsAnotherPath) {
  const std::string replacement = "\xEF\xBF\xBD";
  // Surrogates without their partner are U+FFFD, also at the very end.
  EXPECT_EQ(ReadAll(Utf16File(u"\xD83Cx\r\n\xDF2E\r\n\xD83C", false)),
            (Fields{replacement + "x", replacement, replacement}));
  // An odd final byte is half a character: the field it ends is not used,
  // and after a line end it adds nothing.
  EXPECT_EQ(ReadAll(Utf16File(u"a.esp\r\nb.esp", false) + "s"), Fields{"a.esp"});
  EXPECT_EQ(ReadAll(Utf16File(u"a.esp\r\nb.esp\r\n", false) + "\x1A"), (Fields{"a.esp", "b.esp"}));
  // A read failure that splits a unit, or a pair: the fields before stay.
  const std::string file = Utf16File(u"a.esp\r\n\U0001F3AE.esp\r\n", true);
  for (const std::size_t fail_at : {std::size_t{17}, std::size_t{18}, std::size_t{19}}) {
    PiecewiseSource source(file, 5, fail_at);
    std::int64_t ended_by = -1;
    EXPECT_EQ(ReadAll(source, &ended_by), Fields{"a.esp"}) << fail_at;
    EXPECT_EQ(ended_by, EIO);
  }
}

TEST(ListReader, TheLibraryReadingOpensRegularFilesOnly) {
  // What platforms without their own reading (the test doubles) use.
  ScratchFolder folder;
  FakePlatform platform;
  WriteFile("list.mla", "a.txt,b.txt\r\n");
  EXPECT_EQ(ReadAll(*platform.OpenListFile("list.mla")), (Fields{"a.txt", "b.txt"}));
  std::filesystem::create_directory("folder.mla");
  EXPECT_THROW(platform.OpenListFile("folder.mla"), Error);
  try {
    platform.OpenListFile("no such list.mla");
    FAIL() << "opening a missing file must fail";
  } catch (const Error& error) {
    EXPECT_NE(error.Number(), 0);
    EXPECT_NE(error.Description().find("no such list.mla"), std::string::npos);
  }
}

// Every field of `bytes` read with `limits`, and why reading ended.
Fields ReadWithin(const std::string& bytes, const ListLimits& limits, ReadingStop* stop) {
  MemorySource source(bytes);
  const ListRead list = ReadListFile(source, limits);
  *stop = list.stop;
  return list.fields;
}

TEST(ListReader, ReadingStopsAtTheFieldLimitBlankLinesIncluded) {
  ReadingStop stop;
  EXPECT_EQ(ReadWithin("a,b,c,d\r\n", {.fields = 3}, &stop), (Fields{"a", "b", "c"}));
  EXPECT_EQ(stop, ReadingStop::kFieldCount);
  EXPECT_EQ(ReadWithin("a\n\n\n\n\nb", {.fields = 3}, &stop), (Fields{"a", "", ""}));
  EXPECT_EQ(stop, ReadingStop::kFieldCount);
  EXPECT_EQ(ReadWithin("a,b\r\n\r\n", {.fields = 3}, &stop), (Fields{"a", "b"}));
  EXPECT_EQ(stop, ReadingStop::kNone);
}

TEST(ListReader, FieldLongerThanAnyPathKeepsItsEndsAndEndsReadingAfterItsPair) {
  const std::string long_field = "B" + std::string(40000, 'x') + "E";
  const std::string shortened =
      "B" + std::string(32766, 'x') + "\u2026" + std::string(32766, 'x') + "E";
  ReadingStop stop;
  // As the first of its pair, and as the second.
  EXPECT_EQ(ReadWithin("a\r\nb\r\n" + long_field + "\r\nc\r\nd\r\n", {}, &stop),
            (Fields{"a", "b", shortened, "c"}));
  EXPECT_EQ(stop, ReadingStop::kLongField);
  EXPECT_EQ(ReadWithin(long_field + ",\"" + long_field + "\",c", {}, &stop),
            (Fields{shortened, shortened}));
  // Counted as Windows counts: U+1F3AE is two code units, é is one.
  std::u16string games;
  for (int i = 0; i < 20000; ++i) games += u"\U0001F3AE";
  std::string game_head, game_tail;
  for (int i = 0; i < 16383; ++i) game_head += "\U0001F3AE";
  for (int i = 0; i < 16383; ++i) game_tail += "\U0001F3AE";
  EXPECT_EQ(ReadAll(Utf16File(games + u"\r\nx", false)),
            (Fields{game_head + "\u2026" + game_tail, "x"}));
  std::string accents;
  for (int i = 0; i < 30000; ++i) accents += "\u00e9";
  EXPECT_EQ(ReadAll(accents + "\r\nx"), (Fields{accents, "x"}));
  // Blanks past the limit are dropped as blanks, unless text follows them.
  EXPECT_EQ(ReadAll("x" + std::string(40000, ' ') + "\r\ny"), (Fields{"x", "y"}));
  EXPECT_EQ(
      ReadAll("x" + std::string(40000, ' ') + "z\r\ny"),
      (Fields{"x" + std::string(32766, ' ') + "\u2026" + std::string(32766, ' ') + "z", "y"}));
}

TEST(ListReader, ReadingStopsBeforeTheFieldThatWouldTakeTheTextPastItsBound) {
  ReadingStop stop;
  EXPECT_EQ(ReadWithin("abc,defg,hij\r\n", {.text = 10}, &stop), (Fields{"abc", "defg", "hij"}));
  EXPECT_EQ(stop, ReadingStop::kNone);
  EXPECT_EQ(ReadWithin("abc,defg,hijk\r\nl", {.text = 10}, &stop), (Fields{"abc", "defg"}));
  EXPECT_EQ(stop, ReadingStop::kText);
  // Counted as the text is kept: Windows-1252 as UTF-8 (an é is two bytes),
  // a field too long with its ellipsis.
  EXPECT_EQ(ReadWithin("\xE9\xE9\xE9,\xE9\xE9", {.text = 9}, &stop),
            Fields{"\xC3\xA9\xC3\xA9\xC3\xA9"});
  EXPECT_EQ(stop, ReadingStop::kText);
  const ListLimits shortened{.field_length = 4, .kept_end = 2, .text = 10};
  EXPECT_EQ(ReadWithin("x,abcdefgh,y", shortened, &stop), (Fields{"x", "abcd\u2026gh"}));
  EXPECT_EQ(stop, ReadingStop::kLongField);
  EXPECT_EQ(ReadWithin("x,abcdefgh,y", {.field_length = 4, .kept_end = 2, .text = 9}, &stop),
            Fields{"x"});
  EXPECT_EQ(stop, ReadingStop::kText);
}

TEST(ListReader, TheEncodingIsDecidedOnTheBytesRead) {
  ReadingStop stop;
  // A byte that is not UTF-8 after where reading stops is not read.
  EXPECT_EQ(ReadWithin("\xC3\x9C\r\n\xFF", {.fields = 1}, &stop), Fields{"\xC3\x9C"});
  // A UTF-8 byte order mark is no part of a path, whatever follows it.
  EXPECT_EQ(ReadAll("\xEF\xBB\xBF\"a, b\",\xFF"), (Fields{"a, b", "\xC3\xBF"}));
}

TEST(ListReader, PositionsCountLinesAsTheReaderEndsThemAndColumnsInCharacters) {
  using Positions = std::vector<FieldPosition>;
  const auto positions = [](const std::string& bytes) {
    MemorySource source(bytes);
    return ReadListFile(source).positions;
  };
  // CR LF, LF and CR; blank lines and commas; a quoted field over a line end.
  EXPECT_EQ(positions("a\r\n  b,\r\n\n\r  \"c\r\nd\", e"),
            (Positions{{1, 1}, {2, 3}, {2, 5}, {3, 1}, {4, 1}, {5, 3}, {6, 5}}));
  // Characters, not bytes: in UTF-8, in Windows-1252 and in UTF-16.
  EXPECT_EQ(positions("\xC3\x9C\xF0\x9F\x8E\xAE,x"), (Positions{{1, 1}, {1, 4}}));
  EXPECT_EQ(positions("\xDC\xFF,x"), (Positions{{1, 1}, {1, 4}}));
  EXPECT_EQ(positions(Utf16File(u"\U0001F3AE,x", false)), (Positions{{1, 1}, {1, 3}}));
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
