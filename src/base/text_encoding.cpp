#include "text_encoding.h"

#include <array>

namespace tavrik {

namespace {

// Code points of 0x80..0x9F in Windows-1252; the rest of the upper half is
// Latin-1 and maps to itself.
constexpr std::array<char16_t, 32> kWindows1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

constexpr char32_t kReplacement = 0xFFFD;

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
    return;
  }
  const int tail = c < 0x800 ? 1 : c < 0x10000 ? 2 : 3;  // continuation bytes
  constexpr unsigned char kLead[] = {0, 0xC0, 0xE0, 0xF0};
  out += static_cast<char>(kLead[tail] | (c >> (6 * tail)));
  for (int shift = 6 * (tail - 1); shift >= 0; shift -= 6) {
    out += static_cast<char>(0x80 | ((c >> shift) & 0x3F));
  }
}

bool IsHighSurrogate(char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool IsLowSurrogate(char16_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

}  // namespace

std::size_t UnfinishedUtf8(std::string_view bytes) {
  for (std::size_t back = 1; back <= 3 && back <= bytes.size(); ++back) {
    const auto byte = static_cast<unsigned char>(bytes[bytes.size() - back]);
    if (IsUtf8Continuation(static_cast<char>(byte))) continue;  // look further back for the lead
    const std::size_t length = byte >= 0xF0 ? 4 : byte >= 0xE0 ? 3 : byte >= 0xC0 ? 2 : 1;
    return length > back ? back : 0;
  }
  return 0;
}

std::string DecodeWindows1252(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size() + bytes.size() / 8);
  for (const char ch : bytes) {
    const auto byte = static_cast<unsigned char>(ch);
    AppendUtf8(out, byte >= 0x80 && byte < 0xA0 ? kWindows1252High[byte - 0x80] : byte);
  }
  return out;
}

void Utf16Decoder::Append(std::string_view bytes, std::string& out) {
  std::size_t i = 0;
  const auto byte = [&bytes](std::size_t at) { return static_cast<unsigned char>(bytes[at]); };
  const auto unit = [this](unsigned first, unsigned second) {
    return static_cast<char16_t>(big_endian_ ? first << 8 | second : second << 8 | first);
  };
  if (odd_byte_ >= 0 && !bytes.empty()) {
    Unit(unit(static_cast<unsigned>(odd_byte_), byte(0)), out);
    odd_byte_ = -1;
    i = 1;
  }
  for (; i + 1 < bytes.size(); i += 2) Unit(unit(byte(i), byte(i + 1)), out);
  if (i < bytes.size()) odd_byte_ = byte(i);
}

void Utf16Decoder::Unit(char16_t unit, std::string& out) {
  if (high_ != 0 && IsLowSurrogate(unit)) {
    AppendUtf8(out, 0x10000 + ((high_ - 0xD800) << 10) + (unit - 0xDC00));
    high_ = 0;
    return;
  }
  if (high_ != 0) AppendUtf8(out, kReplacement);
  high_ = IsHighSurrogate(unit) ? unit : 0;
  if (high_ == 0) AppendUtf8(out, IsLowSurrogate(unit) ? kReplacement : unit);
}

bool Utf16Decoder::Finish(bool cut, std::string& out) {
  const bool whole_units = odd_byte_ < 0;
  if (high_ != 0 && whole_units && !cut) AppendUtf8(out, kReplacement);
  odd_byte_ = -1;
  high_ = 0;
  return whole_units;
}

}  // namespace tavrik
