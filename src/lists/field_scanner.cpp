#include "field_scanner.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <utility>

namespace tavrik {

namespace {

constexpr std::size_t kNone = std::string_view::npos;

bool IsSpace(char c) { return c == ' ' || c == '\t'; }

// The high bit of each byte of `word` that may equal `byte`. Exact up to
// and including the first byte that does (the classic zero-byte test).
std::uint64_t ByteMatches(std::uint64_t word, unsigned char byte) {
  constexpr std::uint64_t kOnes = 0x0101010101010101ULL;
  const std::uint64_t cleared = word ^ (kOnes * byte);
  return (cleared - kOnes) & ~cleared & 0x8080808080808080ULL;
}

// The first comma or line end of the `size` bytes at `text`, or `size`.
std::size_t FindDelimiter(const char* text, std::size_t size) {
  std::size_t from = 0;
  // Paths are long and delimiters rare: look at eight bytes at a time. On a
  // little-endian machine the lowest match is the first delimiter.
  while (std::endian::native == std::endian::little && size - from >= 8) {
    std::uint64_t word;
    std::memcpy(&word, text + from, 8);
    const std::uint64_t matches =
        ByteMatches(word, ',') | ByteMatches(word, '\r') | ByteMatches(word, '\n');
    if (matches != 0) return from + static_cast<std::size_t>(std::countr_zero(matches)) / 8;
    from += 8;
  }
  while (from < size && text[from] != ',' && text[from] != '\r' && text[from] != '\n') ++from;
  return from;
}

std::size_t FindDelimiter(std::string_view text) { return FindDelimiter(text.data(), text.size()); }

// The length of `text` without its blanks at the end.
std::size_t WithoutBlanksAtEnd(std::string_view text) {
  std::size_t length = text.size();
  while (length > 0 && IsSpace(text[length - 1])) --length;
  return length;
}

std::size_t FirstNonBlank(std::string_view text) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (!IsSpace(text[i])) return i;
  }
  return kNone;
}

// Where the last `units` code units of `text` start, at a character
// boundary; in legacy text every byte is a character.
std::size_t LastUnits(std::string_view text, std::size_t units, bool legacy) {
  if (legacy) return text.size() > units ? text.size() - units : 0;
  std::size_t start = text.size(), counted = 0;
  while (start > 0) {
    std::size_t lead = start - 1;
    while (lead > 0 && start - lead < 4 && IsUtf8Continuation(text[lead])) --lead;
    counted += Utf16UnitsOf(text[lead]);
    if (counted > units) break;
    start = lead;
  }
  while (start < text.size() && IsUtf8Continuation(text[start]))
    ++start;  // no piece of a character
  return start;
}

}  // namespace

// The text of a field that does not come whole in one piece, or is long:
// kept whole while it is within the length limit; past it, its beginning,
// and its end as far as the end scan finds it.
class FieldScanner::LongText {
 public:
  LongText(RawField& field, const ListLimits& limits, bool unquoted)
      : field_(field), limits_(limits), unquoted_(unquoted) {
    field_.text.clear();
  }

  /// Takes the field's next `piece`. Its bytes from `utf8_until` on (counted
  /// from the field's start) follow a byte that is not UTF-8, and count one
  /// character each. Returns how much was taken: less than all when the end
  /// scan ends inside the piece.
  std::size_t Append(std::string_view piece, std::uint64_t utf8_until) {
    if (stage_ == Stage::kTooLong) return Scan(piece);
    if (stage_ == Stage::kBlanksPast) return PastLimit(piece);
    std::string& text = field_.text;
    const std::size_t before = text.size();
    text.append(piece);
    const std::size_t content = unquoted_ ? WithoutBlanksAtEnd(piece) : piece.size();
    if (content > 0) content_ = before + content;
    if (text.size() <= limits_.field_length) return piece.size();  // bytes are at least units
    const std::size_t cut = Cut(utf8_until);
    if (cut == kNone) return piece.size();
    // The field is longer than the limit, or its blanks are: keep its
    // beginning, and look on for its end.
    const std::string past = text.substr(cut);
    text.resize(cut);
    content_ = std::min(content_, cut);
    stage_ = Stage::kBlanksPast;
    return piece.size() - past.size() + PastLimit(past);
  }

