#include "long_field.h"

#include <algorithm>
#include <utility>

#include "text_encoding.h"

namespace tavrik {

namespace {

constexpr std::size_t kNone = std::string_view::npos;

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
  while (start < text.size() && IsUtf8Continuation(text[start])) ++start;  // no piece of one
  return start;
}

}  // namespace

std::size_t FieldEnd::Take(std::string_view piece) {
  if (too_long_) return Scan(piece);
  std::size_t first = piece.empty() ? kNone : 0;
  if (unquoted_) first = piece.find_first_not_of(" \t");
  if (first == kNone) {
    KeepBlanks(piece);
    return piece.size();
  }
  KeepBlanks(piece.substr(0, first));
  too_long_ = true;
  end_ = std::exchange(blanks_, {});
  return first + Scan(piece.substr(first));
}

std::string FieldEnd::Last(std::string_view beginning, bool legacy) {
  // A character that the end scan cut in two is not judged, nor kept.
  if (!legacy) end_.resize(end_.size() - UnfinishedUtf8(end_));
  // When the field is not that much longer than the limit, its last units
  // start in its beginning.
  const std::size_t borrowed = std::min(beginning.size(), 4 * limits_.kept_end + 4);
  end_.insert(0, beginning.substr(beginning.size() - borrowed));
  return end_.substr(LastUnits(end_, limits_.kept_end, legacy));
}

std::size_t FieldEnd::Scan(std::string_view piece) {
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

void FieldEnd::KeepBlanks(std::string_view blanks) {
  blanks_.append(blanks);
  if (blanks_.size() > limits_.kept_end) blanks_.erase(0, blanks_.size() - limits_.kept_end);
}

std::size_t LongField::Append(std::string_view piece, std::uint64_t utf8_until) {
  if (past_) return past_->Take(piece);
  const std::size_t before = text_.size();
  text_.append(piece);
  const std::size_t content = unquoted_ ? WithoutBlanksAtEnd(piece) : piece.size();
  if (content > 0) content_ = before + content;
  if (text_.size() <= limits_.field_length) return piece.size();  // bytes are at least units
  const std::size_t cut = Cut(utf8_until);
  if (cut == kNone) return piece.size();
  // The field is longer than the limit, or its blanks are: keep its
  // beginning, and look on for its end.
  const std::string past = text_.substr(cut);
  text_.resize(cut);
  content_ = std::min(content_, cut);
  past_.emplace(limits_, unquoted_);
  return piece.size() - past.size() + past_->Take(past);
}

void LongField::Finish(bool legacy, RawField& field) {
  if (!past_ || !past_->TooLong()) {
    text_.resize(content_);  // blanks at the end of an unquoted field are dropped
    field.text = std::move(text_);
    return;
  }
  const std::string last = past_->Last(text_, legacy);
  field.end_at = text_.size();
  field.text = std::move(text_);
  field.text += last;
}

// Counts the text's code units on; where they first pass the limit, or kNone.
std::size_t LongField::Cut(std::uint64_t utf8_until) {
  for (; counted_ < text_.size(); ++counted_) {
    units_ += counted_ < utf8_until ? Utf16UnitsOf(text_[counted_]) : 1;
    if (units_ > limits_.field_length) return counted_;
  }
  return kNone;
}

}  // namespace tavrik
