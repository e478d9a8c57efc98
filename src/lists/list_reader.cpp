#include "list_reader.h"

#include <bit>
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
  if (field.text.empty() && !field.shortened) return std::string();
  // A file that is not UTF-16 is UTF-8 when every byte read is.
  const bool legacy = !field.ascii && scanner_.Legacy();
  if (!field.shortened) return legacy ? Decoded(field.text) : std::move(field.text);
  std::string text = legacy ? Decoded(field.text) : std::move(field.text);
  text += kEllipsis;
  text += legacy ? Decoded(field.end) : field.end;
  return text;
}

void ListReader::SkipField() {
  if (!Advance()) RaiseAtEnd();
}

bool ListReader::Advance() {
  RawField* front = nullptr;  // the first field that waits
  if (next_waiting_ < waiting_count_) {
    front = &Slot(next_waiting_);
    if (Ready(front->ascii)) return Take(*front);
  } else {
    next_waiting_ = waiting_count_ = 0;
  }
  while (!concluded_) {
    // Behind a waiting field the next one waits too: read it into its slot.
    RawField& field = front == nullptr ? current_ : Slot(waiting_count_);
    if (!scanner_.Next(field)) break;
    if (front == nullptr) {
      if (Ready(field.ascii)) return Take(field);  // the common case: nothing waits
      front = &Slot(0);
      std::swap(*front, current_);
    }
    ++waiting_count_;
    if (Ready(front->ascii)) return Take(*front);
  }
  // Reading has ended: what was read decides the encoding.
  scanner_.Conclude();
  concluded_ = true;
  return front != nullptr && Take(*front);
}

RawField& ListReader::Slot(std::size_t index) {
  // Block b holds kFirstSlots << b slots, from slot kFirstSlots * (2^b - 1) on.
  const std::size_t ordinal = index / kFirstSlots + 1;
  const std::size_t block = static_cast<std::size_t>(std::bit_width(ordinal)) - 1;
  if (block == slot_blocks_.size()) {
    slots_.push_back(std::make_unique<RawField[]>(kFirstSlots << block));
    slot_blocks_.push_back(slots_.back().get());
  }
  return slot_blocks_[block][index - kFirstSlots * ((std::size_t{1} << block) - 1)];
}

bool ListReader::Take(RawField& field) {
  if (&field != &current_) ++next_waiting_;
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

std::string ListReader::Decoded(const std::string& bytes) const {
  return legacy_ ? legacy_(bytes) : DecodeWindows1252(bytes);
}

void ListReader::Close() noexcept {
  scanner_.Close();
  owned_.reset();
  slot_blocks_.clear();
  slots_.clear();
  slots_.shrink_to_fit();
  next_waiting_ = waiting_count_ = 0;
  current_ = RawField();
  taken_ = &current_;
  position_ = FieldPosition();
  concluded_ = false;
}

}  // namespace tavrik
