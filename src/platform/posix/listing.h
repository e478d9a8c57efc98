#pragma once

// A folder's names, found in any case as NTFS finds them.

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
  /// The entries that match a name in any case.
  class Matches {
   public:
    Matches(Names::const_iterator first, Names::const_iterator last) : first_(first), last_(last) {}
    Names::const_iterator begin() const { return first_; }
    Names::const_iterator end() const { return last_; }
    std::size_t size() const { return static_cast<std::size_t>(std::distance(first_, last_)); }
    bool Has(std::string_view name) const;  // spelled exactly so

   private:
    Names::const_iterator first_, last_;
  };

  void Insert(std::string_view name) { names_.emplace(name); }
  /// False when no entry is spelled exactly `name`.
  bool Remove(std::string_view name);
  bool Contains(std::string_view name) const { return MatchesOf(name).Has(name); }
  /// The entries that match `name` in any case, `name` itself among them
  /// when it is there.
  Matches MatchesOf(std::string_view name) const {
    const auto [first, last] = names_.equal_range(name);
    return {first, last};
  }

 private:
  Names names_;
};

}  // namespace tavrik
