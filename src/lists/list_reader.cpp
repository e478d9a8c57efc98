#include "list_reader.h"

#include <utility>

namespace tavrik {

namespace {

constexpr char kEllipsis[] = "\u2026";

}  // namespace

ListReader::ListReader(LegacyDecoder legacy, const ListLimits& limits)
    : legacy_(std::move(legacy)), scanner_(limits) {}

void ListReader::Open(ByteSource& source) {
  Close();
  scanner_.Open(source);
}

void ListReader::Open(std::unique_ptr<ByteSource> source) {
  Close();
  owned_ = std::move(source);
  scanner_.Open(*owned_);
}

std::string ListReader::ReadField() {
  if (!Advance()) RaiseAtEnd();
  // A file that is not UTF-16 is UTF-8 when every byte read is.
  const bool legacy = !current_.ascii && scanner_.Legacy();
  std::string text = legacy ? Decoded(current_.text) : std::move(current_.text);
  if (current_.shortened) {
    text += kEllipsis;
    text += legacy ? Decoded(current_.end) : current_.end;
  }
  return text;
}

void ListReader::SkipField() {
  if (!Advance()) RaiseAtEnd();
}

bool ListReader::Advance() {
  while (ahead_.empty() || !Ready(ahead_.front())) {
    RawField field;
    if (concluded_ || !scanner_.Next(field)) {
      // Reading has ended: what was read decides the encoding.
      scanner_.Conclude();
      concluded_ = true;
      if (ahead_.empty()) return false;
      break;
    }
    if (ahead_.empty() && Ready(field)) {  // the common case: nothing waits
      Take(std::move(field));
      return true;
    }
    ahead_.push_back(std::move(field));
  }
  Take(std::move(ahead_.front()));
  ahead_.pop_front();
  return true;
}

void ListReader::Take(RawField&& field) {
  current_ = std::move(field);
  position_ = {current_.line, scanner_.Legacy() ? current_.column_bytes : current_.column_utf8};
}

bool ListReader::Ready(const RawField& field) const {
  // ASCII reads the same in every encoding; other text waits for the
  // decision, which a byte that is not UTF-8 makes at once.
  return field.ascii || concluded_ || scanner_.Legacy();
}

void ListReader::RaiseAtEnd() const {
  if (scanner_.Failure()) throw *scanner_.Failure();
  throw EndOfList();
}

std::string ListReader::Decoded(const std::string& bytes) const {
  return legacy_ ? legacy_(bytes) : DecodeWindows1252(bytes);
}

void ListReader::Close() noexcept {
  scanner_.Close();
  owned_.reset();
  ahead_.clear();
  current_ = RawField();
  position_ = FieldPosition();
  concluded_ = false;
}

}  // namespace tavrik
