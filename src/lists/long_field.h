#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "list_limits.h"
#include "raw_field.h"

namespace tavrik {

/// The part of a field past its length limit: blanks there count for
/// nothing until a character follows them (in an unquoted field); from that
/// character on, the field is too long for any path, and its last
/// characters are kept as far as the end scan looks for its end.
class FieldEnd {
 public:
  FieldEnd(const ListLimits& limits, bool unquoted) : limits_(limits), unquoted_(unquoted) {}

  /// Takes the next `piece` of the field. Returns how much was taken: less
  /// than all where the end scan ends.
  std::size_t Take(std::string_view piece);
  /// A character came past the limit.
  bool TooLong() const { return too_long_; }
  /// The field's last kept_end code units. They may start in `beginning`,
  /// the field's text before the limit. In `legacy` text every byte counts.
  std::string Last(std::string_view beginning, bool legacy);

 private:
  std::size_t Scan(std::string_view piece);
  void KeepBlanks(std::string_view blanks);

  const ListLimits& limits_;
  const bool unquoted_;
  bool too_long_ = false;
  std::string end_;          // its end as far as seen
  std::string blanks_;       // the last blanks after the last character
  std::size_t scanned_ = 0;  // bytes looked through for the end
};

/// The text of a field that does not come whole in one piece, or is long:
/// kept whole while it is within the length limit; past it, its beginning,
/// and its end (FieldEnd).
class LongField {
 public:
  LongField(const ListLimits& limits, bool unquoted) : limits_(limits), unquoted_(unquoted) {}

  /// Takes the field's next `piece`. Its bytes from `utf8_until` on (counted
  /// from the field's start) follow a byte that is not UTF-8, and count one
  /// character each. Returns how much was taken: less than all when the end
  /// scan ends inside the piece.
  std::size_t Append(std::string_view piece, std::uint64_t utf8_until);
  /// The field ends here: its text goes to `field`. `legacy` says how its
  /// end is counted.
  void Finish(bool legacy, RawField& field);

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
