#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "list_limits.h"

namespace tavrik {

/// Spaces and tabs: skipped before a field, dropped after an unquoted one.
inline bool IsBlank(char c) { return c == ' ' || c == '\t'; }

/// The length of `text` without its blanks at the end.
inline std::size_t WithoutBlanksAtEnd(std::string_view text) {
  std::size_t length = text.size();
  while (length > 0 && IsBlank(text[length - 1])) --length;
  return length;
}

/// The part of a field past its length limit. In an unquoted field, blanks
/// there count for nothing until a character follows them; from the first
/// character on, the field is too long for any path, and its last
/// characters are kept, as far as the end scan looks for its end.
class FieldEnd {
 public:
  FieldEnd(const ListLimits& limits, bool unquoted) : limits_(limits), unquoted_(unquoted) {}

  /// Takes the field's next `piece`; returns how much was taken: less than
  /// all where the end scan ends.
  std::size_t Take(std::string_view piece);
  bool TooLong() const { return too_long_; }
  /// The field's last kept_end code units. They may start in `beginning`,
  /// its text before the limit. In `legacy` text every byte counts one.
  std::string Last(std::string_view beginning, bool legacy);

 private:
  void KeepBlanks(std::string_view blanks);

  const ListLimits& limits_;
  const bool unquoted_;
  bool too_long_ = false;
  std::string end_;           // its end as far as seen
  std::size_t trailing_ = 0;  // the blanks at the end of end_
  std::size_t scanned_ = 0;   // bytes looked through for the end
};

/// The text of a field as it is read, piece by piece: kept whole while it is
/// within the length limit; past it, its beginning, and its end (FieldEnd).
class FieldText {
 public:
  FieldText(const ListLimits& limits, bool unquoted) : limits_(limits), unquoted_(unquoted) {}

  /// Takes the field's next `piece`, and returns how much of it was taken:
  /// less than all where the end scan ends. The field's bytes from
  /// `utf8_until` on follow a byte that is not UTF-8: one code unit each.
  std::size_t Append(std::string_view piece, std::uint64_t utf8_until);
  /// The field ends here: its text goes to `text`. Returns where its end
  /// starts in it when it is too long, else npos.
  std::size_t Finish(bool legacy, std::string& text);

 private:
  std::size_t Cut(std::uint64_t utf8_until);

  const ListLimits& limits_;
  const bool unquoted_;  // blanks at its end are dropped
  std::string text_;
  std::size_t content_ = 0;              // bytes of the text up to its last non-blank
  std::size_t counted_ = 0, units_ = 0;  // code units of the first counted_ bytes
  std::optional<FieldEnd> past_;         // once the text passes the limit
};

}  // namespace tavrik
