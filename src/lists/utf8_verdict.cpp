#include "utf8_verdict.h"

#include <algorithm>
#include <cstring>

namespace tavrik {

namespace {

bool EightAscii(const char* bytes) {
  std::uint64_t word;
  std::memcpy(&word, bytes, 8);
  return (word & 0x8080808080808080ULL) == 0;
}

}  // namespace

void Utf8Verdict::Look(std::string_view text, std::uint64_t offset) {
  const std::uint64_t from = std::max(checked_, offset);
  if (invalid_at_ != kNever || from >= offset + text.size()) return;
  checked_ = offset + text.size();
  for (auto i = static_cast<std::size_t>(from - offset); i < text.size(); ++i) {
    // Lists are almost all ASCII: eight bytes of it pass at once.
    while (needed_ == 0 && i + 8 <= text.size() && EightAscii(text.data() + i)) i += 8;
    if (i == text.size()) return;
    const auto byte = static_cast<unsigned char>(text[i]);
    if (needed_ > 0 && byte >= low_ && byte <= high_) {
      --needed_;
      low_ = 0x80, high_ = 0xBF;
    } else if (needed_ == 0 && byte >= 0xC2 && byte <= 0xF4) {
      needed_ = byte >= 0xF0 ? 3 : byte >= 0xE0 ? 2 : 1;
      low_ = byte == 0xE0 ? 0xA0 : byte == 0xF0 ? 0x90 : 0x80;   // no overlong form
      high_ = byte == 0xED ? 0x9F : byte == 0xF4 ? 0x8F : 0xBF;  // no surrogate, none too high
    } else if (needed_ > 0 || byte >= 0x80) {
      invalid_at_ = offset + i;
      return;
    }
  }
}

bool IsValidUtf8(std::string_view bytes) {
  Utf8Verdict verdict;
  verdict.Look(bytes, 0);
  verdict.End(bytes.size());
  return !verdict.Legacy(bytes.size());
}

}  // namespace tavrik
