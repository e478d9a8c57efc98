// A folder's names by their keys, for finding names in any case.

#include "listing.h"

#include "name_key.h"

namespace tavrik {

void Listing::Insert(std::string_view name) { by_key_.emplace(NameKey(name), name); }

bool Listing::Remove(std::string_view name) {
  const auto [first, last] = by_key_.equal_range(NameKey(name));
  for (auto entry = first; entry != last; ++entry) {
    if (entry->second != name) continue;
    by_key_.erase(entry);
    return true;
  }
  return false;
}

bool Listing::Contains(std::string_view name) const {
  const auto [first, last] = by_key_.equal_range(NameKey(name));
  for (auto entry = first; entry != last; ++entry) {
    if (entry->second == name) return true;
  }
  return false;
}

std::vector<std::string_view> Listing::Matches(std::string_view name) const {
  std::vector<std::string_view> matches;
  const auto [first, last] = by_key_.equal_range(NameKey(name));
  for (auto entry = first; entry != last; ++entry) matches.push_back(entry->second);
  return matches;
}

}  // namespace tavrik
