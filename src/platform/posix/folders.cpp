#include "folders.h"

#include <cerrno>

#include "error_condition.h"

namespace tavrik {

Folders::Folder& Folders::Top(std::unique_ptr<Folder>& top, const std::string& name) {
  if (!top) {
    int number = 0;
    top = Open(nullptr, name, number);
    if (!top) throw Error(number, "cannot open " + Quoted(name) + ": " + SystemReason(number));
  }
  return *top;
}

std::unique_ptr<Folders::Folder> Folders::Open(Folder* parent, const std::string& name,
                                               int& number) {
  auto folder = std::make_unique<Folder>();
  const FolderHandle from = parent != nullptr ? parent->handle : kWorkingDirectory;
  number = disk_.Open(from, name, folder->handle, folder->linked);
  if (number != 0) return nullptr;
  ++held_;
  folder->parent = parent;
  folder->name = name;
  struct stat status {};
  disk_.Stat(folder->handle, ".", true, status);
  folder->device = status.st_dev;
  folder->inode = status.st_ino;
  // Watched before anything is read in it, so that no change falls between.
  folder->watch = disk_.Watch(folder->handle);
  if (folder->watch >= 0) watched_.emplace(folder->watch, folder.get());
  if (folder->watch < 0 || folder->linked) ++unvouched_;
  return folder;
}

int Folders::Child(Folder& folder, const std::string& name, Folder*& child) {
  const auto known = folder.children.find(name);
  if (known != folder.children.end()) {
    child = known->second.get();
    return 0;
  }
  int number = 0;
  std::unique_ptr<Folder> opened = Open(&folder, name, number);
  if (!opened) return number;
  child = opened.get();
  folder.children.emplace(name, std::move(opened));
  return 0;
}

const Listing* Folders::Names(Folder& folder) {
  if (folder.unlistable) return nullptr;
  if (folder.names) return &*folder.names;
  Listing listing;
  const int number = disk_.ReadNames(
      folder.handle, [&](std::string_view name, Listed listed) { listing.Insert(name, listed); });
  // May be entered but not read: only names as spelled are found there.
  if (number == EACCES || number == EPERM) {
    folder.unlistable = true;
    return nullptr;
  }
  // Removed while held (its watch says so at the next pair): empty.
  if (number != 0 && number != ENOENT) {
    const std::string path = PathOf(folder);
    throw Error(number, "cannot read the folder " + Quoted(path.empty() ? "." : path) + ": " +
                            SystemReason(number));
  }
  folder.names = std::move(listing);
  folder.read_at = moves_;
  return &*folder.names;
}

const Listing* Folders::NamesFor(Folder& folder, std::string_view name) {
  if (!made_.empty() && folder.names) {
    const auto made = made_.find(name);
    if (made != made_.end() && made->second.at > folder.read_at &&
        (made->second.watch != folder.watch || folder.watch < 0)) {
      folder.names.reset();
    }
  }
  return Names(folder);
}

std::string Folders::PathOf(const Folder& folder) const {
  if (folder.parent == nullptr) return folder.name == "." ? "" : folder.name;
  return JoinPath(PathOf(*folder.parent), folder.name);
}

void Folders::Refresh() {
  std::vector<int> changed;
  if (!disk_.Changes(changed) || distrusted_ || held_ > bound_) {
    Forget();
    return;
  }
  for (const int watch : changed) ForEachOf(watch, [](Folder& folder) { folder.stale = true; });
  if (changed.empty() && unvouched_ == 0) return;
  if (here_) Sweep(here_);
  if (root_) Sweep(root_);
}

// What changed in a folder may change what any of its names means, and so
// which folder a name below it reaches: its names are read again and the
// folders below it opened again. A link to a folder is asked where it leads.
void Folders::Sweep(std::unique_ptr<Folder>& folder) {
  if (folder->linked && !StillThere(*folder)) {
    Drop(folder);
    return;
  }
  if (folder->stale || folder->watch < 0) {
    DropBelow(*folder);
    return;
  }
  for (auto child = folder->children.begin(); child != folder->children.end();) {
    Sweep(child->second);
    child = child->second ? std::next(child) : folder->children.erase(child);
  }
}

bool Folders::StillThere(const Folder& folder) {
  struct stat status;
  const FolderHandle parent = folder.parent != nullptr ? folder.parent->handle : kWorkingDirectory;
  return disk_.Stat(parent, folder.name, true, status) == 0 && status.st_dev == folder.device &&
         status.st_ino == folder.inode;
}

void Folders::Forget() {
  if (here_) Drop(here_);
  if (root_) Drop(root_);
  distrusted_ = false;
  made_.clear();
}

void Folders::DropBelow(Folder& folder) {
  folder.names.reset();
  folder.unlistable = false;
  folder.stale = false;
  for (auto& [name, child] : folder.children) Drop(child);
  folder.children.clear();
}

void Folders::Drop(std::unique_ptr<Folder>& folder) {
  DropBelow(*folder);
  if (folder->watch >= 0) {
    const auto [first, last] = watched_.equal_range(folder->watch);
    for (auto entry = first; entry != last; ++entry) {
      if (entry->second == folder.get()) {
        watched_.erase(entry);
        break;
      }
    }
    if (watched_.count(folder->watch) == 0) disk_.Unwatch(folder->watch);
  }
  if (folder->watch < 0 || folder->linked) --unvouched_;
  disk_.Close(folder->handle);
  --held_;
  folder.reset();
}

void Folders::ForEachOf(Folder& folder, const std::function<void(Folder&)>& act) {
  if (folder.watch < 0) {
    act(folder);
    return;
  }
  const auto [first, last] = watched_.equal_range(folder.watch);
  for (auto entry = first; entry != last; ++entry) act(*entry->second);
}

void Folders::ForEachOf(int watch, const std::function<void(Folder&)>& act) {
  const auto [first, last] = watched_.equal_range(watch);
  for (auto entry = first; entry != last; ++entry) act(*entry->second);
}

// One folder on disk may be held twice (a link to it, a bind mount): both
// see the walk's own moves.
void Folders::Moved(Folder& from, const std::string& from_name, Folder& to,
                    const std::string& to_name) {
  Listed moved;
  if (from.names) {
    if (const Listed* listed = from.names->Find(from_name)) moved = *listed;
  }
  ForEachOf(from, [&](Folder& folder) {
    // A listing that shows the name otherwise (NTFS with ignore_case lists
    // every name in lower case) is read again.
    if (folder.names && !folder.names->Remove(from_name)) folder.names.reset();
  });
  ForEachOf(to, [&](Folder& folder) {
    if (folder.names) folder.names->Insert(to_name, moved);
  });
  made_.insert_or_assign(to_name, Made{++moves_, to.watch});
}

void Folders::Respelled(Folder& folder) {
  ForEachOf(folder, [](Folder& held) { held.names.reset(); });
}

}  // namespace tavrik
