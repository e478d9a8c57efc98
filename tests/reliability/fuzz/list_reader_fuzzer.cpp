// Feeds arbitrary bytes through ListReader and checks what must hold for any
// list file: reading ends, every field is UTF-8 text taken in order from the
// file's text (UTF-8, UTF-16 or Windows-1252), delimiters appear only inside
// quoted fields, and the work done is bounded by the size of the file.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "list_reader.h"
#include "text_encoding.h"
#include "work_counter.h"

namespace {

// Measured at up to 50 calls per byte (a file of nothing but commas: a few
// dozen calls per field); a reader that rescans the text for each field
// exceeds this on inputs of a few thousand bytes.
constexpr std::uint64_t kCallsPerByte = 128;
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
  if (!tavrik::IsValidUtf8(bytes)) return tavrik::DecodeWindows1252(bytes);
  if (bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);
  return std::string(bytes);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  Check(tavrik::IsValidUtf8(bytes) == WellFormedUtf8(bytes), "IsValidUtf8 misjudges the bytes");
  const std::string text = TextOf(bytes);
  Check(WellFormedUtf8(text), "the decoded text is not UTF-8");

  tavrik::MemorySource source(bytes);
  tavrik::ListReader reader;
  work_counter::calls = 0;
  reader.Open(source);
  std::size_t fields = 0, cursor = 0;
  while (true) {
    std::string field;
    try {
      field = reader.ReadField();
    } catch (const tavrik::EndOfList&) {
      break;
    } catch (const tavrik::Error&) {
      Check(false, "a stream that reads fine raised an error other than the end of the list");
    }
    // Every field but the last consumes a delimiter, so this bounds the loop.
    Check(++fields <= size + 1, "more fields than bytes: the reader does not advance");
    CheckFieldIsNextPieceOf(text, field, cursor);
  }
  Check(work_counter::calls <= kCallsPerByte * size + kFixedCalls,
        "reading took more than linear work");
  bool ended_again = false;
  try {
    reader.ReadField();
  } catch (const tavrik::EndOfList&) {
    ended_again = true;
  }
  Check(ended_again, "the end of the list is not final");
  reader.Close();
  return 0;
}
