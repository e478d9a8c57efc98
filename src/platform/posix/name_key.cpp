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

// Up to eight bytes of `text` from `at` in one word, zeros past its end.
std::uint64_t Word(std::string_view text, std::size_t at) {
  std::uint64_t word = 0;
  if (text.size() - at >= 8) {
    std::memcpy(&word, text.data() + at, 8);
  } else {
    for (std::size_t i = at; i < text.size(); ++i) {
      word |= std::uint64_t{static_cast<unsigned char>(text[i])} << (8 * (i - at));
    }
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

// The hash of the key's bytes, a word at a time.
class KeyHash {
 public:
  explicit KeyHash(std::size_t length) : hash_(length * 0x9E3779B97F4A7C15ULL) {}
  void Add(std::uint64_t word) { hash_ = (hash_ ^ word) * 0xFF51AFD7ED558CCDULL; }
  std::size_t Value() const { return static_cast<std::size_t>(hash_ ^ (hash_ >> 32)); }

 private:
  std::uint64_t hash_;
};

std::size_t HashOfKey(std::string_view key) {
  KeyHash hash(key.size());
  for (std::size_t at = 0; at < key.size(); at += 8) hash.Add(Word(key, at));
  return hash.Value();
}

}  // namespace

std::size_t NameKeyHash::operator()(std::string_view name) const {
  // An ASCII name's key is the name in upper case: hash that without
  // building it.
  KeyHash hash(name.size());
  for (std::size_t at = 0; at < name.size(); at += 8) {
    const std::uint64_t word = Word(name, at);
    if ((word & kHighBits) != 0) return HashOfKey(NameKey(name));
    hash.Add(AsciiUpperWord(word));
  }
  return hash.Value();
}

bool NameKeyEqual::operator()(std::string_view a, std::string_view b) const {
  const std::size_t common = a.size() < b.size() ? a.size() : b.size();
  for (std::size_t at = 0; at < common; at += 8) {
    const std::uint64_t x = Word(a.substr(0, common), at), y = Word(b.substr(0, common), at);
    // Past an equal ASCII start, the rest decides; beyond ASCII, by keys.
    if (((x | y) & kHighBits) != 0) return NameKey(a.substr(at)) == NameKey(b.substr(at));
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
