// Uppercase mappings come from ICU: Qt Core already loads it on Linux, and it
// follows each Unicode release without a table of our own to keep.

#include "name_key.h"

#include <unicode/uchar.h>
#include <unicode/utf8.h>

#include <cstdint>
#include <cstring>
#include <limits>

namespace tavrik {

namespace {

char AsciiUpper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

// NTFS keeps one uppercase table for the 16-bit code units of UTF-16: a
// character beyond them (a surrogate pair) matches only itself.
UChar32 NtfsUpper(UChar32 character) {
  return character > 0xFFFF ? character : u_toupper(character);
}

constexpr std::uint64_t kHighBits = 0x8080808080808080ULL;
constexpr std::uint64_t kOnes = 0x0101010101010101ULL;

// The eight bytes at `bytes`.
std::uint64_t Word(const char* bytes) {
  std::uint64_t word;
  std::memcpy(&word, bytes, 8);
  return word;
}

// The `count` (< 8) bytes before `end`, zeros above them. When the text
// from `begin` holds eight bytes or more, they come in one load.
std::uint64_t Tail(const char* begin, const char* end, std::size_t count) {
  if (end - begin >= 8) return Word(end - 8) >> (8 * (8 - count));
  std::uint64_t word = 0;
  for (std::size_t i = 0; i < count; ++i) {
    word |= std::uint64_t{static_cast<unsigned char>(end[i - count])} << (8 * i);
  }
  return word;
}

// Eight ASCII bytes with a-z made A-Z, all at once: a byte's high bit is
// set by adding 0x1F when it is at least 'a', and by adding 5 when it is
// above 'z'; no ASCII byte carries into the next.
std::uint64_t AsciiUpperWord(std::uint64_t word) {
  const std::uint64_t at_least_a = word + kOnes * (0x80 - 'a');
  const std::uint64_t above_z = word + kOnes * (0x80 - 'z' - 1);
  return word - (((at_least_a & ~above_z) & kHighBits) >> 2);
}

// The hash of a key's bytes, a word at a time. With `upper` the text is an
// ASCII name, whose key is itself in upper case, mapped word by word; false
// when it is not ASCII after all.
bool HashWords(std::string_view text, bool upper, std::size_t& hash) {
  std::uint64_t state = text.size() * 0x9E3779B97F4A7C15ULL;
  std::uint64_t seen = 0;  // every byte's high bit, or-ed together
  const auto mix = [&](std::uint64_t word) {
    seen |= word;
    state = (state ^ (upper ? AsciiUpperWord(word) : word)) * 0xFF51AFD7ED558CCDULL;
  };
  const char* bytes = text.data();
  std::size_t left = text.size();
  for (; left >= 8; bytes += 8, left -= 8) mix(Word(bytes));
  if (left > 0) mix(Tail(text.data(), bytes + left, left));
  if (upper && (seen & kHighBits) != 0) return false;
  hash = static_cast<std::size_t>(state ^ (state >> 32));
  return true;
}

}  // namespace

std::size_t NameKeyHash::operator()(std::string_view name) const {
  std::size_t hash = 0;
  if (!HashWords(name, true, hash)) HashWords(NameKey(name), false, hash);
  return hash;
}

bool NameKeyEqual::operator()(std::string_view a, std::string_view b) const {
  const std::size_t common = a.size() < b.size() ? a.size() : b.size();
  for (std::size_t at = 0; at < common; at += 8) {
    const std::size_t count = common - at < 8 ? common - at : 8;
    const std::uint64_t x =
        count == 8 ? Word(a.data() + at) : Tail(a.data(), a.data() + common, count);
    const std::uint64_t y =
        count == 8 ? Word(b.data() + at) : Tail(b.data(), b.data() + common, count);
    if (x == y) continue;
    if (((x | y) & kHighBits) != 0) {
      // Past an equal start the rest decides, by keys from the first
      // character that the words do not share whole.
      std::size_t from = at;
      while (from > 0 && (static_cast<unsigned char>(a[from]) & 0xC0) == 0x80) --from;
      return NameKey(a.substr(from)) == NameKey(b.substr(from));
    }
    if (AsciiUpperWord(x) != AsciiUpperWord(y)) return false;
  }
  // One name goes on: every character has a key of at least one byte.
  return a.size() == b.size();
}

std::string NameKey(std::string_view name) {
  // ICU indexes with int32_t; no file name comes near that, so such a text
  // is left as it is rather than read past its end.
  if (name.size() > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())) {
    return std::string(name);
  }
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(name.data());
  const auto length = static_cast<std::int32_t>(name.size());
  // Most names are ASCII: map their ASCII start in one pass, without ICU.
  std::int32_t next = 0;
  while (next < length && bytes[next] < 0x80) ++next;
  std::string key(name.substr(0, next));
  for (char& c : key) c = AsciiUpper(c);
  if (next == length) return key;
  key.reserve(name.size());
  while (next < length) {
    if (bytes[next] < 0x80) {
      key += AsciiUpper(static_cast<char>(bytes[next++]));
      continue;
    }
    const std::int32_t start = next;
    UChar32 character;
    U8_NEXT(bytes, next, length, character);
    if (character < 0) {  // ill-formed: keep the bytes
      key.append(name.substr(start, next - start));
      continue;
    }
    // A mapped code point is valid and fits the buffer: no checks needed.
    std::uint8_t encoded[U8_MAX_LENGTH];
    std::int32_t size = 0;
    U8_APPEND_UNSAFE(encoded, size, NtfsUpper(character));
    key.append(reinterpret_cast<const char*>(encoded), size);
  }
  return key;
}

}  // namespace tavrik