  /// The field ends here; `legacy` says how its end is counted.
  void Finish(bool legacy) {
    if (stage_ != Stage::kTooLong) {
      field_.text.resize(content_);  // blanks at the end of an unquoted field are dropped
      return;
    }
    // A character that the end scan cut in two is not judged, nor kept.
    if (!legacy) end_.resize(end_.size() - UnfinishedUtf8(end_));
    // Its last kept_end units: from its beginning too, when the field is
    // not that much longer than the limit.
    std::string& text = field_.text;
    const std::size_t borrowed = std::min(text.size(), 4 * limits_.kept_end + 4);
    end_.insert(0, text, text.size() - borrowed, borrowed);
    field_.end_at = text.size();
    text.append(end_, LastUnits(end_, limits_.kept_end, legacy));
  }

 private:
  enum class Stage { kWhole, kBlanksPast, kTooLong };

  // Past the beginning kept: blanks only count, until a character shows the
  // field itself is too long.
  std::size_t PastLimit(std::string_view piece) {
    const std::size_t first = unquoted_ ? FirstNonBlank(piece) : (piece.empty() ? kNone : 0);
    if (first == kNone) {
      KeepBlanks(piece);
      return piece.size();
    }
    KeepBlanks(piece.substr(0, first));
    stage_ = Stage::kTooLong;
    end_ = std::exchange(blanks_, {});
    return first + Scan(piece.substr(first));
  }

  // Looks on for the end of a field that is too long, keeping its last
  // characters.
  std::size_t Scan(std::string_view piece) {
    const std::size_t taken = std::min(piece.size(), limits_.end_scan - scanned_);
    scanned_ += taken;
    piece = piece.substr(0, taken);
    const std::size_t content = unquoted_ ? WithoutBlanksAtEnd(piece) : piece.size();
    if (content > 0) {
      end_ += blanks_;
      blanks_.clear();
      end_.append(piece.substr(0, content));
      const std::size_t kept = 4 * limits_.kept_end + 4;  // at least kept_end units
      if (end_.size() > 2 * kept) end_.erase(0, end_.size() - kept);
    }
    KeepBlanks(piece.substr(content));
    return taken;
  }

  void KeepBlanks(std::string_view blanks) {
    blanks_.append(blanks);
    if (blanks_.size() > limits_.kept_end) blanks_.erase(0, blanks_.size() - limits_.kept_end);
  }

  // Counts the text's code units on; where they first pass the limit, or
  // kNone.
  std::size_t Cut(std::uint64_t utf8_until) {
    const std::string& text = field_.text;
    for (; counted_ < text.size(); ++counted_) {
      units_ += counted_ < utf8_until ? Utf16UnitsOf(text[counted_]) : 1;
      if (units_ > limits_.field_length) return counted_;
    }
    return kNone;
  }

  RawField& field_;
  const ListLimits& limits_;
  const bool unquoted_;  // blanks at its end are dropped
  Stage stage_ = Stage::kWhole;
  std::size_t content_ = 0;              // bytes of the text up to its last non-blank
  std::size_t counted_ = 0, units_ = 0;  // code units of the first counted_ bytes
  std::string end_;                      // its end as far as seen, past the limit
  std::string blanks_;                   // the last blanks past the last non-blank
  std::size_t scanned_ = 0;              // bytes looked through for the end
};

void FieldScanner::Open(ByteSource& source) {
  Close();
  stream_.Open(source);
  checked_ = line_mark_ = stream_.Offset();
  CheckTo(stream_.Offset() + stream_.Rest().size());
  ended_ = false;
}

