#include "line_counter.h"

#include "text_encoding.h"

namespace tavrik {

Place LineCounter::At(std::uint64_t offset, const char* text) {
  if (offset > mark_) {
    const auto size = static_cast<std::size_t>(offset - mark_);
    for (const char* byte = text - size; byte != text; ++byte) {
      continuations_ += IsUtf8Continuation(*byte) ? 1 : 0;
    }
    bytes_ += size;
    mark_ = offset;
  }
  return {line_, bytes_ + 1, bytes_ - continuations_ + 1};
}

void LineCounter::Lines(std::string_view text, std::uint64_t offset) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' || text[i] == '\n') Break(text[i], offset + i);
  }
}

}  // namespace tavrik
