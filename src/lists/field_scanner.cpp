#include "field_scanner.h"

#include <algorithm>

namespace tavrik {

namespace {

constexpr std::size_t kNone = std::string_view::npos;

// The first comma or line end of `text`, or its size.
std::size_t FindDelimiter(std::string_view text) {
  const auto delimiter = [](char c) { return c == ',' || c == '\r' || c == '\n'; };
  return static_cast<std::size_t>(std::find_if(text.begin(), text.end(), delimiter) - text.begin());
}

}  // namespace

FieldScanner::FieldScanner(ByteSource& source, const ListLimits& limits)
    : limits_(limits), stream_(source), lines_(stream_.Offset()), blanks_(limits.fields) {
  Look();
}

bool FieldScanner::Next(RawField& field) {
  if (ended_) return false;
  if (blanks_.Any()) return Blank(field);
  blanks_.Clear();
  const std::string_view rest = stream_.Rest();
  if (rest.empty() || IsBlank(rest[0]) || rest[0] == '\r' || rest[0] == '\n') {
    if (!SkipBlanks()) return End();  // blank lines at the end of the file yield no fields
    if (blanks_.Any()) return Blank(field);
  }
  field.end_at = RawField::kWhole;
  field.place = lines_.At(stream_.Offset(), stream_.Rest().data());
  const bool whole = stream_.Rest().front() == '"' ? Quoted(field) : Unquoted(field);
  return whole || End();  // a field cut short where the text ends is not used
}

// Skips blanks and line ends up to where a field starts; false at the end
// of the text. Each line end that does not end a field's line (a blank
// line, or a line that ends in a comma) is a pending empty field.
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

bool FieldScanner::Blank(RawField& field) {
  field.text.clear();
  field.end_at = RawField::kWhole;
  field.place = blanks_.Take();
  return true;
}

bool FieldScanner::Unquoted(RawField& field) {
  std::string_view rest = stream_.Rest();
  std::size_t end = FindDelimiter(rest);
  if (end < rest.size() && end <= limits_.field_length) {  // the common case: whole at hand
    field.text.assign(rest.data(), WithoutBlanksAtEnd(rest.substr(0, end)));
    EndDelimiter(rest, end);
    return true;
  }
  const std::uint64_t start = stream_.Offset();
  LongField text(limits_, true);
  while (true) {
    const std::string_view piece = rest.substr(0, end);
    const std::size_t taken = text.Append(piece, verdict_.Utf8Until(start));
    if (taken < piece.size()) {
      stream_.Consume(taken);
      return Unseen(text, field);
    }
    if (end < rest.size()) {
      EndDelimiter(rest, end);
      text.Finish(Legacy(), field);
      return true;
    }
    stream_.Consume(end);
    if (!More()) return FileEnd(text, field);
    rest = stream_.Rest();
    end = FindDelimiter(rest);
  }
}

bool FieldScanner::Quoted(RawField& field) {
  stream_.Consume(1);  // the opening quote
  std::string_view rest = stream_.Rest();
  std::size_t close = rest.find('"');
  if (close != kNone && close <= limits_.field_length) {
    field.text.assign(rest.data(), close);
    lines_.Lines(rest.substr(0, close), stream_.Offset());
    stream_.Consume(close + 1);
    SkipAfterQuote();
    return true;
  }
  const std::uint64_t start = stream_.Offset();
  LongField text(limits_, false);
  while (true) {
    const std::string_view piece = rest.substr(0, close);
    const std::size_t taken = text.Append(piece, verdict_.Utf8Until(start));
    lines_.Lines(piece.substr(0, taken), stream_.Offset());
    stream_.Consume(taken);
    if (taken < piece.size()) return Unseen(text, field);
    if (close != kNone) {
      stream_.Consume(1);
      text.Finish(Legacy(), field);
      SkipAfterQuote();
      return true;
    }
    if (!More()) return FileEnd(text, field);  // the field is what was read
    rest = stream_.Rest();
    close = rest.find('"');
  }
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

// The text ended inside a field: it is whole unless a failure cut it.
bool FieldScanner::FileEnd(LongField& text, RawField& field) {
  if (stream_.Cut()) return false;
  verdict_.End(stream_.Offset());
  text.Finish(Legacy(), field);
  return true;
}

bool FieldScanner::Unseen(LongField& text, RawField& field) {
  end_unseen_ = true;
  text.Finish(Legacy(), field);
  return true;
}

bool FieldScanner::More() {
  // The text consumed goes: count the characters of its line first.
  lines_.At(stream_.Offset(), stream_.Rest().data());
  if (!stream_.More()) return false;
  Look();
  return true;
}

void FieldScanner::Look() {
  if (!stream_.Utf16()) verdict_.Look(stream_.Rest(), stream_.Offset());
}

bool FieldScanner::End() {
  ended_ = true;
  // Only where the file ends: a character left unfinished there is not
  // UTF-8. (One that a read failure cuts is not in the text at all.)
  if (stream_.Ended() && stream_.Rest().empty()) verdict_.End(stream_.Offset());
  return false;
}

}  // namespace tavrik
