#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace tavrik {

/// Whether a list file that is not UTF-16 is well-formed UTF-8 (no overlong
/// form, surrogate, code point above U+10FFFF or sequence cut short). It looks
/// at the text as it comes, ahead of what is consumed, but only the bytes
/// consumed count: a byte after where reading stops does not.
class Utf8Verdict {
 public:
  /// Looks at `text`, which starts at `offset`, from where it looked last.
  void Look(std::string_view text, std::uint64_t offset);
  /// The text ends at `offset`: a character left unfinished is not UTF-8.
  void End(std::uint64_t offset) {
    if (needed_ > 0 && invalid_at_ == kNever) invalid_at_ = offset - 1;
  }
  /// A byte before `offset` is not UTF-8: the file is legacy text.
  bool Legacy(std::uint64_t offset) const { return invalid_at_ < offset; }
  /// How many bytes from `start` on are UTF-8, as far as known.
  std::uint64_t Utf8Until(std::uint64_t start) const {
    return invalid_at_ <= start ? 0 : invalid_at_ - start;
  }

 private:
  static constexpr std::uint64_t kNever = UINT64_MAX;
  std::uint64_t checked_ = 0;  // looked at up to here
  std::uint64_t invalid_at_ = kNever;
  int needed_ = 0;                          // continuation bytes still to come
  unsigned char low_ = 0x80, high_ = 0xBF;  // the range of the next one
};

/// True when all of `bytes` is well-formed UTF-8.
bool IsValidUtf8(std::string_view bytes);

}  // namespace tavrik
