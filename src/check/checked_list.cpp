// A list's paths by their text: as Windows compares them, and where its
// pairs start to be shifted by one entry.

#include "checked_list.h"

#include <string_view>
#include <utility>

#include "dry_run.h"
#include "list_path.h"

namespace tavrik {

namespace {

// Whether two last names look like one file's: the same name, or one the
// other with something added at its end or start ("x.dds.off" and "x.dds",
// "Disabled_x.esp" and "x.esp"). ASCII letters in any case.
bool SameShape(const std::string& first, const std::string& second) {
  const auto last = [](const std::string& path) {  // "" for none
    const ListPath parsed = ParseListPath(path);
    std::string name(parsed.names.empty() ? "" : WithoutTrailingDots(parsed.names.back()));
    for (char& c : name) c = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    return name;
  };
  std::string x = last(first), y = last(second);
  if (x.size() > y.size()) std::swap(x, y);
  return !x.empty() && (y.starts_with(x) || y.ends_with(x));
}

std::string KeyOf(const std::string& path) {
  const ListPath parsed = ParseListPath(path);
  std::string key = parsed.from_root ? "/" : "";
  for (const std::string_view name : parsed.names)
    key += NameKeyOf(WithoutTrailingDots(name)) + '/';
  return key;
}

}  // namespace

const std::string& CheckedList::Key(std::size_t number) const {
  for (std::size_t entry = keys.size() + 1; entry <= std::min(Size(), kLongestWalk); ++entry) {
    keys.push_back(KeyOf(Entry(entry)));
  }
  return keys[number - 1];
}

Shift FindShift(const CheckedList& list) {
  const std::size_t size = std::min(list.Size(), kLongestWalk);
  const auto agree = [&](std::size_t a, std::size_t b) {
    return b <= size && SameShape(list.Entry(a), list.Entry(b));
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

}  // namespace tavrik
