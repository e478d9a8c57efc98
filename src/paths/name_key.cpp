// Uppercase mappings come from ICU: Qt Core already loads it on Linux, and it
// follows each Unicode release without a table of our own to keep.

#include "name_key.h"

#include <unicode/uchar.h>
#include <unicode/utf8.h>

#include <cstdint>
#include <limits>

namespace tavrik {

namespace {

// NTFS keeps one uppercase table for the 16-bit code units of UTF-16: a
// character beyond them (a surrogate pair) matches only itself.
UChar32 NtfsUpper(UChar32 character) {
  return character > 0xFFFF ? character : u_toupper(character);
}

}  // namespace

std::string NameKey(std::string_view name) {
  // Most names are ASCII: they are mapped in place.
  std::string key(name);
  char* const text = key.data();
  const std::size_t size = key.size();
  std::size_t next = 0;
  for (; next < size; ++next) {
    const auto c = static_cast<unsigned char>(text[next]);
    if (c >= 0x80) break;
    if (static_cast<unsigned>(c - 'a') < 26u) text[next] = static_cast<char>(c - 'a' + 'A');
  }
  if (next == size) return key;
  // ICU indexes with int32_t; no file name comes near that, so such a text
  // is left as it is rather than read past its end.
  if (name.size() > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())) {
    return std::string(name);
  }
  key.resize(next);
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(name.data());
  const auto length = static_cast<std::int32_t>(name.size());
  for (auto at = static_cast<std::int32_t>(next); at < length;) {
    const std::int32_t start = at;
    UChar32 character;
    U8_NEXT(bytes, at, length, character);
    if (character < 0) {  // ill-formed: keep the bytes
      key.append(name.substr(start, at - start));
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
