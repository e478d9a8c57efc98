#include "field_scanner.h"

#include <algorithm>

namespace tavrik {

namespace {

// The first comma or line end of `text`, or its size.
std::size_t FindDelimiter(std::string_view text) {
  const auto delimiter = [](char c) { return c == ',' || c == '\r' || c == '\n'; };
  return static_cast<std::size_t>(std::find_if(text.begin(), text.end(), delimiter) - text.begin());
}

std::size_t FindQuote(std::string_view text) { return std::min(text.find('"'), text.size()); }

}  // namespace

FieldScanner::FieldScanner(ByteSource& source, const ListLimits& limits)
    : limits_(limits), stream_(source), lines_(stream_.Offset()), blanks_(limits.fields) {
  if (!stream_.Utf16()) verdict_.Look(stream_.Rest(), stream_.Offset());
}

bool FieldScanner::Next(RawField& field) {
  if (ended_) return false;
  if (!blanks_.Any()) {
    blanks_.Clear();
    const std::string_view rest = stream_.Rest();
    if (rest.empty() || IsBlank(rest[0]) || rest[0] == '\r' || rest[0] == '\n') {
      if (!SkipBlanks()) return End();  // blank lines at the end of the file yield no fields
    }
  }
  field.end_at = RawField::kWhole;
  if (blanks_.Any()) {
    field.text.clear();
    field.place = blanks_.Take();
    return true;
  }
  field.place = lines_.At(stream_.Offset(), stream_.Rest().data());
  const bool quoted = stream_.Rest().front() == '"';
  stream_.Consume(quoted ? 1 : 0);       // the opening quote
  return Field(field, quoted) || End();  // a field cut short where the text ends is not used
}

// Skips blanks and line ends up to where a field starts; false at the end
// of the text. A line end here ends a blank line, or a line that ends in a
// comma: a pending empty field.
bool FieldScanner::SkipBlanks() {
  while (true) {
    const std::string_view rest = stream_.Rest();
    for (std::size_t i = 0; i < rest.size(); ++i) {
      const char c = rest[i];
      if (IsBlank(c)) continue;
      if (c != '\r' && c != '\n') {
        stream_.Consume(i);
        return true;
      }
      const std::uint64_t at = stream_.Offset() + i;
      if (!lines_.EndsCrLf(c, at)) blanks_.Add(lines_.At(at, rest.data() + i));
      lines_.Break(c, at);
    }
    stream_.Consume(rest.size());
    if (!More()) return false;
  }
}

bool FieldScanner::Field(RawField& field, bool quoted) {
  const std::string_view rest = stream_.Rest();
  const std::size_t end = quoted ? FindQuote(rest) : FindDelimiter(rest);
  if (end == rest.size() || end > limits_.field_length) return Long(field, quoted);
  // The common case: the whole field is at hand, and it is short.
  field.text.assign(rest.data(), quoted ? end : WithoutBlanksAtEnd(rest.substr(0, end)));
  if (!quoted) {
    EndDelimiter(rest, end);
    return true;
  }
  lines_.Lines(rest.substr(0, end), stream_.Offset());
  stream_.Consume(end + 1);  // with its closing quote
  SkipAfterQuote();
  return true;
}

// Reads a field on to its end, piece by piece; false when a read failure
// cuts it short.
bool FieldScanner::Long(RawField& field, bool quoted) {
  const std::uint64_t start = stream_.Offset();
  FieldText text(limits_, !quoted);
  bool closed = false;
  while (true) {
    const std::string_view rest = stream_.Rest();
    const std::size_t end = quoted ? FindQuote(rest) : FindDelimiter(rest);
    const std::size_t taken = text.Append(rest.substr(0, end), verdict_.Utf8Until(start));
    if (quoted) lines_.Lines(rest.substr(0, taken), stream_.Offset());
    if (taken < end) {
      stream_.Consume(taken);
      end_unseen_ = true;  // its end is not within the scan
      break;
    }
    if (end < rest.size()) {  // its end
      closed = quoted;
      if (quoted) stream_.Consume(end + 1);  // the piece and its closing quote
      if (!quoted) EndDelimiter(rest, end);
      break;
    }
    stream_.Consume(end);
    if (!More()) {
      if (stream_.Cut()) return false;
      verdict_.End(stream_.Offset());  // the file ends inside it: it is what was read
      break;
    }
  }
  field.end_at = text.Finish(Legacy(), field.text);
  if (closed) SkipAfterQuote();
  return true;
}

// Characters between a closing quote and the delimiter are dropped. Blanks
// there are read to their end; others only as far as the end scan.
void FieldScanner::SkipAfterQuote() {
  std::size_t others = 0;
  while (true) {
    const std::string_view rest = stream_.Rest();
    for (std::size_t i = 0; i < rest.size(); ++i) {
      const char c = rest[i];
      if (c == ',' || c == '\r' || c == '\n') return EndDelimiter(rest, i);
      if (!IsBlank(c) && ++others > limits_.end_scan) {
        stream_.Consume(i);
        end_unseen_ = true;
        return;
      }
    }
    stream_.Consume(rest.size());
    if (!More()) return;  // its closing quote was read: the field is whole
  }
}

void FieldScanner::EndDelimiter(std::string_view rest, std::size_t at) {
  std::size_t end = at + 1;
  if (rest[at] != ',') lines_.Break(rest[at], stream_.Offset() + at);
  if (rest[at] == '\r' && end < rest.size() && rest[end] == '\n') {
    lines_.Break('\n', stream_.Offset() + end++);  // the rest of the CR LF
  }
  stream_.Consume(end);
}

bool FieldScanner::More() {
  // The text consumed goes: count the characters of its line first.
  lines_.At(stream_.Offset(), stream_.Rest().data());
  if (!stream_.More()) return false;
  if (!stream_.Utf16()) verdict_.Look(stream_.Rest(), stream_.Offset());
  return true;
}

bool FieldScanner::End() {
  ended_ = true;
  // Only at the file's end is a character left unfinished not UTF-8 (one
  // that a read failure cuts is not in the text at all).
  if (stream_.Ended() && stream_.Rest().empty()) verdict_.End(stream_.Offset());
  return false;
}

}  // namespace tavrik
