#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace tavrik {

/// Where a field starts: its line, and its column counted both in bytes and
/// in UTF-8 characters, since which of them counts is known only once the
/// file's encoding is. All from 1.
struct Place {
  std::size_t line = 0, column_bytes = 0, column_utf8 = 0;
};

/// Counts the lines and columns of a list's text as it is consumed. Lines
/// end at CR LF, a lone CR or a lone LF, also inside quotes. Columns are
/// counted only when asked for, and then only over the bytes since the last
/// place asked for on the same line: a field's own bytes are seldom counted.
class LineCounter {
 public:
  /// The text starts at `offset` (after a byte order mark).
  explicit LineCounter(std::uint64_t offset) : mark_(offset) {}

  /// The place at `offset`, where `text` points. The bytes of its line since
  /// the last place asked for must lie just before `text`.
  Place At(std::uint64_t offset, const char* text);
  /// The line end `c` ('\r' or '\n') at `offset`.
  void Break(char c, std::uint64_t offset) {
    mark_ = offset + 1;
    if (EndsCrLf(c, offset)) return;  // the line has begun at the CR already
    ++line_;
    bytes_ = continuations_ = 0;
    cr_end_ = c == '\r' ? offset + 1 : UINT64_MAX;
  }
  /// True when `c` at `offset` is the LF of a CR LF: no line end of its own.
  bool EndsCrLf(char c, std::uint64_t offset) const { return c == '\n' && offset == cr_end_; }
  /// Counts the line ends in `text`, which starts at `offset`.
  void Lines(std::string_view text, std::uint64_t offset);

 private:
  std::size_t line_ = 1;
  std::uint64_t mark_;  // the line's bytes are counted up to here
  std::size_t bytes_ = 0, continuations_ = 0;
  std::uint64_t cr_end_ = UINT64_MAX;  // just after the last CR that ended a line
};

}  // namespace tavrik
