#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "error_condition.h"

namespace tavrik {

/// The entries of one folder, found by their names' keys (name_key.h), as
/// Windows would find them.
///
/// One slot of an open-addressing table per key, and the names that share
/// it (entries that differ only in case) chained behind it: a lookup costs
/// one hash and a short probe, whatever the names, and a folder of
/// thousands of case variants is one slot with a long chain that only
/// lookups of that key walk.
class Listing {
 public:
  /// Room for about `expected` names before the table grows.
  explicit Listing(std::size_t expected = 0);

  /// Adds a name known not to be listed: one read from the folder, or one
  /// that a rename which replaces nothing has just made there.
  void Insert(std::string_view name);
  void Remove(std::string_view name);

  /// The entry that `name` means: the entry spelled so, else the one entry
  /// that matches it in another case, and failing both the same for `name`
  /// without its trailing dots and spaces. Throws Error (ENOTUNIQ) naming
  /// candidates, in `folder`, when several entries match only in another
  /// case.
  /// The name returned lives as long as `name` and this listing do.
  std::optional<std::string_view> Resolve(std::string_view name, const std::string& folder) const;

  /// True when an entry is spelled exactly `name`.
  bool Contains(std::string_view name) const;
  /// An entry other than `except` whose name matches `name` in any case,
  /// `name` itself first; empty when there is none.
  std::string_view Taken(std::string_view name, std::string_view except) const;

 private:
  static constexpr std::uint32_t kNone = UINT32_MAX;
  static constexpr std::uint32_t kRemoved = UINT32_MAX - 1;

  struct Slot {
    std::size_t hash = 0;
    std::uint32_t first = kNone;  // the key's first name, or kNone / kRemoved
  };
  struct Name {
    std::uint32_t offset, size;  // in text_
    std::uint32_t next;          // the next name of the same key, or kNone
  };

  static constexpr std::size_t kNoSlot = SIZE_MAX;

  // The index of the slot of `name`'s key, or kNoSlot; `hash` is
  // NameKeyHash of `name`.
  std::size_t SlotOf(std::string_view name, std::size_t hash) const;
  // The first name of `name`'s key, or kNone.
  std::uint32_t FirstOf(std::string_view name) const;
  // Makes room for one more key, dropping the slots of removed keys.
  void Grow();
  Error Ambiguous(std::string_view name, std::uint32_t first, const std::string& folder) const;

  std::vector<Slot> slots_;  // a power of two of them, at most half in use
  std::size_t used_ = 0;     // slots that are not kNone
  std::vector<Name> names_;
  std::string text_;  // every name's bytes, one after the other

  std::string_view Text(std::uint32_t name) const {
    return std::string_view(text_).substr(names_[name].offset, names_[name].size);
  }
  std::uint32_t Add(std::string_view name, std::uint32_t next);
};

}  // namespace tavrik