void FieldScanner::Close() noexcept {
  stream_.Close();
  check_ = Utf8Check();
  checked_ = 0;
  invalid_at_ = non_ascii_at_ = kNever;
  line_ = 1;
  line_mark_ = 0;
  line_bytes_ = line_continuations_ = 0;
  after_cr_ = false;
  blank_lines_ = blank_next_ = 0;
  blank_places_.clear();
  blank_places_.shrink_to_fit();
  blank_place_next_ = 0;
  fields_ = 0;
  stop_after_ = 0;
  end_unseen_ = false;
  ended_ = true;
  stop_ = ReadingStop::kNone;
}

bool FieldScanner::Next(RawField& field) {
  if (ended_) return false;
  // The common case first: an unquoted field, whole in what was read.
  const std::string_view rest = stream_.Rest();
  if (blank_lines_ == 0 && !rest.empty()) {
    const char first = *rest.data();
    if (first != ' ' && first != '\t' && first != '\r' && first != '\n' && first != '"') {
      after_cr_ = false;
      const Place place = PlaceAt(stream_.Offset(), rest.data());
      if (WholeUnquoted(field, rest)) return Produced(field, place);
    }
  }
  return NextField(field);
}

bool FieldScanner::NextField(RawField& field) {
  if (blank_lines_ != 0) {
    if (blank_next_ < blank_lines_) return Blank(field);
    blank_lines_ = blank_next_ = 0;
    blank_places_.clear();
    blank_place_next_ = 0;
  }
  std::string_view rest = stream_.Rest();
  const char next = rest.empty() ? ' ' : *rest.data();
  if (next == ' ' || next == '\t' || next == '\r' || next == '\n') {
    if (!SkipBlanks()) {
      Conclude();  // blank lines at the end of the file yield no fields
      return false;
    }
    if (blank_lines_ != 0) return Blank(field);
    rest = stream_.Rest();
  }
  after_cr_ = false;
  return Field(field, rest);
}

void FieldScanner::Conclude() {
  if (ended_) return;
  ended_ = true;
  Judge();
}

bool FieldScanner::More() {
  // The text consumed goes: count the characters of its line first.
  PlaceAt(stream_.Offset());
  if (!stream_.More()) return false;
  CheckTo(stream_.Offset() + stream_.Rest().size());
  return true;
}

bool FieldScanner::SkipBlanks() {
  while (true) {
    const std::string_view rest = stream_.Rest();
    for (std::size_t i = 0; i < rest.size(); ++i) {
      const char c = rest[i];
      if (IsSpace(c)) {
        after_cr_ = false;
        continue;
      }
      if (c != '\r' && c != '\n') {
        stream_.Consume(i);
        after_cr_ = false;
        return true;
      }
      const std::uint64_t at = stream_.Offset() + i;
      if (c == '\n' && after_cr_) {  // the rest of a CR LF
        after_cr_ = false;
        line_mark_ = at + 1;
        continue;
      }
      // A blank line: an empty field, once text follows. Counted; the place
      // is kept only where it is not the line's start.
      if (blank_lines_ == 0) blank_line_ = line_;
      const Place place = PlaceAt(at);
      if (place.column_bytes != 1 && blank_lines_ < limits_.fields) {
        blank_places_.emplace_back(blank_lines_, place);
      }
      ++blank_lines_;
      NewLine(at + 1);
      after_cr_ = c == '\r';
    }
    stream_.Consume(rest.size());
    if (!More()) return false;
  }
}

bool FieldScanner::Blank(RawField& field) {
  Place place{blank_line_ + static_cast<std::size_t>(blank_next_), 1, 1};
  if (blank_place_next_ < blank_places_.size() &&
      blank_places_[blank_place_next_].first == blank_next_) {
    place = blank_places_[blank_place_next_++].second;
  }
  ++blank_next_;
  field.text.clear();
  field.end_at = RawField::kWhole;
  return Produced(field, place);
}

