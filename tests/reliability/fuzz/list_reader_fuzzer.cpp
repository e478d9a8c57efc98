// Feeds arbitrary bytes through ReadListFile and checks what must hold for
// any list file: reading ends, every field is UTF-8 text taken in order from
// the file's text (UTF-8, UTF-16 or Windows-1252), delimiters appear only
// inside quoted fields, positions only move on, and the work done is bounded
// by the size of the file. A second pass with tiny limits checks that reading
// stops where they say, that the text kept stays within its bound, and that a
// field too long keeps its two ends.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "list_reader.h"
#include "memory_source.h"
#include "text_encoding.h"
#include "utf8_verdict.h"
#include "work_counter.h"

namespace {

// Measured at up to 170 calls per byte (a file of nothing but commas: a
// field a byte, each through the scanner and into the two vectors of the
// result, every small standard-library function counted); a reader that
// rescans the text for each field exceeds this on inputs of a few thousand
// bytes.
constexpr std::uint64_t kCallsPerByte = 256;
constexpr std::uint64_t kFixedCalls = 4096;

void Check(bool ok, const char* what) {
  if (ok) return;
  std::fprintf(stderr, "list reader invariant broken: %s\n", what);
  std::abort();
}

// Well-formed UTF-8 by decoding each code point: written apart from the
// product's validator so that each checks the other.
bool WellFormedUtf8(std::string_view s) {
  std::size_t i = 0;
  while (i < s.size()) {
    const auto lead = static_cast<unsigned char>(s[i]);
    std::size_t length;
    char32_t code, smallest;
    if (lead < 0x80) {
      ++i;
      continue;
    } else if ((lead & 0xE0) == 0xC0) {
      length = 2, code = lead & 0x1F, smallest = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
      length = 3, code = lead & 0x0F, smallest = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
      length = 4, code = lead & 0x07, smallest = 0x10000;
    } else {
      return false;
    }
    if (s.size() - i < length) return false;
    for (std::size_t k = 1; k < length; ++k) {
      const auto next = static_cast<unsigned char>(s[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      code = (code << 6) | (next & 0x3F);
    }
    if (code < smallest || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return false;
    i += length;
  }
  return true;
}

bool HasDelimiter(std::string_view field) {
  return field.find_first_of(",\r\n") != std::string_view::npos;
}

bool HasOuterBlank(std::string_view field) {
  auto blank = [](char c) { return c == ' ' || c == '\t'; };
  return !field.empty() && (blank(field.front()) || blank(field.back()));
}

// Fields are pieces of the file's text, in file order, without overlap.
// Only a quoted field may hold a delimiter or start or end with a blank, and
// then the text holds the opening quote right before it. `cursor` is where
// the previous field ended at the earliest.
void CheckFieldIsNextPieceOf(std::string_view text, const std::string& field, std::size_t& cursor) {
  Check(WellFormedUtf8(field), "a field is not valid UTF-8");
  Check(field.empty() || field.front() != '"', "a field starts with a double quote");
  std::size_t start;
  if (HasDelimiter(field) || HasOuterBlank(field)) {
    const std::size_t quote = text.find('"' + field, cursor);
    Check(quote != std::string_view::npos, "an unquoted field holds a delimiter or outer blank");
    start = quote + 1;
  } else {
    start = text.find(field, cursor);
    Check(start != std::string_view::npos, "a field is not the next piece of the text");
  }
  cursor = start + field.size();
}

// The whole text the fields are pieces of: UTF-16 after its byte order
// mark, UTF-8 without its own, or else Windows-1252.
std::string TextOf(std::string_view bytes) {
  const std::string_view mark = bytes.substr(0, 2);
  if (mark == "\xFF\xFE" || mark == "\xFE\xFF") {
    std::string text;
    tavrik::Utf16Decoder decoder(mark == "\xFE\xFF");
    decoder.Append(bytes.substr(2), text);
    decoder.Finish(false, text);
    return text;
  }
  if (bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);
  if (!tavrik::IsValidUtf8(bytes)) return tavrik::DecodeWindows1252(bytes);
  return std::string(bytes);
}

bool Before(const tavrik::FieldPosition& a, const tavrik::FieldPosition& b) {
  return a.line < b.line || (a.line == b.line && a.column < b.column);
}

std::size_t CodeUnits(std::string_view text) {
  std::size_t units = 0;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    units += (byte & 0xC0) == 0x80 ? 0 : byte >= 0xF0 ? 2 : 1;
  }
  return units;
}

// Tiny limits: no more fields and text than allowed; in a file read as
// UTF-8 or UTF-16, where lengths count exactly, a field longer than the limit
// is its beginning, within the length, an ellipsis and its end, within what
// is kept.
void CheckLimits(const std::string& bytes, bool exact_lengths) {
  const tavrik::ListLimits limits{
      .fields = 6, .field_length = 8, .kept_end = 3, .end_scan = 16, .text = 40};
  tavrik::MemorySource source(bytes);
  work_counter::calls = 0;
  const tavrik::ListRead list = tavrik::ReadListFile(source, limits);
  Check(work_counter::calls <= kCallsPerByte * bytes.size() + kFixedCalls,
        "reading within limits took more than linear work");
  Check(list.fields.size() <= limits.fields, "more fields than the limit");
  std::size_t text = 0;
  for (const std::string& field : list.fields) {
    text += field.size();
    Check(text <= limits.text, "more text than the limit");
    Check(WellFormedUtf8(field), "a field read within limits is not valid UTF-8");
    if (!exact_lengths || CodeUnits(field) <= limits.field_length) continue;
    // The path may hold an ellipsis itself: look for the one after the
    // beginning kept (one unit short when a surrogate pair would not fit).
    bool shortened = false;
    for (std::size_t at = 0; at <= field.size() && !shortened; ++at) {
      const std::size_t head = CodeUnits(field.substr(0, at));
      const std::size_t end = CodeUnits(field.substr(std::min(at + 3, field.size())));
      shortened = head + 1 >= limits.field_length && head <= limits.field_length &&
                  field.compare(at, 3, "\u2026") == 0 && end >= 1 && end <= limits.kept_end;
    }
    Check(shortened, "a field too long is not its beginning, an ellipsis and its end");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  Check(tavrik::IsValidUtf8(bytes) == WellFormedUtf8(bytes), "IsValidUtf8 misjudges the bytes");
  const std::string text = TextOf(bytes);
  Check(WellFormedUtf8(text), "the decoded text is not UTF-8");

  tavrik::MemorySource source(bytes);
  work_counter::calls = 0;
  const tavrik::ListRead list = tavrik::ReadListFile(source);
  Check(work_counter::calls <= kCallsPerByte * size + kFixedCalls,
        "reading took more than linear work");
  Check(!list.failure, "a stream that reads fine reported a read failure");
  // Every field but the last consumes a delimiter.
  Check(list.fields.size() <= size + 1, "more fields than bytes: the reader does not advance");
  std::size_t cursor = 0;
  tavrik::FieldPosition last;
  Check(list.positions.size() == list.fields.size(), "a field without its position");
  for (std::size_t i = 0; i < list.fields.size(); ++i) {
    CheckFieldIsNextPieceOf(text, list.fields[i], cursor);
    Check(last.line == 0 || Before(last, list.positions[i]), "a field starts before the last");
    last = list.positions[i];
    Check(last.line >= 1 && last.column >= 1, "lines and columns count from 1");
  }
  const bool utf16 = bytes.starts_with("\xFF\xFE") || bytes.starts_with("\xFE\xFF");
  const std::string_view unmarked =
      std::string_view(bytes).substr(bytes.starts_with("\xEF\xBB\xBF") ? 3 : 0);
  CheckLimits(bytes, utf16 || tavrik::IsValidUtf8(unmarked));
  return 0;
}
