#include "display_text.h"

#include <algorithm>
#include <vector>

#include "text_encoding.h"

namespace tavrik {

namespace {

// A part cut shorter than this would say little; so would a whole text.
constexpr std::size_t kShortestCut = 24;

// How far a cut may move to keep a combining mark with its letter; a run
// of marks longer than this is cut anyway.
constexpr int kMarksKeptTogether = 16;

// The code point that starts at `offset`; a byte that starts no valid
// sequence stands for itself.
char32_t CodePointAt(std::string_view text, std::size_t offset) {
  const auto lead = static_cast<unsigned char>(text[offset]);
  const int length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
  if (length == 1 || offset + length > text.size()) return lead;
  char32_t code = lead & (0x3F >> (length - 1));
  for (int i = 1; i < length; ++i) {
    code = (code << 6) | (static_cast<unsigned char>(text[offset + i]) & 0x3F);
  }
  return code;
}

// The marks that most often follow a letter; a rarer one may still be cut
// off, which costs a glyph, not a wrong name.
bool IsCombiningMark(char32_t c) {
  return (c >= 0x0300 && c <= 0x036F) || (c >= 0x1AB0 && c <= 0x1AFF) ||
         (c >= 0x1DC0 && c <= 0x1DFF) || (c >= 0x20D0 && c <= 0x20FF) ||
         (c >= 0xFE00 && c <= 0xFE0F) || (c >= 0xFE20 && c <= 0xFE2F) || c == 0x200D;
}

bool MarkAt(std::string_view text, std::size_t offset) {
  return offset < text.size() && IsCombiningMark(CodePointAt(text, offset));
}

std::size_t NextCharacter(std::string_view text, std::size_t offset) {
  do ++offset;
  while (offset < text.size() && IsUtf8Continuation(text[offset]));
  return offset;
}

std::size_t PreviousCharacter(std::string_view text, std::size_t offset) {
  do --offset;
  while (offset > 0 && IsUtf8Continuation(text[offset]));
  return offset;
}

// Where the first `count` characters end, moved back so that the marks of
// the last letter are not left behind.
std::size_t HeadEnd(std::string_view text, std::size_t count) {
  std::size_t end = 0;
  for (; count > 0 && end < text.size(); --count) end = NextCharacter(text, end);
  for (int i = 0; i < kMarksKeptTogether && end > 0 && MarkAt(text, end); ++i) {
    end = PreviousCharacter(text, end);
  }
  return end;
}

// Where the last `count` characters start, moved past marks whose letter
// is cut off.
std::size_t TailStart(std::string_view text, std::size_t count) {
  std::size_t start = text.size();
  for (; count > 0 && start > 0; --count) start = PreviousCharacter(text, start);
  for (int i = 0; i < kMarksKeptTogether && MarkAt(text, start); ++i) {
    start = NextCharacter(text, start);
  }
  return start;
}

std::size_t CountCharacters(std::string_view text) {
  std::size_t count = 0;
  for (char byte : text) count += IsUtf8Continuation(byte) ? 0 : 1;
  return count;
}

// `text`, of `length` characters, whole when it has at most `limit`;
// otherwise its beginning and its end, the end a little longer (it holds
// the file's name), joined by an ellipsis to `limit` characters.
void AppendShortened(std::string& out, std::string_view text, std::size_t length,
                     std::size_t limit) {
  if (length <= limit) {
    out += text;
    return;
  }
  const std::size_t head = (limit - 1) * 2 / 5;
  const std::size_t tail = limit - 1 - head;
  out += text.substr(0, HeadEnd(text, head));
  out += kEllipsis;
  out += text.substr(TailStart(text, tail));
}

// Control characters as the symbols that stand for them: U+2400 to U+241F,
// and U+2421 for DEL.
std::string WithVisibleControls(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char byte : text) {
    const auto code = static_cast<unsigned char>(byte);
    if (code < 0x20 || code == 0x7F) {
      out += "\xE2\x90";
      out += static_cast<char>(code == 0x7F ? 0xA1 : 0x80 + code);
    } else {
      out += byte;
    }
  }
  return out;
}

// The most characters each part may keep so that all of them together have
// at most `budget`: parts shorter than that stay whole, longer ones are cut
// to it.
std::size_t PartLength(std::vector<std::size_t> lengths, std::size_t budget) {
  std::sort(lengths.begin(), lengths.end());
  std::size_t whole = 0;  // characters of the parts that stay whole
  for (std::size_t i = 0; i < lengths.size(); ++i) {
    const std::size_t cut_parts = lengths.size() - i;
    if (whole + lengths[i] * cut_parts > budget) return (budget - whole) / cut_parts;
    whole += lengths[i];
  }
  return lengths.back();
}

// A text split at its single quotes, with the length of each part, so that
// a text of megabytes is read once however often it is cut.
struct QuotedParts {
  std::string_view text;
  std::vector<std::string_view> parts;  // outside and inside quotes, alternately
  std::vector<std::size_t> lengths;     // in characters
  std::size_t total = 0;                // the text's characters
};

QuotedParts SplitAtQuotes(std::string_view text) {
  QuotedParts split{text, {}, {}, 0};
  for (std::size_t begin = 0;;) {
    const std::size_t quote = text.find('\'', begin);
    split.parts.push_back(text.substr(begin, quote - begin));
    split.lengths.push_back(CountCharacters(split.parts.back()));
    split.total += split.lengths.back() + (quote == std::string_view::npos ? 0 : 1);
    if (quote == std::string_view::npos) return split;
    begin = quote + 1;
  }
}

std::string Shortened(const QuotedParts& split, std::size_t limit) {
  limit = std::max(limit, kShortestCut);
  if (split.total <= limit) return WithVisibleControls(split.text);
  const std::size_t quotes = split.parts.size() - 1;
  const std::size_t part_length =
      std::max(kShortestCut, PartLength(split.lengths, limit - std::min(limit, quotes)));
  std::string parts_cut;
  for (std::size_t i = 0; i < split.parts.size(); ++i) {
    if (i > 0) parts_cut += '\'';
    AppendShortened(parts_cut, split.parts[i], split.lengths[i], part_length);
  }
  // Too many parts to keep a useful piece of each: the whole text is cut.
  std::string shortened;
  AppendShortened(shortened, parts_cut, CountCharacters(parts_cut), limit);
  return WithVisibleControls(shortened);
}

}  // namespace

std::string BoxText(std::string_view text, std::size_t limit) {
  return Shortened(SplitAtQuotes(text), limit);
}

std::string FittingBoxText(std::string_view text, std::size_t estimate,
                           const std::function<double(const std::string& shown)>& room_taken) {
  constexpr std::size_t kShortestLimit = 40;
  // Narrow letters may fit twice the estimate: such a text is tried whole.
  // A longer one starts at the estimate, so that a huge text costs one or
  // two measures of a box's worth of text.
  const QuotedParts split = SplitAtQuotes(text);
  std::size_t limit = split.total <= 2 * estimate ? 2 * estimate : estimate;
  std::string shown = Shortened(split, limit);
  for (double taken; limit > kShortestLimit && (taken = room_taken(shown)) > 1;) {
    // Shorter in proportion, a little more for the lines' ragged ends, and
    // by a thirty-second at least, so that it ends.
    const auto in_proportion = static_cast<std::size_t>(static_cast<double>(limit) / taken * 0.97);
    limit = std::max(kShortestLimit, std::min(limit - limit / 32, in_proportion));
    shown = Shortened(split, limit);
  }
  return shown;
}

}  // namespace tavrik
