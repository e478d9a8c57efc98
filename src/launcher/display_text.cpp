#include "display_text.h"

namespace tavrik {

namespace {

constexpr std::string_view kEllipsis = "\u2026";

// How far a cut may move to keep a combining mark with its letter; a run
// of marks longer than this is cut anyway.
constexpr int kMarksKeptTogether = 16;

bool IsContinuation(char byte) { return (static_cast<unsigned char>(byte) & 0xC0) == 0x80; }

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
  while (offset < text.size() && IsContinuation(text[offset]));
  return offset;
}

std::size_t PreviousCharacter(std::string_view text, std::size_t offset) {
  do --offset;
  while (offset > 0 && IsContinuation(text[offset]));
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
  for (char byte : text) count += IsContinuation(byte) ? 0 : 1;
  return count;
}

// `text` whole when it has at most `limit` characters; otherwise its
// beginning and its end, the end a little longer (it holds the file's
// name), joined by an ellipsis to `limit` characters.
void AppendShortened(std::string& out, std::string_view text, std::size_t limit) {
  if (text.size() <= limit || CountCharacters(text) <= limit) {
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

void AppendBrokenWord(std::string& out, std::string_view word, std::size_t chunk,
                      std::string_view line_break) {
  std::size_t characters = 0;
  for (std::size_t offset = 0; offset < word.size();) {
    const std::size_t next = NextCharacter(word, offset);
    out += word.substr(offset, next - offset);
    offset = next;
    if (++characters >= chunk && offset < word.size() && !MarkAt(word, offset)) {
      out += line_break;
      characters = 0;
    }
  }
}

}  // namespace

std::string WithLineBreaks(std::string_view text, std::size_t longest_word, std::size_t chunk,
                           std::string_view line_break) {
  std::string out;
  for (std::size_t begin = 0;;) {
    const std::size_t space = text.find(' ', begin);
    const std::string_view word = text.substr(begin, space - begin);
    if (word.size() <= longest_word || CountCharacters(word) <= longest_word) {
      out += word;
    } else {
      AppendBrokenWord(out, word, chunk, line_break);
    }
    if (space == std::string_view::npos) return out;
    out += ' ';
    begin = space + 1;
  }
}

std::string BoxText(std::string_view text) {
  std::string paths_shortened;
  for (std::size_t begin = 0;;) {
    const std::size_t quote = text.find('\'', begin);
    AppendShortened(paths_shortened, text.substr(begin, quote - begin), kShownPathLength);
    if (quote == std::string_view::npos) break;
    paths_shortened += '\'';
    begin = quote + 1;
  }
  std::string shortened;
  AppendShortened(shortened, paths_shortened, kShownTextLength);
  return WithVisibleControls(shortened);
}

}  // namespace tavrik
