// A folder's names by their keys, for finding names in any case.

#include "listing.h"

#include "name_key.h"

namespace tavrik {

namespace {

bool IsAscii(std::string_view name) {
  return std::all_of(name.begin(), name.end(),
                     [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// A byte as an ASCII letter's key: its upper case.
unsigned char Folded(char c) {
  return static_cast<unsigned char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
}

// FNV-1a over `key`'s bytes, ASCII letters taken in upper case.
std::size_t FoldedHash(std::string_view key) {
  std::size_t hash = 14695981039346656037ULL;
  for (const char c : key) hash = (hash ^ Folded(c)) * 1099511628211ULL;
  return hash;
}

}  // namespace

// The hash of the name's key, however the key is made: an ASCII name's in
// place, any other's by NameKey, so that "f\u0131le", whose capital is
// "FILE", meets "file" in one bucket.
std::size_t NameKeyHash::operator()(std::string_view name) const {
  return IsAscii(name) ? FoldedHash(name) : FoldedHash(NameKey(name));
}

bool NameKeyEqual::operator()(std::string_view a, std::string_view b) const {
  if (!IsAscii(a) || !IsAscii(b)) return NameKey(a) == NameKey(b);
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                            [](char x, char y) { return Folded(x) == Folded(y); });
}

bool Listing::Remove(std::string_view name) {
  const auto [first, last] = names_.equal_range(name);
  const auto entry =
      std::find_if(first, last, [&](const auto& listed) { return listed.first == name; });
  if (entry == last) return false;
  names_.erase(entry);
  return true;
}

const Listed* Listing::Find(std::string_view name) const {
  for (const auto& [listed, what] : MatchesOf(name)) {
    if (listed == name) return &what;
  }
  return nullptr;
}

}  // namespace tavrik
