// The folders of a walk, held open within a bound, and the rule for names.

#include "folder_tree.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

#include "error_condition.h"
#include "list_path.h"
#include "name_key.h"

namespace tavrik {

namespace {

// Candidates named in the message about an ambiguous name; a folder of
// thousands of case variants must not make a message of thousands.
constexpr std::size_t kNamedCandidates = 8;

std::string Shown(const Folder& folder) { return folder.path.empty() ? "." : folder.path; }

// Where the last name of a list's path starts: after its last separator.
std::size_t NameStart(std::string_view path) {
  std::size_t start = path.size();
  while (start > 0 && !IsSeparator(path[start - 1])) --start;
  return start;
}

bool NamesFolder(std::string_view name) { return name.empty() || name == "." || name == ".."; }

Error Ambiguous(const Folder& folder, std::string_view name, const Listing::Matches& matches) {
  std::string names;
  std::size_t named = 0;
  for (const std::string& match : matches) {
    if (named++ == kNamedCandidates) break;
    names += (names.empty() ? "" : ", ") + Quoted(JoinPath(folder.path, match));
  }
  if (named > kNamedCandidates) {
    const auto more = std::distance(matches.begin(), matches.end()) -
                      static_cast<std::ptrdiff_t>(kNamedCandidates);
    names += " and " + std::to_string(more) + " more";
  }
  return Error(ENOTUNIQ, "cannot tell which of " + names + " the list means by " +
                             Quoted(JoinPath(folder.path, name)) + ": they differ only in case");
}

std::unique_ptr<Folder> NewFolder(Folder* parent, std::string name, std::string path) {
  auto folder = std::make_unique<Folder>();
  folder->parent = parent;
  folder->name = std::move(name);
  folder->path = std::move(path);
  return folder;
}

}  // namespace

std::string JoinPath(const std::string& folder, std::string_view name) {
  std::string path = folder;
  if (!path.empty() && path.back() != '/') path += '/';
  path += name;
  return path;
}

FolderTree::Pin::Pin(FolderTree& tree, Folder& folder) : folder_(&folder) {
  ++folder.pins;
  try {
    tree.Open(folder);
  } catch (...) {
    --folder.pins;
    throw;
  }
}

FolderTree::Pin& FolderTree::Pin::operator=(Pin&& other) noexcept {
  if (this != &other) {
    Release();
    folder_ = std::exchange(other.folder_, nullptr);
  }
  return *this;
}

void FolderTree::Pin::Release() noexcept {
  if (folder_ != nullptr) --folder_->pins;
  folder_ = nullptr;
}

void FolderTree::Forget() {
  for (Folder* folder : open_) close(folder->fd);
  open_.clear();
  reached_.clear();
  by_identity_.clear();
  here_ = nullptr;
  lost_.reset();
  root_.reset();
}

FolderTree::Trace FolderTree::TraceOf(std::string_view path) {
  const std::size_t start = NameStart(path);
  const std::string_view name = path.substr(start);
  Trace trace{NamesFolder(name) ? Reach(path) : Reach(path.substr(0, start)), {}};
  if (trace.folder.folder != nullptr && !NamesFolder(name)) {
    trace.entry = Find(*trace.folder.folder, name);
  }
  return trace;
}

std::optional<FolderTree::Located> FolderTree::Locate(std::string_view path) {
  if (NamesFolder(path.substr(NameStart(path)))) return std::nullopt;  // not looked at
  Trace trace = TraceOf(path);
  if (trace.entry.number != 0 || !S_ISREG(trace.entry.mode)) return std::nullopt;
  return Located{Pin(*this, *trace.folder.folder), std::move(trace.entry.name)};
}

FolderTree::Destination FolderTree::DestinationOf(Located& from, std::string_view target) {
  const std::size_t start = NameStart(target);
  const std::string_view spelled = target.substr(start);
  if (NamesFolder(spelled)) {
    const Reached folder = Reach(target);  // "x\.." is the folder itself, whatever x is
    throw SystemFailure(folder.folder != nullptr ? EEXIST : folder.number);
  }
  const Reached reached = Reach(target.substr(0, start));
  if (reached.folder == nullptr) throw SystemFailure(reached.number);
  // Windows drops trailing dots and spaces from the name it creates.
  Destination destination{Pin(*this, *reached.folder), std::string(WithoutTrailingDots(spelled))};
  const bool same_folder = reached.folder == &from.folder.folder();
  const auto is_source = [&] {
    return same_folder && (spelled == from.name || destination.name == from.name);
  };
  // The same entry: nothing to ask of the disk, which may be read-only.
  if ((destination.same = is_source())) return destination;
  const Listing* listing = ListingOf(*reached.folder);
  if (listing == nullptr) return destination;  // unlistable: only the rename itself guards
  // Taken by any other entry that either spelling means, in any case; the
  // file itself is not in the way of its new spelling.
  const auto taken_by = [&](std::string_view name) {
    std::string_view taken;
    for (const std::string& entry : listing->MatchesOf(name)) {
      if (same_folder && entry == from.name) continue;
      if (taken.empty() || entry == name) taken = entry;
    }
    return taken;
  };
  for (bool first = true;; first = false) {
    std::string_view name = spelled;
    std::string_view taken = taken_by(name);
    if (taken.empty() && destination.name != spelled) taken = taken_by(name = destination.name);
    if (taken.empty()) return destination;
    // A file system that ignores case finds the source as the list spells
    // it: the entry that matches it may be the file itself.
    if (first && same_folder && !listing->Contains(from.name) &&
        SameFile(*reached.folder, taken, from.name)) {
      from.name = std::string(taken);
      if ((destination.same = is_source())) return destination;
      continue;
    }
    std::string reason = SystemReason(EEXIST);
    if (taken != name) reason += " (as " + Quoted(JoinPath(reached.folder->path, taken)) + ")";
    throw Error(EEXIST, reason);
  }
}

void FolderTree::Moved(Folder& from, std::string_view from_name, Folder& to,
                       std::string_view to_name) {
  // A file system that ignores case may spell the entry otherwise than the
  // name used: its listing is read again when it is needed.
  if (from.listing && !from.listing->Remove(from_name)) from.listing.reset();
  if (to.listing) to.listing->Insert(to_name);
  for (Folder* changed : {&from, &to}) {
    ForgetSpellings(*changed, from_name, to_name);
    if (!changed->shared) continue;
    const auto [first, last] = by_identity_.equal_range({changed->device, changed->inode});
    for (auto other = first; other != last; ++other) {
      if (other->second == changed) continue;
      // Perhaps the same place by another path: what it knew may be stale.
      other->second->listing.reset();
      ForgetSpellings(*other->second, from_name, to_name);
    }
  }
}

// A new or vanished name can change what a spelling of a subfolder reaches:
// only a spelling of the same key, trimmed or not.
void FolderTree::ForgetSpellings(Folder& folder, std::string_view from_name,
                                 std::string_view to_name) {
  if (folder.spelled_keys.empty()) return;
  if (folder.spelled_keys.count(NameKey(from_name)) == 0 &&
      folder.spelled_keys.count(NameKey(to_name)) == 0) {
    return;
  }
  folder.spelled.clear();
  folder.spelled_keys.clear();
  reached_.clear();
}

const Listing* FolderTree::ListingOf(Folder& folder) {
  if (folder.listing) return &*folder.listing;
  if (folder.unlistable) return nullptr;
  const Pin pin(*this, folder);
  Listing listing;
  const int number = disk_.ReadNames(folder, [&](std::string_view name) { listing.Insert(name); });
  if (number == EACCES || number == EPERM) {
    // May be entered but not read: names are taken as the list spells them.
    folder.unlistable = true;
    return nullptr;
  }
  if (number != 0) {
    throw Error(number,
                "cannot read the folder " + Quoted(Shown(folder)) + ": " + SystemReason(number));
  }
  folder.listing = std::move(listing);
  return &*folder.listing;
}

Reached FolderTree::Reach(std::string_view text) {
  const auto known = reached_.find(text);
  if (known != reached_.end()) return known->second;
  const ListPath path = ParseListPath(text);
  Folder& here = Here();  // first, so that paths name folders the same way in any order
  Reached reached{path.from_root ? &Root() : &here, 0};
  for (const std::string_view name : path.names) {
    if (name != "..") {
      const unsigned matched = reached.matched;
      reached = Subfolder(*reached.folder, name);
      reached.matched |= matched;
    } else if (reached.folder->parent != nullptr) {
      reached.folder = reached.folder->parent;  // from the text, as Windows takes it
    } else if (reached.folder != &Root()) {
      reached.folder = &Child(*reached.folder, name);  // no path known: the system's ".."
    }
    if (reached.folder == nullptr) break;
  }
  reached_.emplace(text, reached);
  return reached;
}

Reached FolderTree::Subfolder(Folder& folder, std::string_view spelling) {
  const auto known = folder.spelled.find(spelling);
  if (known != folder.spelled.end()) return known->second;
  const Entry entry = Find(folder, spelling);
  Reached reached;
  reached.matched = entry.matched;
  if (entry.number != 0) {
    reached.number = entry.number;  // nothing there, a link to nothing, a loop
  } else if (!S_ISDIR(entry.mode)) {
    reached.number = ENOTDIR;
  } else {
    reached.folder = &Child(folder, entry.name);
  }
  folder.spelled.emplace(spelling, reached);
  folder.spelled_keys.insert(NameKey(spelling));
  folder.spelled_keys.insert(NameKey(WithoutTrailingDots(spelling)));
  return reached;
}

// The rule for one name: as spelled; else without its trailing dots and
// spaces; else the one entry that matches it, and then the trimmed name, in
// any case. A link is the entry it is, whatever it points to.
Entry FolderTree::Find(Folder& folder, std::string_view name) {
  const Pin pin(*this, folder);
  const std::string_view trimmed = WithoutTrailingDots(name);
  Entry entry;
  if (!folder.listing) {
    // Most lists spell names as the disk does: until the folder had to be
    // read, the system is asked for them first.
    if (Probe(folder, name, entry)) return entry;
    entry.matched = kMatchedTrimmed;
    if (trimmed != name && Probe(folder, trimmed, entry)) return entry;
  }
  const Listing* listing = ListingOf(folder);
  if (listing == nullptr) return {};
  const auto probed = [&](std::string_view found, unsigned matched) {
    entry.matched = matched;
    return Probe(folder, found, entry) ? entry : Entry{};
  };
  const Listing::Matches as_spelled = listing->MatchesOf(name);
  if (Listing::Has(as_spelled, name)) return probed(name, 0);
  const Listing::Matches as_trimmed = trimmed != name ? listing->MatchesOf(trimmed) : as_spelled;
  if (trimmed != name && Listing::Has(as_trimmed, trimmed)) return probed(trimmed, kMatchedTrimmed);
  for (const auto& [matches, spelling] : {std::pair{as_spelled, name}, {as_trimmed, trimmed}}) {
    if (matches.empty()) continue;
    if (std::next(matches.begin()) != matches.end()) throw Ambiguous(folder, spelling, matches);
    return probed(*matches.begin(), kMatchedOtherCase | (spelling == name ? 0 : kMatchedTrimmed));
  }
  return {};
}

// True when `name` is an entry of `folder`, also a link to nothing or a
// loop of links; fills `entry`. Throws Error when the folder cannot be
// looked at.
bool FolderTree::SameFile(const Folder& folder, std::string_view a, std::string_view b) {
  struct stat first, second;
  return disk_.Stat(folder, std::string(a), false, first) == 0 &&
         disk_.Stat(folder, std::string(b), false, second) == 0 && first.st_dev == second.st_dev &&
         first.st_ino == second.st_ino;
}

bool FolderTree::Probe(const Folder& folder, std::string_view name, Entry& entry) {
  const std::string spelled(name);
  struct stat status {};
  int number = disk_.Stat(folder, spelled, true, status);
  if (number == ENOTDIR) number = ENOENT;  // a link through a file leads nowhere
  if (number != 0 && number != ELOOP) {
    if (number != ENOENT && number != ENAMETOOLONG) throw SystemFailure(number);
    if (number == ENAMETOOLONG || disk_.Stat(folder, spelled, false, status) != 0) return false;
  }
  entry = {spelled, number, status.st_mode, entry.matched};
  return true;
}

Folder& FolderTree::Root() {
  if (!root_) {
    root_ = NewFolder(nullptr, "/", "/");
  }
  return *root_;
}

// The working directory, at its place in the tree from the root, so that a
// list's "..", or a path from the root through it, comes to the same
// folders as a relative path. It is opened as "." all the same.
Folder& FolderTree::Here() {
  if (here_ != nullptr) return *here_;
  std::unique_ptr<char, decltype(&std::free)> path(getcwd(nullptr, 0), &std::free);
  if (path == nullptr || path.get()[0] != '/') {
    lost_ = NewFolder(nullptr, ".", "");
    here_ = lost_.get();
  } else {
    here_ = &Root();
    for (const std::string_view name : ParseListPath(path.get()).names) {
      here_ = &Child(*here_, name);
    }
  }
  here_->working_directory = true;
  here_->path.clear();
  return *here_;
}

Folder& FolderTree::Child(Folder& parent, std::string_view name) {
  const auto known = parent.children.find(name);
  if (known != parent.children.end()) return *known->second;
  std::string path = parent.working_directory ? std::string(name) : JoinPath(parent.path, name);
  return *parent.children.emplace(name, NewFolder(&parent, std::string(name), std::move(path)))
              .first->second;
}

// Opens `folder` if it is closed, and first the closed folders above it,
// each from its parent, which stays open meanwhile; marks it used last.
void FolderTree::Open(Folder& folder) {
  if (folder.fd >= 0) {
    open_.splice(open_.end(), open_, folder.open_at);
    return;
  }
  std::vector<Folder*> closed;
  for (Folder* above = &folder; above != nullptr && above->fd < 0; above = above->parent) {
    closed.push_back(above);
    if (above->working_directory) break;
  }
  for (auto next = closed.rbegin(); next != closed.rend(); ++next) {
    Folder& opening = **next;
    Folder* parent = opening.working_directory ? nullptr : opening.parent;
    if (parent != nullptr) ++parent->pins;
    CloseBeyondLimit();
    const char* name = opening.working_directory ? "." : opening.name.c_str();
    const int fd =
        openat(parent != nullptr ? parent->fd : AT_FDCWD, name, O_PATH | O_DIRECTORY | O_CLOEXEC);
    const int number = errno;
    if (parent != nullptr) --parent->pins;
    if (fd < 0) {
      throw Error(number,
                  "cannot open the folder " + Quoted(Shown(opening)) + ": " + SystemReason(number));
    }
    opening.fd = fd;
    opening.open_at = open_.insert(open_.end(), &opening);
    struct stat status;
    if (opening.device == 0 && opening.inode == 0 && fstat(fd, &status) == 0) {
      opening.device = status.st_dev;
      opening.inode = status.st_ino;
      const auto [first, last] = by_identity_.equal_range({status.st_dev, status.st_ino});
      for (auto other = first; other != last; ++other)
        opening.shared = other->second->shared = true;
      by_identity_.emplace(std::pair{status.st_dev, status.st_ino}, &opening);
    }
  }
}

// Makes room for one more open folder by closing those used longest ago;
// a pinned folder stays open, even past the limit.
void FolderTree::CloseBeyondLimit() {
  for (auto next = open_.begin(); open_.size() >= open_limit_ && next != open_.end();) {
    Folder& folder = **next++;
    if (folder.pins > 0) continue;
    close(folder.fd);
    folder.fd = -1;
    open_.erase(folder.open_at);
  }
}

}  // namespace tavrik
