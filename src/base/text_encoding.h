#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

namespace tavrik {

/// The ellipsis that joins the two ends of a text too long to keep or show.
inline constexpr std::string_view kEllipsis = "\u2026";

/// Converts list-file bytes that are not UTF-8 into UTF-8 text. ASCII must
/// stay as it is (every Windows code page keeps it).
using LegacyDecoder = std::function<std::string(std::string_view bytes)>;

/// True for a byte that continues a UTF-8 character rather than starting one.
inline bool IsUtf8Continuation(char byte) {
  return (static_cast<unsigned char>(byte) & 0xC0) == 0x80;
}

/// The UTF-16 code units of the UTF-8 character that `byte` starts: two for
/// a four-byte character, none for a continuation byte.
inline std::size_t Utf16UnitsOf(char byte) {
  return IsUtf8Continuation(byte) ? 0 : static_cast<unsigned char>(byte) >= 0xF0 ? 2 : 1;
}

/// How many bytes at the end of `bytes` begin a UTF-8 character that they do
/// not finish.
std::size_t UnfinishedUtf8(std::string_view bytes);

/// Windows-1252 to UTF-8. The five bytes the code page leaves undefined map
/// to the C1 control characters of the same value, as Windows itself does.
std::string DecodeWindows1252(std::string_view bytes);

/// UTF-16 to UTF-8, a piece at a time as a file is read, in either byte
/// order. A surrogate without its partner becomes U+FFFD, as Windows itself
/// converts it.
class Utf16Decoder {
 public:
  explicit Utf16Decoder(bool big_endian) : big_endian_(big_endian) {}

  /// Appends the text of `bytes`, which continue the pieces before, to `out`.
  void Append(std::string_view bytes, std::string& out);
  /// The end of the text; false when it ends inside a code unit, which is
  /// dropped. A high surrogate left over becomes U+FFFD, unless the text was
  /// `cut` short: its partner may be what is missing.
  bool Finish(bool cut, std::string& out);

 private:
  void Unit(char16_t unit, std::string& out);

  bool big_endian_;
  int odd_byte_ = -1;  // the first byte of a unit split between pieces
  char16_t high_ = 0;  // a high surrogate waiting for its low one
};

}  // namespace tavrik
