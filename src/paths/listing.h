#pragma once

// A folder's names, found in any case as NTFS finds them.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

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

/// What a folder's listing says of one of its names.
struct Listed {
  enum class Kind : unsigned char { kUnknown, kFile, kFolder, kLink, kOther };
  Kind kind = Kind::kUnknown;
  std::uint64_t inode = 0;
};

/// The names of one folder, so that a name is found in any case in time
/// that does not grow with the folder: one hash, one short probe.
class Listing {
  using Names = std::unordered_multimap<std::string, Listed, NameKeyHash, NameKeyEqual>;

 public:
  /// The entries that match a name in any case, the name itself among them
  /// when it is there.
  struct Matches {
    Names::const_iterator first, last;
    Names::const_iterator begin() const { return first; }
    Names::const_iterator end() const { return last; }
    bool empty() const { return first == last; }
    bool one() const { return first != last && std::next(first) == last; }
    std::size_t size() const { return static_cast<std::size_t>(std::distance(first, last)); }
    /// The one spelled exactly `name`, or nullptr.
    const Listed* Find(std::string_view name) const;
  };

  void Insert(std::string_view name, Listed listed = {}) { names_.emplace(name, listed); }
  /// What was listed of the entry spelled exactly `name`; nothing when none is.
  std::optional<Listed> Remove(std::string_view name);
  Matches MatchesOf(std::string_view name) const {
    const auto [first, last] = names_.equal_range(name);
    return {first, last};
  }
  /// The entry spelled exactly `name`, or nullptr.
  const Listed* Find(std::string_view name) const { return MatchesOf(name).Find(name); }

 private:
  Names names_;
};

}  // namespace tavrik
