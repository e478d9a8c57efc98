#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "text_encoding.h"

namespace tavrik {

/// Where a field starts: its line, and its column counted in bytes and in
/// UTF-8 characters (which of them counts is known with the encoding).
struct Place {
  std::size_t line = 0, column_bytes = 0, column_utf8 = 0;
};

/// Counts the lines and columns of a list's text as it is consumed; lines end
/// at CR LF, a lone CR or a lone LF. Columns are counted when asked for, over
/// the bytes since the last place asked for on the line: a field's own bytes
/// seldom are.
class LineCounter {
 public:
  /// The text starts at `offset` (after a byte order mark).
  explicit LineCounter(std::uint64_t offset) : mark_(offset) {}

  /// The place at `offset`, where `text` points, with the bytes of its line
  /// since the last place asked for just before it.
  Place At(std::uint64_t offset, const char* text) {
    if (offset > mark_) {
      const auto size = static_cast<std::size_t>(offset - mark_);
      for (const char* byte = text - size; byte != text; ++byte) {
        continuations_ += IsUtf8Continuation(*byte) ? 1 : 0;
      }
      bytes_ += size;
      mark_ = offset;
    }
    return {line_, bytes_ + 1, bytes_ - continuations_ + 1};
  }
  /// The line end `c` ('\r' or '\n') at `offset`.
  void Break(char c, std::uint64_t offset) {
    mark_ = offset + 1;
    if (EndsCrLf(c, offset)) return;  // the line began at the CR
    ++line_;
    bytes_ = continuations_ = 0;
    cr_end_ = c == '\r' ? offset + 1 : UINT64_MAX;
  }
  /// True when `c` at `offset` is the LF of a CR LF: no line end of its own.
  bool EndsCrLf(char c, std::uint64_t offset) const { return c == '\n' && offset == cr_end_; }
  /// Counts the line ends in `text`, which starts at `offset`.
  void Lines(std::string_view text, std::uint64_t offset) {
    for (std::size_t i = 0; i < text.size(); ++i) {
      if (text[i] == '\r' || text[i] == '\n') Break(text[i], offset + i);
    }
  }

 private:
  std::size_t line_ = 1;
  std::uint64_t mark_;  // the line's bytes are counted up to here
  std::size_t bytes_ = 0, continuations_ = 0;
  std::uint64_t cr_end_ = UINT64_MAX;  // just after the last CR that ended a line
};

}  // namespace tavrik
