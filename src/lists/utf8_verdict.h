#pragma once

#include <algorithm>
#include <cstdint>
#include <string_view>

#include "text_encoding.h"

namespace tavrik {

/// Whether a list file that is not UTF-16 is UTF-8, judged on the bytes
/// read: the text is looked at as it comes, ahead of what is consumed, but
/// only bytes consumed count, so a byte after where reading stops does not.
class Utf8Verdict {
 public:
  /// Looks at `text`, which starts at `offset`, from where it looked last.
  void Look(std::string_view text, std::uint64_t offset) {
    const std::uint64_t from = std::max(checked_, offset);
    if (invalid_at_ != kNever || from >= offset + text.size()) return;
    const std::size_t at = check_.Add(text.substr(static_cast<std::size_t>(from - offset)));
    if (at != std::string_view::npos) invalid_at_ = from + at;
    checked_ = offset + text.size();
  }
  /// The text ends at `offset`: a character left unfinished there is not
  /// UTF-8.
  void End(std::uint64_t offset) {
    check_.End(false);
    if (check_.state() == Utf8Check::State::kInvalid && invalid_at_ == kNever) {
      invalid_at_ = offset - 1;
    }
  }
  /// A byte before `offset` is not UTF-8: the file is legacy text.
  bool Legacy(std::uint64_t offset) const { return invalid_at_ < offset; }
  /// How many bytes from `start` on are UTF-8, as far as judged.
  std::uint64_t Utf8Until(std::uint64_t start) const {
    return invalid_at_ <= start ? 0 : invalid_at_ - start;
  }

 private:
  static constexpr std::uint64_t kNever = UINT64_MAX;
  Utf8Check check_;
  std::uint64_t checked_ = 0;  // looked at up to here
  std::uint64_t invalid_at_ = kNever;
};

}  // namespace tavrik
