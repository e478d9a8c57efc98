#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "byte_source.h"
#include "error_condition.h"
#include "text_encoding.h"

namespace tavrik {

/// Reads a list file one field at a time. Fields are separated by commas and
/// line ends; a field in double quotes may hold commas and line ends. The
/// README's "List file format" section is the full definition.
///
/// Usage: Open, then ReadField (or SkipField) until it throws (EndOfList at
/// the end), then Close. Every failure is an Error.
class ListReader {
 public:
  /// `legacy` reads files that are neither UTF-8 nor UTF-16 (Windows-1252
  /// unless the platform knows better).
  explicit ListReader(LegacyDecoder legacy = DecodeWindows1252);

  /// Reads all of `source` and takes its text. A read failure part-way is
  /// raised by the ReadField that reaches it, so the fields before it are
  /// still returned.
  void Open(ByteSource& source);

  /// The next field. Throws EndOfList when none remains, or the read
  /// failure that cut the file short.
  std::string ReadField();
  /// Passes over the next field as ReadField does, without making its text,
  /// for counting fields that nobody reads.
  void SkipField();

  /// Drops the file's text. Harmless when Open failed or was never called.
  void Close() noexcept;

 private:
  struct Span {
    std::size_t start;
    std::size_t length;
  };
  Span NextField();
  void Take(std::string text, bool utf16);
  [[noreturn]] void RaiseAtEnd();
  void SkipDelimiterAt(std::size_t position);

  LegacyDecoder legacy_;
  // The file's text: UTF-8, or the file's own bytes when it is legacy text,
  // which is decoded a field at a time (the delimiters are ASCII in both).
  std::string text_;
  bool legacy_text_ = false;
  std::size_t position_ = 0;
  std::size_t content_end_ = 0;  // just past the last character that is not blank
  bool cut_ = false;             // the text ends inside a field, which is not used
  std::optional<Error> read_failure_;
};

}  // namespace tavrik
