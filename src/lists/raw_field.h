#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "line_counter.h"

namespace tavrik {

/// One field as it is scanned: the file's bytes (UTF-8 for a UTF-16 file),
/// before the encoding is known.
struct RawField {
  static constexpr std::size_t kWhole = std::string::npos;
  /// The whole field; or the beginning of a longer one, followed from
  /// `end_at` on by its end.
  std::string text;
  std::size_t end_at = kWhole;
  Place place;
};

/// Spaces and tabs: skipped before a field, dropped at the end of an
/// unquoted one.
inline bool IsBlank(char c) { return c == ' ' || c == '\t'; }

/// The length of `text` without its blanks at the end.
inline std::size_t WithoutBlanksAtEnd(std::string_view text) {
  std::size_t length = text.size();
  while (length > 0 && IsBlank(text[length - 1])) --length;
  return length;
}

}  // namespace tavrik
