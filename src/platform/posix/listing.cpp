// A folder's names by their keys, for finding names in any case.

#include "listing.h"

#include "name_key.h"

namespace tavrik {

namespace {

bool IsAscii(std::string_view name) {
  for (const char c : name) {
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  }
  return true;
}

// An ASCII letter's upper case, or 0 for a byte beyond ASCII.
unsigned char Folded(char c) {
  const auto byte = static_cast<unsigned char>(c);
  if (byte >= 0x80) return 0;
  return static_cast<unsigned>(byte - 'a') < 26u ? static_cast<unsigned char>(byte - 'a' + 'A')
                                                 : byte;
}

}  // namespace

std::size_t NameKeyHash::operator()(std::string_view name) const {
  std::size_t hash = 14695981039346656037ULL;  // FNV-1a over the key's bytes
  for (const char c : name) {
    const unsigned char byte = Folded(c);
    if (byte == 0) return std::hash<std::string>()(NameKey(name));
    hash = (hash ^ byte) * 1099511628211ULL;
  }
  return hash;
}

bool NameKeyEqual::operator()(std::string_view a, std::string_view b) const {
  if (a.size() != b.size()) {
    return !IsAscii(a) || !IsAscii(b) ? NameKey(a) == NameKey(b) : false;
  }
  for (std::size_t i = 0; i < a.size(); ++i) {
    const unsigned char x = Folded(a[i]), y = Folded(b[i]);
    if (x == 0 || y == 0) return NameKey(a) == NameKey(b);
    if (x != y) return false;
  }
  return true;
}

bool Listing::Remove(std::string_view name) {
  const auto [first, last] = names_.equal_range(name);
  for (auto entry = first; entry != last; ++entry) {
    if (*entry != name) continue;
    names_.erase(entry);
    return true;
  }
  return false;
}

}  // namespace tavrik
