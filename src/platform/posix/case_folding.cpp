// Case folding comes from ICU: Qt Core already loads it on Linux, and it
// follows each Unicode release without a table of our own to keep.

#include "case_folding.h"

#include <unicode/uchar.h>
#include <unicode/utf8.h>

#include <cstdint>
#include <limits>

namespace tavrik {

std::string FoldCase(std::string_view name) {
  // ICU indexes with int32_t; no file name comes near that, so such a text
  // is left unfolded rather than read past its end.
  if (name.size() > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())) {
    return std::string(name);
  }
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(name.data());
  const auto length = static_cast<std::int32_t>(name.size());
  // Most names are ASCII: fold their ASCII start in one pass, without ICU.
  std::int32_t next = 0;
  while (next < length && bytes[next] < 0x80) ++next;
  std::string folded(name.substr(0, next));
  for (char& c : folded) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  if (next == length) return folded;
  folded.reserve(name.size());
  while (next < length) {
    if (bytes[next] < 0x80) {
      const char c = static_cast<char>(bytes[next++]);
      folded += (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
      continue;
    }
    const std::int32_t start = next;
    UChar32 character;
    U8_NEXT(bytes, next, length, character);
    if (character < 0) {  // ill-formed: keep the bytes
      folded.append(name.substr(start, next - start));
      continue;
    }
    // A folded code point is valid and fits the buffer: no checks needed.
    std::uint8_t encoded[U8_MAX_LENGTH];
    std::int32_t size = 0;
    U8_APPEND_UNSAFE(encoded, size, u_foldCase(character, U_FOLD_CASE_DEFAULT));
    folded.append(reinterpret_cast<const char*>(encoded), size);
  }
  return folded;
}

}  // namespace tavrik
