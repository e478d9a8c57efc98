#pragma once

// A folder's names, found in any case as NTFS finds them.

#include <algorithm>
#include <cstddef>
#include <iterator>
#include <string>
#include <string_view>
#include <unordered_set>

namespace tavrik {

/// Hash and equality of names by their keys (name_key.h). ASCII names, the
/// common case, are compared and hashed without making their keys.
struct NameKeyHash {
  using is_transparent = void;
  std::size_t operator()(std::string_view name) const;
};
struct NameKeyEqual {
  using is_transparent = void;
  bool operator()(std::string_view a, std::string_view b) const;
};

/// The names of one folder, so that a name is found in any case in time
/// that does not grow with the folder: one hash, one short probe.
class Listing {
  using Names = std::unordered_multiset<std::string, NameKeyHash, NameKeyEqual>;

 public:
  /// The entries that match a name in any case, the name itself among them
  /// when it is there.
  struct Matches {
    Names::const_iterator first, last;
    Names::const_iterator begin() const { return first; }
    Names::const_iterator end() const { return last; }
    bool empty() const { return first == last; }
    bool one() const { return first != last && std::next(first) == last; }
  };

  void Insert(std::string_view name) { names_.emplace(name); }
  /// False when no entry is spelled exactly `name`.
  bool Remove(std::string_view name);
  Matches MatchesOf(std::string_view name) const {
    const auto [first, last] = names_.equal_range(name);
    return {first, last};
  }
  bool Contains(std::string_view name) const { return Has(MatchesOf(name), name); }
  static bool Has(const Matches& matches, std::string_view name) {
    return std::find(matches.begin(), matches.end(), name) != matches.end();
  }

 private:
  Names names_;
};

}  // namespace tavrik
