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
  RawField& field = *taken_;
  if (field.text.empty()) return std::string();
  // A file that is not UTF-16 is UTF-8 when every byte read is.
  const bool legacy = !field.ascii && scanner_.Legacy();
  if (field.end_at == RawField::kWhole) {
    return legacy ? Decoded(field.text) : std::move(field.text);
  }
  const std::string_view text = field.text;
  std::string shortened =
      legacy ? Decoded(text.substr(0, field.end_at)) : std::string(text.substr(0, field.end_at));
  shortened += kEllipsis;
  shortened += legacy ? Decoded(text.substr(field.end_at)) : text.substr(field.end_at);
  return shortened;
}

void ListReader::SkipField() {
  if (!Advance()) RaiseAtEnd();
}

bool ListReader::Advance() {
  if (next_ == end_) {  // nothing waits
    next_ = end_ = SlotCursor();
    if (concluded_) return false;
    if (!scanner_.Next(current_)) return Conclude();
    if (Ready(current_.ascii)) return Take(current_, false);  // the common case
    std::swap(SlotAt(end_), current_);
    Step(end_);
  }
  RawField& front = SlotAt(next_);
  while (!Ready(front.ascii)) {
    // Behind a waiting field the next one waits too: read it into its slot.
    if (!scanner_.Next(SlotAt(end_))) {
      Conclude();
      break;
    }
    Step(end_);
  }
  return Take(front, true);
}

bool ListReader::Conclude() {
  // Reading has ended: what was read decides the encoding.
  scanner_.Conclude();
  concluded_ = true;
  return false;
}

RawField& ListReader::SlotAt(SlotCursor& cursor) {
  if (cursor.at == nullptr) {
    if (cursor.block == slots_.size()) {
      slots_.push_back(std::make_unique<RawField[]>(kFirstSlots << cursor.block));
    }
    cursor.at = &slots_[cursor.block][cursor.slot];
  }
  return *cursor.at;
}

void ListReader::Step(SlotCursor& cursor) const {
  if (++cursor.slot == kFirstSlots << cursor.block) {
    ++cursor.block;
    cursor.slot = 0;
    cursor.at = nullptr;
  } else if (cursor.at != nullptr) {
    ++cursor.at;
  }
}

bool ListReader::Take(RawField& field, bool waited) {
  if (waited) Step(next_);
  taken_ = &field;
  position_ = {field.line,
               field.ascii || !scanner_.Legacy() ? field.column_utf8 : field.column_bytes};
  return true;
}

bool ListReader::Ready(bool ascii) const {
  // ASCII reads the same in every encoding; other text waits for the
  // decision, which a byte that is not UTF-8 makes at once.
  return ascii || concluded_ || scanner_.Legacy();
}

void ListReader::RaiseAtEnd() const {
  // A failure met while the last field that a walk can reach is finished
  // (after its closing quote) comes too late to matter.
  if (scanner_.Failure() && scanner_.Stop() == ReadingStop::kNone) throw *scanner_.Failure();
  throw EndOfList();
}

std::string ListReader::Decoded(std::string_view bytes) const {
  return legacy_ ? legacy_(bytes) : DecodeWindows1252(bytes);
}

void ListReader::Close() noexcept {
  scanner_.Close();
  owned_.reset();
  slots_.clear();
  slots_.shrink_to_fit();
  next_ = end_ = SlotCursor();
  current_ = RawField();
  taken_ = &current_;
  position_ = FieldPosition();
  concluded_ = false;
}

}  // namespace tavrik