bool FieldScanner::Field(RawField& field, std::string_view rest) {
  const Place place = PlaceAt(stream_.Offset(), rest.data());
  field.end_at = RawField::kWhole;
  const bool whole = *rest.data() == '"' ? Quoted(field, rest) : Unquoted(field, rest);
  if (!whole) {
    Conclude();  // cut short where the text ends: not used
    return false;
  }
  return Produced(field, place);
}

bool FieldScanner::WholeUnquoted(RawField& field, std::string_view rest) {
  const char* text = rest.data();
  const std::size_t end = FindDelimiter(text, rest.size());
  if (end == rest.size() || end > limits_.field_length) return false;
  field.end_at = RawField::kWhole;
  std::size_t length = end;
  while (length > 0 && IsSpace(text[length - 1])) --length;
  if (length == 0) {
    if (!field.text.empty()) field.text.clear();
  } else {
    field.text.assign(text, length);
  }
  EndDelimiter(rest, end);
  return true;
}

bool FieldScanner::Unquoted(RawField& field, std::string_view rest) {
  if (WholeUnquoted(field, rest)) return true;
  std::size_t end = FindDelimiter(rest);
  const std::uint64_t start = stream_.Offset();
  LongText text(field, limits_, true);
  while (true) {
    const std::string_view piece = rest.substr(0, end);
    const std::size_t taken = text.Append(piece, Utf8Until(start));
    if (taken < piece.size()) {
      stream_.Consume(taken);
      return EndUnseen(text);
    }
    if (end < rest.size()) {
      EndDelimiter(rest, end);
      text.Finish(Legacy());
      return true;
    }
    stream_.Consume(end);
    if (!More()) {
      if (stream_.Cut()) return false;  // it may be cut short
      Judge();
      text.Finish(Legacy());
      return true;
    }
    rest = stream_.Rest();
    end = FindDelimiter(rest);
  }
}

bool FieldScanner::Quoted(RawField& field, std::string_view rest) {
  stream_.Consume(1);  // the opening quote
  rest.remove_prefix(1);
  std::size_t close = rest.find('"');
  if (close != kNone && close <= limits_.field_length) {
    field.text.assign(rest.data(), close);
    Lines(rest.substr(0, close));
    stream_.Consume(close + 1);
    after_cr_ = false;
    SkipAfterQuote();
    return true;
  }
  const std::uint64_t start = stream_.Offset();
  LongText text(field, limits_, false);
  while (true) {
    const std::string_view piece = rest.substr(0, close);
    const std::size_t taken = text.Append(piece, Utf8Until(start));
    Lines(piece.substr(0, taken));
    stream_.Consume(taken);
    if (taken < piece.size()) return EndUnseen(text);
    if (close != kNone) {
      stream_.Consume(1);
      after_cr_ = false;
      text.Finish(Legacy());
      SkipAfterQuote();
      return true;
    }
    if (!More()) {
      if (stream_.Cut()) return false;
      Judge();
      text.Finish(Legacy());  // the file ends inside the quotes: the field is what was read
      return true;
    }
    rest = stream_.Rest();
    close = rest.find('"');
  }
}

bool FieldScanner::EndUnseen(LongText& text) {
  // Its end is not within the scan: the next field cannot be found.
  end_unseen_ = true;
  text.Finish(Legacy());
  return true;
}

void FieldScanner::SkipAfterQuote() {
  // Characters between the closing quote and the delimiter are dropped.
  // Blanks there are read to their end; others only as far as the end scan.
  std::size_t others = 0;
  while (true) {
    const std::string_view rest = stream_.Rest();
    for (std::size_t i = 0; i < rest.size(); ++i) {
      const char c = rest[i];
      if (c == ',' || c == '\r' || c == '\n') {
        EndDelimiter(rest, i);
        return;
      }
      if (!IsSpace(c) && ++others > limits_.end_scan) {
        stream_.Consume(i);
        end_unseen_ = true;
        return;
      }
    }
    stream_.Consume(rest.size());
    if (!More()) return;  // its closing quote was read: the field is whole
  }
}

