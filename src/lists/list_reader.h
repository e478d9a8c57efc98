#pragma once

#include <cstddef>
#include <cstdint>
#include <istream>
#include <optional>
#include <string>
#include <string_view>

#include "error_condition.h"
#include "text_encoding.h"

namespace tavrik {

/// Reads a list file one field at a time. Fields are separated by commas and
/// line ends; a field in double quotes may hold commas and line ends. The
/// README's "List file format" section is the full definition.
///
/// Usage: Open, then ReadField until it throws (EndOfList at the end), then
/// Close. Every failure is an Error.
class ListReader {
 public:
  /// `legacy` reads files that are not UTF-8 (Windows-1252 unless the
  /// platform knows better).
  explicit ListReader(LegacyDecoder legacy = DecodeWindows1252);

  /// Opens the file at `path` (UTF-8) and takes its text. Throws Error when
  /// it cannot be opened; a read failure part-way is raised by the
  /// ReadField that reaches it, so the fields before it are still returned.
  void Open(const std::string& path);
  /// The same for an already open stream; `name` appears in error messages.
  void Open(std::istream& in, std::string_view name);

  /// The next field. Throws EndOfList when none remains, or the read
  /// failure that cut the file short.
  std::string ReadField();

  /// Drops the file's text. Harmless when Open failed or was never called.
  void Close() noexcept;

 private:
  void Read(std::istream& in, std::string_view name, std::uintmax_t expected_size);
  void Take(std::string bytes);
  [[noreturn]] void RaiseAtEnd();
  void SkipDelimiterAt(std::size_t position);

  LegacyDecoder legacy_;
  std::string text_;
  std::size_t position_ = 0;
  std::size_t content_end_ = 0;  // just past the last character that is not blank
  std::optional<Error> read_failure_;
};

}  // namespace tavrik
