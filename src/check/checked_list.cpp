// A list's paths by their text: as Windows compares them, and where its
// pairs start to be shifted by one entry.

#include "checked_list.h"

#include <algorithm>
#include <string_view>
#include <utility>

#include "dry_run.h"
#include "list_path.h"

namespace tavrik {

namespace {

// Each byte's key, and what it is to a plain path: 1 a separator, 2 a dot
// or a space (which no name of one ends with), 4 none of its bytes.
struct Bytes {
  char key[256];
  unsigned char kind[256];
};
constexpr Bytes kBytes = [] {
  Bytes bytes{};
  for (int c = 0; c < 256; ++c) {
    bytes.key[c] = static_cast<char>(c == '\\' ? '/' : c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
    bytes.kind[c] = c == 0 || c >= 0x80     ? 4
                    : c == '/' || c == '\\' ? 1
                    : c == '.' || c == ' '  ? 2
                                            : 0;
  }
  return bytes;
}();

// Most paths are plain: ASCII names between single separators, none of them
// ending in a dot or a space. Their key is their text as it stands, in upper
// case; `plain` is made false for any other.
std::string KeyOf(const std::string& path, bool& plain) {
  std::string text(path.size() + 1, '/');
  const auto* in = reinterpret_cast<const unsigned char*>(path.data());
  char* out = text.data();                  // not text[at]: a byte stored could be the string's own
  unsigned before = 1, odd = path.empty();  // a separator at the start is odd
  for (std::size_t at = 0, size = path.size(); at < size; ++at) {
    const unsigned kind = kBytes.kind[in[at]];
    odd |= (kind & 4) | ((kind & 1) & (before != 0));  // a separator after an end
    before = kind & 3;
    out[at] = kBytes.key[in[at]];
  }
  if (odd == 0 && before == 0) return text;
  plain = false;
  const ListPath parsed = ParseListPath(path);
  std::string key = parsed.from_root ? "/" : "";
  for (const std::string_view name : parsed.names)
    key.append(NameKeyOf(WithoutTrailingDots(name))).push_back('/');
  return key;
}

// The last name of a key ("" for none).
std::string_view LastOfKey(std::string_view key) {
  if (key.size() < 2) return {};
  key.remove_suffix(1);
  return key.substr(key.rfind('/') + 1);
}

}  // namespace

const std::string& CheckedList::Key(std::size_t number) const {
  if (keys.empty()) keys.reserve(std::min(Size(), kLongestWalk));
  for (std::size_t entry = keys.size() + 1; entry <= std::min(Size(), kLongestWalk); ++entry) {
    keys.push_back(KeyOf(Entry(entry), plain));
  }
  return keys[number - 1];
}

bool CheckedList::Plain() const {
  if (Size() > 0) Key(1);  // every key is made at the first
  return plain;
}

Shift FindShift(const CheckedList& list) {
  const std::size_t size = std::min(list.Size(), kLongestWalk);
  // Whether two entries' last names look like one file's: the same name, or
  // one the other with something added at its end or start ("x.dds.off" and
  // "x.dds", "Disabled_x.esp" and "x.esp"), as Windows compares names.
  const auto agree = [&](std::size_t a, std::size_t b) {
    if (b > size) return false;
    std::string_view x = LastOfKey(list.Key(a)), y = LastOfKey(list.Key(b));
    if (x.size() > y.size()) std::swap(x, y);
    return !x.empty() && (y.starts_with(x) || y.ends_with(x));
  };
  bool shaped = false;
  for (std::size_t pair = 0; pair < list.Pairs(); ++pair) {
    const std::size_t at = 2 * pair + 1;  // its first entry
    for (const std::size_t entry : {at, at + 1}) {
      if (list.Entry(entry).empty() && entry < size) return {entry, true, pair};
    }
    const bool same = agree(at, at + 1);
    shaped = shaped || same;
    if (same || !shaped) continue;
    for (const std::size_t alone : {at, at + 1}) {  // left out, its partner pairs with the next
      if (agree(2 * at + 1 - alone, at + 2) && (at + 4 > size || agree(at + 3, at + 4))) {
        return {alone, false, pair};
      }
    }
  }
  return {};
}

void PathUses::Index(const CheckedList& list) {
  list_ = &list;
  for (std::uint32_t at = 0; at < list.Pairs(); ++at) {
    const bool same = list.Key(list.SourceEntry(at)) == list.Key(list.TargetEntry(at));
    uses_.emplace_back(at, same ? 3 : 1);
    if (!same) uses_.emplace_back(at, 2);
  }
  std::ranges::stable_sort(uses_, {}, [&](const Use& use) { return KeyOf(use); });
}

std::string_view PathUses::KeyOf(const Use& use) const {
  return list_->Key((use.second & 1) != 0 ? list_->SourceEntry(use.first)
                                          : list_->TargetEntry(use.first));
}

std::span<const PathUses::Use> PathUses::Of(std::string_view key) const {
  struct ByKey {
    const PathUses& uses;
    bool operator()(const Use& use, std::string_view key) const { return uses.KeyOf(use) < key; }
    bool operator()(std::string_view key, const Use& use) const { return key < uses.KeyOf(use); }
  };
  const auto [from, to] = std::equal_range(uses_.begin(), uses_.end(), key, ByKey{*this});
  return {from, to};
}

}  // namespace tavrik