bool FieldScanner::Produced(RawField& field, const Place& place) {
  field.ascii = non_ascii_at_ >= stream_.Offset();
  field.line = place.line;
  field.column_bytes = place.column_bytes;
  field.column_utf8 = place.column_utf8;
  ++fields_;
  // No walk passes the pair of a field too long for any path.
  if (field.end_at != RawField::kWhole && stop_after_ == 0)
    stop_after_ = fields_ % 2 == 1 ? fields_ + 1 : fields_;
  if (end_unseen_) stop_after_ = fields_;
  if (fields_ >= limits_.fields) {
    stop_ = ReadingStop::kFieldCount;
    Conclude();
  } else if (fields_ == stop_after_) {
    stop_ = ReadingStop::kLongField;
    Conclude();
  }
  return true;
}

void FieldScanner::EndDelimiter(std::string_view rest, std::size_t at) {
  const char* text = rest.data();
  std::size_t used = at + 1;
  after_cr_ = false;
  if (text[at] != ',') {
    if (text[at] == '\r') {
      if (used < rest.size() && text[used] == '\n') {
        ++used;  // CR LF is one line end
      } else {
        after_cr_ = true;  // its LF may be in the next piece
      }
    }
    NewLine(stream_.Offset() + used);
  }
  stream_.Consume(used);
}

void FieldScanner::Lines(std::string_view text) {
  const std::uint64_t offset = stream_.Offset();
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\n' && after_cr_) {
      line_mark_ = offset + i + 1;
      after_cr_ = false;
      continue;
    }
    after_cr_ = c == '\r';
    if (c == '\r' || c == '\n') NewLine(offset + i + 1);
  }
}

void FieldScanner::NewLine(std::uint64_t next) {
  ++line_;
  line_mark_ = next;
  line_bytes_ = line_continuations_ = 0;
}

FieldScanner::Place FieldScanner::PlaceAt(std::uint64_t offset, const char* at) {
  if (offset > line_mark_) {
    const std::size_t size = static_cast<std::size_t>(offset - line_mark_);
    const char* text = (at != nullptr ? at : stream_.Window(offset, offset).data()) - size;
    for (std::size_t i = 0; i < size; ++i) {
      line_continuations_ += (static_cast<unsigned char>(text[i]) & 0xC0) == 0x80 ? 1 : 0;
    }
    line_bytes_ += size;
    line_mark_ = offset;
  }
  return {line_, line_bytes_ + 1, line_bytes_ - line_continuations_ + 1};
}

void FieldScanner::CheckTo(std::uint64_t offset) {
  if (offset <= checked_) return;
  if (!stream_.Utf16() && invalid_at_ == kNever) {
    const std::string_view text = stream_.Window(checked_, offset);
    const bool ascii = check_.state() == Utf8Check::State::kAscii;
    const std::size_t at = check_.Add(text);
    if (at != kNone) invalid_at_ = checked_ + at;
    if (ascii && check_.state() != Utf8Check::State::kAscii) {
      std::size_t other = 0;
      while (static_cast<unsigned char>(text[other]) < 0x80) ++other;
      non_ascii_at_ = checked_ + other;
    }
  }
  checked_ = offset;
}

void FieldScanner::Judge() {
  // Only where the file ends: a character left unfinished there is not
  // UTF-8. (One that a read failure cuts is not in the text at all; where
  // reading stops early, what follows is not judged.)
  if (stream_.Utf16() || invalid_at_ != kNever || !stream_.Ended() || !stream_.Rest().empty()) {
    return;
  }
  check_.End(false);
  if (check_.state() == Utf8Check::State::kInvalid) invalid_at_ = stream_.Offset() - 1;
}

std::uint64_t FieldScanner::Utf8Until(std::uint64_t field_start) const {
  return invalid_at_ <= field_start ? 0 : invalid_at_ - field_start;
}

}  // namespace tavrik
