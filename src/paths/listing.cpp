// A folder's names by their keys, for finding names in any case.

#include "listing.h"

#include "name_key.h"

namespace tavrik {

namespace {

constexpr std::size_t kFnvOffset = 14695981039346656037ULL, kFnvPrime = 1099511628211ULL;

// A byte as an ASCII letter's key: its upper case.
unsigned char Folded(unsigned char c) {
  return static_cast<unsigned char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
}

std::size_t KeyHash(std::string_view key) {
  std::size_t hash = kFnvOffset;
  for (const char c : key) hash = (hash ^ static_cast<unsigned char>(c)) * kFnvPrime;
  return hash;
}

}  // namespace

// FNV-1a over the name's key. NTFS's table maps no letter into ASCII or out
// of it, so an ASCII name's key is made as it is hashed and compared, and
// any other's by NameKey.
std::size_t NameKeyHash::operator()(std::string_view name) const {
  std::size_t hash = kFnvOffset;
  for (const char c : name) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x80) return KeyHash(NameKey(name));
    hash = (hash ^ Folded(byte)) * kFnvPrime;
  }
  return hash;
}

bool NameKeyEqual::operator()(std::string_view a, std::string_view b) const {
  for (std::size_t i = 0; i < a.size() && i < b.size(); ++i) {
    const auto x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
    if ((x | y) >= 0x80) return NameKey(a) == NameKey(b);
    if (Folded(x) != Folded(y)) return false;
  }
  return a.size() == b.size();  // what one has beyond the other is more key
}

std::optional<Listed> Listing::Remove(std::string_view name) {
  const auto [first, last] = names_.equal_range(name);
  const auto entry =
      std::find_if(first, last, [&](const auto& listed) { return listed.first == name; });
  if (entry == last) return std::nullopt;
  const Listed removed = entry->second;
  names_.erase(entry);
  return removed;
}

const Listed* Listing::Matches::Find(std::string_view name) const {
  for (const auto& [listed, what] : *this) {
    if (listed == name) return &what;
  }
  return nullptr;
}

}  // namespace tavrik
