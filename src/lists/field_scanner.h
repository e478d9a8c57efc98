#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "byte_source.h"
#include "error_condition.h"
#include "field_text.h"
#include "line_counter.h"
#include "list_limits.h"
#include "pending_blanks.h"
#include "text_stream.h"
#include "utf8_verdict.h"

namespace tavrik {

/// One field as scanned, before the encoding is known: the file's bytes
/// (UTF-8 for a UTF-16 file), whole, or a long field's beginning followed
/// from `end_at` on by its end.
struct RawField {
  static constexpr std::size_t kWhole = std::string::npos;
  std::string text;
  std::size_t end_at = kWhole;
  Place place;
};

/// Splits a list file's text into fields by docs/design.md's "List file format"
/// (quotes, commas, line ends, blanks), a field at a time, keeping no more of
/// one than ListLimits allows. Also tells whether the bytes read are UTF-8.
class FieldScanner {
 public:
  /// Starts reading `source`, which must outlive the scanner.
  FieldScanner(ByteSource& source, const ListLimits& limits);

  /// The next field; false when none remains, or a read failure cut it short.
  bool Next(RawField& field);
  /// The end of the last field, or of what follows its closing quote, was
  /// not within the end scan: where a next field would start is not known.
  bool EndUnseen() const { return end_unseen_; }
  /// A byte read so far is not UTF-8 (in a file that is not UTF-16).
  bool Legacy() const { return verdict_.Legacy(stream_.Offset()); }
  const std::optional<Error>& Failure() const { return stream_.Failure(); }

 private:
  bool SkipBlanks();
  bool Field(RawField& field, bool quoted);
  bool Long(RawField& field, bool quoted);
  void SkipAfterQuote();
  void EndDelimiter(std::string_view rest, std::size_t at);
  bool More();
  bool End();

  const ListLimits& limits_;
  TextStream stream_;
  LineCounter lines_;
  Utf8Verdict verdict_;
  PendingBlanks blanks_;
  bool end_unseen_ = false;
  bool ended_ = false;
};

}  // namespace tavrik
