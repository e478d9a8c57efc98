#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "byte_source.h"
#include "error_condition.h"
#include "text_encoding.h"
#include "text_stream.h"

namespace tavrik {

/// The walk counts entries in 16-bit signed integers: it refuses a list of
/// more than 32,767 entries, which the 32,768th entry shows.
inline constexpr std::size_t kMaxListFields = 32768;
/// The longest path Windows takes, in UTF-16 code units.
inline constexpr std::size_t kMaxFieldLength = 32767;

/// How far a list is read. The defaults stop where no walk can go on.
struct ListLimits {
  /// Reading ends after this many fields.
  std::size_t fields = kMaxListFields;
  /// A field longer than this (in UTF-16 code units) is kept as its
  /// beginning, an ellipsis and its end, and reading ends after its pair.
  std::size_t field_length = kMaxFieldLength;
  /// How much of such a field's end is kept (in code units): as much as
  /// of its beginning, so that a message box, which shows the beginning and
  /// the end of a path too long for it, shows what it would for the whole
  /// field, however big the screen.
  std::size_t kept_end = kMaxFieldLength;
  /// How much text is looked through for the end of such a field, or of
  /// the characters after a closing quote; when it is not there, reading
  /// ends after that field.
  std::size_t end_scan = std::size_t{4} << 20;
};

/// Why reading ended before the end of the file.
enum class ReadingStop {
  kNone,        // it did not: the end of the file, or a read failure
  kFieldCount,  // ListLimits::fields fields were read
  kLongField,   // the pair of a field too long for any path was read
};

/// One field as it is scanned, before the file's encoding is known.
struct RawField {
  static constexpr std::size_t kWhole = std::string::npos;
  // The whole field; or the beginning of a longer one, followed from
  // `end_at` on by its end.
  std::string text;
  std::size_t end_at = kWhole;
  // It reads the same in any encoding: every byte of the file up to its
  // end is ASCII, or the file is UTF-16.
  bool ascii = false;
  std::size_t line = 0;
  // Its column counted in bytes and in UTF-8 characters: which counts is
  // known when the encoding is.
  std::size_t column_bytes = 0;
  std::size_t column_utf8 = 0;
};

/// Splits a list file's text into fields as the README's "List file format"
/// says, a field at a time, in memory bounded by ListLimits. Also decides
/// whether a file that is not UTF-16 is UTF-8, from the bytes read so far.
class FieldScanner {
 public:
  explicit FieldScanner(const ListLimits& limits) : limits_(limits) {}

  void Open(ByteSource& source);
  void Close() noexcept;

  /// The next field; false when none remains, or reading has stopped.
  bool Next(RawField& field);
  /// Decides on the bytes read so far: reading will not go on.
  void Conclude();

  bool Utf16() const { return stream_.Utf16(); }
  /// A byte that is not UTF-8 has been read: the file is legacy text.
  bool Legacy() const { return invalid_at_ < stream_.Offset(); }
  ReadingStop Stop() const { return stop_; }
  const std::optional<Error>& Failure() const { return stream_.Failure(); }

 private:
  struct Place {
    std::size_t line, column_bytes, column_utf8;
  };
  class LongText;
  static constexpr std::uint64_t kNever = UINT64_MAX;

  bool NextField(RawField& field);
  bool WholeUnquoted(RawField& field, std::string_view rest);
  bool More();
  bool SkipBlanks();
  bool Blank(RawField& field);
  bool Field(RawField& field, std::string_view rest);
  bool Unquoted(RawField& field, std::string_view rest);
  bool Quoted(RawField& field, std::string_view rest);
  bool EndUnseen(LongText& text);
  void SkipAfterQuote();
  bool Produced(RawField& field, const Place& place);
  void EndDelimiter(std::string_view rest, std::size_t at);
  void Lines(std::string_view text);
  void NewLine(std::uint64_t next);
  // `at`, when given, is where `offset` is in the text.
  Place PlaceAt(std::uint64_t offset, const char* at = nullptr);
  void CheckTo(std::uint64_t offset);
  void Judge();
  std::uint64_t Utf8Until(std::uint64_t field_start) const;

  ListLimits limits_;
  TextStream stream_;
  // Whether the text is UTF-8: judged as it is read, up to checked_, ahead
  // of what is consumed. Only what is consumed counts: decisions compare
  // where the first byte that is not UTF-8, or not ASCII, is.
  Utf8Check check_;
  std::uint64_t checked_ = 0;
  std::uint64_t invalid_at_ = kNever;
  std::uint64_t non_ascii_at_ = kNever;
  std::size_t line_ = 1;
  std::uint64_t line_mark_ = 0;  // the line's characters are counted up to here
  std::size_t line_bytes_ = 0, line_continuations_ = 0;
  bool after_cr_ = false;  // a line feed next is the rest of a CR LF
  // Blank lines not yet known to be fields: only text after them makes them
  // empty fields. Counted: lines follow each other, and only a place that is
  // not a line's start is kept (of those that can be fields).
  std::uint64_t blank_lines_ = 0, blank_next_ = 0;
  std::size_t blank_line_ = 0;
  std::vector<std::pair<std::uint64_t, Place>> blank_places_;
  std::size_t blank_place_next_ = 0;
  std::size_t fields_ = 0;
  std::size_t stop_after_ = 0;  // the field after which reading stops, or 0
  bool end_unseen_ = false;     // the last field's end was not found
  bool ended_ = true;
  ReadingStop stop_ = ReadingStop::kNone;
};

}  // namespace tavrik
