#pragma once

// A folder's names by their keys, for finding names in any case.

#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace tavrik {

/// The names of one folder by their keys (name_key.h), so that a name is
/// found in any case, as Windows finds it, in time that does not grow with
/// the folder: one key, one hash lookup.
class Listing {
 public:
  void Insert(std::string_view name);
  /// False when no entry is spelled exactly `name`.
  bool Remove(std::string_view name);
  bool Contains(std::string_view name) const;
  /// The entries that match `name` in any case, `name` itself among them
  /// when it is there.
  std::vector<std::string_view> Matches(std::string_view name) const;

 private:
  std::unordered_multimap<std::string, std::string> by_key_;  // key, name
};

}  // namespace tavrik
