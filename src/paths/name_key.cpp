// The uppercase table is the one mkfs.ntfs writes on a new volume and
// ntfs-3g compares names with: libntfs-3g builds it, so that this rule and
// an NTFS volume mounted on Linux cannot drift apart.

#include "name_key.h"

#include <endian.h>

#include <array>
#include <cstdint>

// The library's own header needs most of its volume API included first.
extern "C" void ntfs_upcase_table_build(std::uint16_t* table, std::uint32_t bytes);

namespace tavrik {

namespace {

using Upcase = std::array<std::uint16_t, 0x10000>;

const Upcase& Table() {
  static const Upcase table = [] {
    Upcase built{};
    ntfs_upcase_table_build(built.data(), sizeof built);
    for (std::uint16_t& unit : built) unit = le16toh(unit);  // stored as on disk
    return built;
  }();
  return table;
}

bool Continues(unsigned char byte) { return (byte & 0xC0) == 0x80; }

// The character below U+10000 that `text` starts with in well-formed UTF-8,
// and its length; 0 for anything else, which is kept as it is.
std::size_t NextBmp(std::string_view text, char32_t& character) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(0);
  if (lead >= 0xC2 && lead <= 0xDF && text.size() >= 2 && Continues(byte(1))) {
    character = (lead & 0x1F) << 6 | (byte(1) & 0x3F);
    return 2;
  }
  if (lead < 0xE0 || lead > 0xEF || text.size() < 3 || !Continues(byte(1)) || !Continues(byte(2)))
    return 0;
  character = (lead & 0x0F) << 12 | (byte(1) & 0x3F) << 6 | (byte(2) & 0x3F);
  const bool overlong = character < 0x800, surrogate = character >= 0xD800 && character < 0xE000;
  return overlong || surrogate ? 0 : 3;
}

void AppendUtf8(char32_t character, std::string& out) {
  if (character < 0x80) {
    out += static_cast<char>(character);
    return;
  }
  if (character < 0x800) {
    out += static_cast<char>(0xC0 | character >> 6);
  } else {
    out += static_cast<char>(0xE0 | character >> 12);
    out += static_cast<char>(0x80 | (character >> 6 & 0x3F));
  }
  out += static_cast<char>(0x80 | (character & 0x3F));
}

}  // namespace

std::string NameKey(std::string_view name) {
  std::string key;
  key.reserve(name.size());
  for (std::size_t at = 0; at < name.size();) {
    const auto c = static_cast<unsigned char>(name[at]);
    char32_t character = 0;
    if (c < 0x80) {  // most names are ASCII
      key += static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
      ++at;
    } else if (const std::size_t length = NextBmp(name.substr(at), character)) {
      const char32_t upper = Table()[character];
      if (upper == character) {
        key.append(name.substr(at, length));
      } else {
        AppendUtf8(upper, key);
      }
      at += length;
    } else {  // beyond U+FFFF (a surrogate pair to NTFS), or not UTF-8: only itself
      key += name[at++];
    }
  }
  return key;
}

}  // namespace tavrik
