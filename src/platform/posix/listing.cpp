#include "listing.h"

#include <cerrno>

#include "name_key.h"
#include "windows_paths.h"

namespace tavrik {

namespace {

// Candidates named in the message about an ambiguous name; a folder of
// thousands of case variants must not make a message of thousands.
constexpr std::size_t kNamedCandidates = 8;

}  // namespace

Listing::Listing(std::size_t expected) {
  std::size_t size = 64;
  while (size < 2 * expected) size *= 2;
  slots_.resize(size);
  names_.reserve(expected);
  text_.reserve(expected * 16);
}

std::size_t Listing::SlotOf(std::string_view name, std::size_t hash) const {
  const NameKeyEqual same;
  const std::size_t mask = slots_.size() - 1;
  for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
    const Slot& slot = slots_[i];
    if (slot.first == kNone) return kNoSlot;
    if (slot.first != kRemoved && slot.hash == hash && same(Text(slot.first), name)) {
      return i;
    }
  }
}

std::uint32_t Listing::FirstOf(std::string_view name) const {
  const std::size_t slot = SlotOf(name, NameKeyHash()(name));
  return slot == kNoSlot ? kNone : slots_[slot].first;
}

void Listing::Grow() {
  std::size_t live = 0;
  for (const Slot& slot : slots_) live += slot.first != kNone && slot.first != kRemoved;
  std::size_t size = slots_.size();
  while (4 * (live + 1) > size) size *= 2;
  std::vector<Slot> old(size);
  old.swap(slots_);
  used_ = live;
  const std::size_t mask = slots_.size() - 1;
  for (const Slot& slot : old) {
    if (slot.first == kNone || slot.first == kRemoved) continue;
    std::size_t i = slot.hash & mask;
    while (slots_[i].first != kNone) i = (i + 1) & mask;
    slots_[i] = slot;
  }
}

std::uint32_t Listing::Add(std::string_view name, std::uint32_t next) {
  const auto index = static_cast<std::uint32_t>(names_.size());
  names_.push_back(
      {static_cast<std::uint32_t>(text_.size()), static_cast<std::uint32_t>(name.size()), next});
  text_ += name;
  return index;
}

void Listing::Insert(std::string_view name) {
  const std::size_t hash = NameKeyHash()(name);
  const std::size_t shared = SlotOf(name, hash);
  if (shared != kNoSlot) {  // a case variant of a listed name
    slots_[shared].first = Add(name, slots_[shared].first);
    return;
  }
  if (2 * (used_ + 1) > slots_.size()) Grow();
  const std::size_t mask = slots_.size() - 1;
  std::size_t i = hash & mask;
  while (slots_[i].first != kNone && slots_[i].first != kRemoved) i = (i + 1) & mask;
  if (slots_[i].first == kNone) ++used_;
  slots_[i] = {hash, Add(name, kNone)};
}

void Listing::Remove(std::string_view name) {
  const std::size_t found = SlotOf(name, NameKeyHash()(name));
  if (found == kNoSlot) return;
  Slot& slot = slots_[found];
  for (std::uint32_t* link = &slot.first; *link != kNone; link = &names_[*link].next) {
    if (Text(*link) != name) continue;
    *link = names_[*link].next;  // its bytes stay unused until the walk ends
    if (slot.first == kNone) slot.first = kRemoved;
    return;
  }
}

std::optional<std::string_view> Listing::Resolve(std::string_view name,
                                                 const std::string& folder) const {
  while (true) {
    const std::uint32_t first = FirstOf(name);
    if (first != kNone) {
      std::size_t count = 0;
      for (std::uint32_t at = first; at != kNone; at = names_[at].next) {
        if (Text(at) == name) return name;
        ++count;
      }
      if (count == 1) return Text(first);
      throw Ambiguous(name, first, folder);
    }
    const std::string_view trimmed = WithoutTrailingDots(name);
    if (trimmed == name) return std::nullopt;
    name = trimmed;
  }
}

bool Listing::Contains(std::string_view name) const {
  for (std::uint32_t at = FirstOf(name); at != kNone; at = names_[at].next) {
    if (Text(at) == name) return true;
  }
  return false;
}

std::string_view Listing::Taken(std::string_view name, std::string_view except) const {
  std::string_view taken;
  for (std::uint32_t at = FirstOf(name); at != kNone; at = names_[at].next) {
    const std::string_view entry = Text(at);
    if (entry == except) continue;
    if (entry == name) return entry;  // the name itself, when it is there
    if (taken.empty()) taken = entry;
  }
  return taken;
}

Error Listing::Ambiguous(std::string_view name, std::uint32_t first,
                         const std::string& folder) const {
  std::string names;
  std::size_t count = 0;
  for (std::uint32_t at = first; at != kNone; at = names_[at].next, ++count) {
    if (count < kNamedCandidates) {
      names += (names.empty() ? "" : ", ") + Quoted(JoinPath(folder, Text(at)));
    }
  }
  if (count > kNamedCandidates)
    names += " and " + std::to_string(count - kNamedCandidates) + " more";
  return Error(ENOTUNIQ, "cannot tell which of " + names + " the list means by " +
                             Quoted(JoinPath(folder, name)) + ": they differ only in case");
}

}  // namespace tavrik
