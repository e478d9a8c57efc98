#include "listing.h"

#include <algorithm>

#include "name_key.h"

namespace tavrik {

void Listing::Insert(std::string_view name) { by_key_[NameKey(name)].emplace_back(name); }

bool Listing::Remove(std::string_view name) {
  const auto group = by_key_.find(NameKey(name));
  if (group == by_key_.end()) return false;
  std::vector<std::string>& names = group->second;
  const auto found = std::find(names.begin(), names.end(), name);
  if (found == names.end()) return false;
  names.erase(found);
  if (names.empty()) by_key_.erase(group);
  return true;
}

bool Listing::Contains(std::string_view name) const {
  const std::vector<std::string>& names = Matches(name);
  return std::find(names.begin(), names.end(), name) != names.end();
}

const std::vector<std::string>& Listing::Matches(std::string_view name) const {
  static const std::vector<std::string> kNone;
  const auto group = by_key_.find(NameKey(name));
  return group == by_key_.end() ? kNone : group->second;
}

}  // namespace tavrik
