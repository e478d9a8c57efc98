#pragma once

#include <optional>

#include "byte_source.h"
#include "error_condition.h"
#include "line_counter.h"
#include "list_limits.h"
#include "long_field.h"
#include "pending_blanks.h"
#include "raw_field.h"
#include "text_stream.h"
#include "utf8_verdict.h"

namespace tavrik {

/// Splits a list file's text into fields as the README's "List file format"
/// says, a field at a time, keeping no more of a field than ListLimits
/// allows: quotes, commas, line ends and blanks. Also tells whether the
/// bytes read so far are UTF-8.
class FieldScanner {
 public:
  /// Starts reading `source`, which must outlive the scanner.
  FieldScanner(ByteSource& source, const ListLimits& limits);

  /// The next field; false when none remains (also where a read failure
  /// cut the next one short).
  bool Next(RawField& field);
  /// The end of the last field, or of the characters after its closing
  /// quote, was not within the end scan: where a next field starts is not
  /// known.
  bool EndUnseen() const { return end_unseen_; }
  /// A byte read so far is not UTF-8: a file that is not UTF-16 is legacy
  /// text.
  bool Legacy() const { return verdict_.Legacy(stream_.Offset()); }
  const std::optional<Error>& Failure() const { return stream_.Failure(); }

 private:
  bool SkipBlanks();
  bool Blank(RawField& field);
  bool Unquoted(RawField& field);
  bool Quoted(RawField& field);
  void SkipAfterQuote();
  void EndDelimiter(std::string_view rest, std::size_t at);
  bool FileEnd(LongField& text, RawField& field);
  bool Unseen(LongField& text, RawField& field);
  bool More();
  void Look();
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
