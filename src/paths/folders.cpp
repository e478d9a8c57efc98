#include "folders.h"

#include <sys/resource.h>

#include <algorithm>
#include <cerrno>

#include "error_condition.h"
#include "list_path.h"

namespace tavrik {

namespace {

// Names opened in one call when a folder is opened again from afar: well
// within PATH_MAX, however deep the folder.
constexpr std::size_t kPathRoom = 2048;

}  // namespace

std::size_t FoldersOpen() {
  rlimit limit{};
  const rlim_t allowed = getrlimit(RLIMIT_NOFILE, &limit) == 0 ? limit.rlim_cur : 128;
  return allowed == RLIM_INFINITY ? 256 : std::clamp<rlim_t>(allowed / 8, 16, 256);
}

Folders::Folder& Folders::Top(std::unique_ptr<Folder>& top, const std::string& name) {
  int number = 0;
  if (!top) top = Open(nullptr, name, number);
  if (!top) throw Error(number, "cannot open " + Quoted(name) + ": " + SystemReason(number));
  return *top;
}

std::unique_ptr<Folders::Folder> Folders::Open(Folder* parent, const std::string& name,
                                               int& number) {
  auto folder = std::make_unique<Folder>();
  folder->parent = parent;
  folder->name = name;
  std::optional<Pin> pinned;
  if (parent != nullptr) pinned.emplace(*this, *parent);
  MakeRoom();
  FolderHandle handle = -1;
  number = disk_.Open(parent ? parent->handle : kWorkingDirectory, name, handle, folder->linked);
  if (number != 0) return nullptr;
  Held(*folder, handle);
  ++held_;
  struct stat status {};
  disk_.Stat(handle, ".", true, status);
  folder->device = status.st_dev;
  folder->inode = status.st_ino;
  if (folder->linked) linked_.push_back(folder.get());
  // Watched before anything is read in it, so that no change falls between;
  // within the bound, and not again in a walk once the system refused one.
  const bool within = held_ <= bound_;
  if (watching_ && within) Watch(*folder, disk_.Watch(handle));
  if (folder->watch < 0) {
    watching_ = watching_ && !within;
    unwatched_ = true;
  }
  return folder;
}

FolderHandle Folders::Handle(Folder& folder) {
  if (folder.handle >= 0) {
    open_.splice(open_.end(), open_, folder.open);
    return folder.handle;
  }
  // From the nearest folder held open, or the start, as many names at a
  // call as fit.
  std::vector<Folder*> chain;  // the folder first
  for (Folder* closed = &folder; closed != nullptr && closed->handle < 0; closed = closed->parent)
    chain.push_back(closed);
  while (!chain.empty()) {
    Folder* const base = chain.back()->parent;
    std::optional<Pin> pinned;
    if (base != nullptr) pinned.emplace(*this, *base);
    std::string path;
    std::size_t last = chain.size();
    do {
      AppendName(path, chain[--last]->name);
    } while (last > 0 && path.size() + chain[last - 1]->name.size() < kPathRoom);
    Folder& reached = *chain[last];
    chain.resize(last);
    MakeRoom();
    FolderHandle handle = -1;
    bool linked = false;
    const int number = disk_.Open(base ? base->handle : kWorkingDirectory, path, handle, linked);
    if (number != 0) {
      throw Error(number, "cannot open the folder " + Quoted(PathOf(reached)) +
                              " again: " + SystemReason(number));
    }
    Held(reached, handle);
    struct stat status {};
    disk_.Stat(handle, ".", true, status);
    if (status.st_dev != reached.device || status.st_ino != reached.inode) {
      // Another folder under its name: what was learned of it is void.
      Unlearn(reached);
      reached.device = status.st_dev;
      reached.inode = status.st_ino;
      distrusted_ = true;
      if (reached.watch >= 0) {
        Unwatch(reached);
        Watch(reached, disk_.Watch(handle));
      }
    } else if (reached.watch >= 0) {
      disk_.Watch(handle, reached.watch);  // which outlived the descriptor
    }
  }
  return folder.handle;
}

void Folders::Watch(Folder& folder, int watch) {
  folder.watch = watch;
  if (watch >= 0) watchers_.emplace(watch, &folder);
}

void Folders::Unwatch(Folder& folder) {
  if (folder.watch < 0) return;
  auto [first, last] = watchers_.equal_range(folder.watch);
  while (first != last && first->second != &folder) ++first;
  if (first != last) watchers_.erase(first);
  if (watchers_.count(folder.watch) == 0) disk_.Unwatch(folder.watch);
  folder.watch = -1;
}

void Folders::Held(Folder& folder, FolderHandle handle) {
  folder.handle = handle;
  folder.open = open_.insert(open_.end(), &folder);
}

void Folders::Close(Folder& folder) {
  if (folder.handle < 0) return;
  open_.erase(folder.open);
  disk_.Close(folder.handle);
  folder.handle = -1;
}

// Room for one more descriptor: the least recently used not pinned goes.
void Folders::MakeRoom() {
  for (auto used = open_.begin(); open_.size() >= open_bound_ && used != open_.end();) {
    Folder& folder = **used++;
    if (folder.pins == 0) Close(folder);
  }
}

void Folders::Unlearn(Folder& folder) {
  Reread(folder);
  hints_.erase({folder.device, folder.inode});
  folder.unlistable = false;
  folder.ignores_case.reset();
  ways_.clear();
  for (auto& [name, child] : folder.children) {
    if (child->pins == 0) Close(*child);
    Unlearn(*child);
  }
}

int Folders::Child(Folder& folder, const std::string& name, Folder*& child) {
  if (const auto known = folder.children.find(name); known != folder.children.end()) {
    child = known->second.get();
    return 0;
  }
  int number = 0;
  std::unique_ptr<Folder> opened = Open(&folder, name, number);
  if (opened) child = folder.children.emplace(name, std::move(opened)).first->second.get();
  return number;
}

const Listing* Folders::Names(Folder& folder) {
  if (folder.unlistable || folder.names) return folder.names ? &*folder.names : nullptr;
  if (const auto hint = hints_.find({folder.device, folder.inode}); hint != hints_.end()) {
    folder.names = std::move(hint->second);
    folder.hinted = true;
    folder.read_at = moves_;
    hints_.erase(hint);
    return &*folder.names;
  }
  Listing listing;
  const int number = disk_.ReadNames(
      Handle(folder), [&](std::string_view name, Listed listed) { listing.Insert(name, listed); });
  // May be entered but not read: only names as spelled are found there.
  folder.unlistable = number == EACCES || number == EPERM;
  if (folder.unlistable) return nullptr;
  // ENOENT: removed while held (its watch tells the next pair), so empty.
  if (number != 0 && number != ENOENT) {
    const std::string path = PathOf(folder);
    throw Error(number, "cannot read the folder " + Quoted(path.empty() ? "." : path) + ": " +
                            SystemReason(number));
  }
  folder.names = std::move(listing);
  folder.hinted = false;
  folder.read_at = moves_;
  return &*folder.names;
}

const Listing* Folders::NamesFor(Folder& folder, std::string_view name) {
  const auto touched = touched_.empty() ? touched_.end() : touched_.find(NameKeyHash()(name));
  if (touched != touched_.end() && touched->second.at > folder.read_at &&
      touched->second.folder != &folder) {
    Reread(folder);
  }
  return Names(folder);
}

std::string Folders::PathOf(const Folder& folder) const {
  if (folder.parent == nullptr) return folder.name == "." ? "" : folder.name;
  return JoinPath(PathOf(*folder.parent), folder.name);
}

Folders::Way Folders::WayOf(std::string_view text) const {
  const auto known = ways_.find(text);
  return known != ways_.end() ? known->second : Way{};
}

void Folders::Refresh() {
  bool all = !distrusted_ && !unwatched_ && held_ <= bound_;
  const bool told = Told(all);
  for (std::size_t i = 0; all && i < linked_.size(); ++i) {
    Folder& folder = *linked_[i];
    struct stat status;
    all = disk_.Stat(folder.parent ? Handle(*folder.parent) : kWorkingDirectory, folder.name, true,
                     status) == 0 &&
          status.st_dev == folder.device && status.st_ino == folder.inode;
  }
  // Where no watch can be had, or too much changed to be told, what was
  // read is kept as a hint.
  if (!all) LetGo(!watching_ || !told);
}

bool Folders::Changed() {
  bool all = true;
  Told(all);
  if (all && changed_.empty()) return false;
  if (!all) {
    distrusted_ = true;  // let go of all before the next pair
    for (Folder* top : {here_.get(), root_.get()}) {
      if (top == nullptr) continue;
      Unlearn(*top);
      if (top->pins == 0) Close(*top);
    }
  }
  return true;
}

// Takes in what the watches told another program did: a name made or gone
// in a folder whose names are kept as the disk has them, and those names
// are kept up to date; a folder moved or removed, a change told with the
// walk's own move there, a name of a folder the walk holds, or a folder
// whose names are listed otherwise (NTFS with ignore_case lists them in
// lower case), and the folder, or that one, is read and opened again. `all` becomes false where the
// watches cannot say what changed; returns whether they could.
bool Folders::Told(bool& all) {
  changed_.clear();
  const bool told = disk_.Changes(changed_);
  all = all && told;
  for (const NameChange& change : changed_) {
    auto [first, last] = watchers_.equal_range(change.watch);
    for (; all && first != last; ++first) Take(*first->second, change);
  }
  return told;
}

void Folders::Take(Folder& folder, const NameChange& change) {
  const auto forsake = [this](Folder& changed) {
    Unlearn(changed);
    if (changed.pins == 0) Close(changed);
  };
  if (change.name.empty() || change.beside_own || folder.ignores_case.value_or(false))
    return forsake(folder);
  ways_.clear();  // a folder text may lead elsewhere now
  for (auto& [name, child] : folder.children) {
    if (NameKeyEqual()(WithoutTrailingDots(name), WithoutTrailingDots(change.name)))
      forsake(*child);
  }
  if (!folder.names) return;
  if (!change.made) {
    if (!folder.names->Remove(change.name)) Reread(folder);
  } else if (folder.names->Find(change.name) == nullptr) {
    // Unless the listing, read after the watch was set, has it already.
    folder.names->Insert(change.name,
                         {change.folder ? Listed::Kind::kFolder : Listed::Kind::kUnknown, 0});
  }
}

void Folders::Forget() {
  LetGo(false);
  hints_.clear();
  watching_ = true;
}

void Folders::LetGo(bool keep_hints) {
  if (here_) Drop(here_, keep_hints);
  if (root_) Drop(root_, keep_hints);
  linked_.clear();
  touched_.clear();
  ways_.clear();
  distrusted_ = unwatched_ = false;
  // Hints for as many folders as the walk knows at most.
  if (hints_.size() > bound_) hints_.clear();
}

void Folders::Drop(std::unique_ptr<Folder>& folder, bool keep_hints) {
  for (auto& [name, child] : folder->children) Drop(child, keep_hints);
  Close(*folder);
  Unwatch(*folder);
  if (keep_hints && folder->names)
    hints_.insert_or_assign({folder->device, folder->inode}, std::move(*folder->names));
  --held_;
  folder.reset();
}

void Folders::Moved(Folder& from, const std::string& from_name, Folder& to,
                    const std::string& to_name) {
  // A listing that shows the name otherwise (NTFS with ignore_case lists
  // every name in lower case) is read again.
  const std::optional<Listed> moved = from.names ? from.names->Remove(from_name) : std::nullopt;
  if (!moved) Reread(from);
  if (to.names) to.names->Insert(to_name, moved.value_or(Listed{}));
  touched_.insert_or_assign(NameKeyHash()(from_name), Touched{++moves_, &from});
  touched_.insert_or_assign(NameKeyHash()(to_name), Touched{moves_, &to});
  // A file made beside a folder of its name, in some case, may be what a
  // folder text means now: each is found again.
  const std::string_view made = WithoutTrailingDots(to_name);
  for (const auto& [name, child] : to.children) {
    if (NameKeyEqual()(WithoutTrailingDots(name), made)) return ways_.clear();
  }
}

}  // namespace tavrik
