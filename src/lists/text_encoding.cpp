#include "text_encoding.h"

#include <array>
#include <cstdint>
#include <cstring>

namespace tavrik {

namespace {

// Code points of 0x80..0x9F in Windows-1252; the rest of the upper half is
// Latin-1 and maps to itself.
constexpr std::array<char16_t, 32> kWindows1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

bool IsContinuation(unsigned char c) { return (c & 0xC0) == 0x80; }

// Length of the valid sequence at the start of `s` (which is not ASCII), or 0.
std::size_t ValidSequenceLength(const unsigned char* s, std::size_t left) {
  const unsigned char lead = s[0];
  if (lead >= 0xC2 && lead <= 0xDF) return left >= 2 && IsContinuation(s[1]) ? 2 : 0;
  if (lead >= 0xE0 && lead <= 0xEF) {
    if (left < 3 || !IsContinuation(s[1]) || !IsContinuation(s[2])) return 0;
    if (lead == 0xE0 && s[1] < 0xA0) return 0;   // overlong
    if (lead == 0xED && s[1] >= 0xA0) return 0;  // surrogate
    return 3;
  }
  if (lead >= 0xF0 && lead <= 0xF4) {
    if (left < 4 || !IsContinuation(s[1]) || !IsContinuation(s[2]) || !IsContinuation(s[3]))
      return 0;
    if (lead == 0xF0 && s[1] < 0x90) return 0;   // overlong
    if (lead == 0xF4 && s[1] >= 0x90) return 0;  // above U+10FFFF
    return 4;
  }
  return 0;
}

}  // namespace

bool IsValidUtf8(std::string_view bytes) {
  const auto* s = reinterpret_cast<const unsigned char*>(bytes.data());
  const std::size_t n = bytes.size();
  std::size_t i = 0;
  while (i < n) {
    // Lists are almost all ASCII: skip it eight bytes at a time.
    if (n - i >= 8) {
      std::uint64_t word;
      std::memcpy(&word, s + i, 8);
      if ((word & 0x8080808080808080ULL) == 0) {
        i += 8;
        continue;
      }
    }
    if (s[i] < 0x80) {
      ++i;
      continue;
    }
    const std::size_t length = ValidSequenceLength(s + i, n - i);
    if (length == 0) return false;
    i += length;
  }
  return true;
}

std::string DecodeWindows1252(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size() + bytes.size() / 8);
  for (const char ch : bytes) {
    const auto byte = static_cast<unsigned char>(ch);
    if (byte < 0x80) {
      out += ch;
    } else if (byte < 0xA0) {
      AppendUtf8(out, kWindows1252High[byte - 0x80]);
    } else {
      AppendUtf8(out, byte);
    }
  }
  return out;
}

std::string DecodeListText(std::string_view bytes, const LegacyDecoder& legacy) {
  if (IsValidUtf8(bytes)) {
    if (bytes.substr(0, kUtf8Bom.size()) == kUtf8Bom) bytes.remove_prefix(kUtf8Bom.size());
    return std::string(bytes);
  }
  return legacy ? legacy(bytes) : DecodeWindows1252(bytes);
}

}  // namespace tavrik
