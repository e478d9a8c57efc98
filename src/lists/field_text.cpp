#include "field_text.h"

#include <algorithm>
#include <utility>

#include "text_encoding.h"

namespace tavrik {

namespace {

constexpr std::size_t kNone = std::string_view::npos;

// Where the last `units` code units of `text` start, at a character
// boundary; in legacy text every byte is a character.
std::size_t LastUnits(std::string_view text, std::size_t units, bool legacy) {
  if (legacy) return text.size() - std::min(units, text.size());
  std::size_t start = text.size(), counted = 0;
  while (start > 0 && (counted += Utf16UnitsOf(text[start - 1])) <= units) --start;
  while (start < text.size() && IsUtf8Continuation(text[start])) ++start;  // no piece of one
  return start;
}

}  // namespace

std::size_t FieldEnd::Take(std::string_view piece) {
  std::size_t first = 0;
  if (!too_long_) {
    // Blanks only count, until a character shows the field itself is too long.
    if (unquoted_) first = std::min(piece.find_first_not_of(" \t"), piece.size());
    KeepBlanks(piece.substr(0, first));
    if (first == piece.size()) return first;
    too_long_ = true;
  }
  piece = piece.substr(first, limits_.end_scan - scanned_);
  scanned_ += piece.size();
  const std::size_t content = unquoted_ ? WithoutBlanksAtEnd(piece) : piece.size();
  if (content > 0) trailing_ = 0;
  end_.append(piece.substr(0, content));
  KeepBlanks(piece.substr(content));
  const std::size_t kept = 4 * limits_.kept_end + 4;  // at least kept_end units
  if (end_.size() > 2 * kept) end_.erase(0, end_.size() - kept);
  return first + piece.size();
}

std::string FieldEnd::Last(std::string_view beginning, bool legacy) {
  end_.resize(end_.size() - trailing_);  // blanks at the end of an unquoted field go
  // A character that the end scan cut in two is not judged, nor kept.
  if (!legacy) end_.resize(end_.size() - UnfinishedUtf8(end_));
  // When the field is not that much longer than the limit, its last units
  // start in its beginning.
  const std::size_t borrowed = std::min(beginning.size(), 4 * limits_.kept_end + 4);
  end_.insert(0, beginning.substr(beginning.size() - borrowed));
  return end_.substr(LastUnits(end_, limits_.kept_end, legacy));
}

// Text after blanks shows only its last kept_end units: no more of them
// need be kept.
void FieldEnd::KeepBlanks(std::string_view blanks) {
  blanks.remove_prefix(blanks.size() - std::min(blanks.size(), limits_.kept_end));
  end_.append(blanks);
  trailing_ += blanks.size();
  if (trailing_ > limits_.kept_end) {
    end_.erase(end_.size() - trailing_, trailing_ - limits_.kept_end);
    trailing_ = limits_.kept_end;
  }
}

std::size_t FieldText::Append(std::string_view piece, std::uint64_t utf8_until) {
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

std::size_t FieldText::Finish(bool legacy, std::string& text) {
  const bool too_long = past_ && past_->TooLong();
  if (!too_long) text_.resize(content_);  // blanks at the end of an unquoted field go
  const std::string last = too_long ? past_->Last(text_, legacy) : std::string();
  text = std::move(text_);
  const std::size_t end_at = text.size();
  text += last;
  return too_long ? end_at : std::string::npos;
}

// Counts the text's code units on; where they first pass the limit, or kNone.
std::size_t FieldText::Cut(std::uint64_t utf8_until) {
  for (; counted_ < text_.size(); ++counted_) {
    units_ += counted_ < utf8_until ? Utf16UnitsOf(text_[counted_]) : 1;
    if (units_ > limits_.field_length) return counted_;
  }
  return kNone;
}

}  // namespace tavrik
