#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tavrik {

/// `name` as NTFS compares it: every character below U+10000 through its
/// simple uppercase mapping, every other character as it is. Two names that
/// Windows takes for the same file have the same key ("Über" and "üBER";
/// not "ß" and "ẞ", nor the Kelvin sign and "k"). Bytes that are not
/// well-formed UTF-8 are kept as they are and only match themselves.
std::string NameKey(std::string_view name);

/// Hash and equality of names by their keys, so that containers can find
/// names in any case without keeping a key beside each name. ASCII names,
/// the common case, are compared without building their keys.
struct NameKeyHash {
  using is_transparent = void;
  // May throw (a name beyond ASCII builds its key), which also makes the
  // standard containers keep each hash rather than compute it again.
  std::size_t operator()(std::string_view name) const;
};
struct NameKeyEqual {
  using is_transparent = void;
  bool operator()(std::string_view a, std::string_view b) const;
};

}  // namespace tavrik
