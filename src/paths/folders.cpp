#include "folders.h"

#include <cerrno>

#include "error_condition.h"
#include "list_path.h"

namespace tavrik {

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
  bool linked = false;
  number = disk_.Open(parent ? parent->handle : kWorkingDirectory, name, folder->handle, linked);
  if (number != 0) return nullptr;
  ++held_;
  struct stat status {};
  disk_.Stat(folder->handle, ".", true, status);
  folder->device = status.st_dev;
  folder->inode = status.st_ino;
  if (linked) linked_.push_back(folder.get());
  // Watched before anything is read in it, so that no change falls between.
  unwatched_ = unwatched_ || disk_.Watch(folder->handle) < 0;
  return folder;
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
  Listing listing;
  const int number = disk_.ReadNames(
      folder.handle, [&](std::string_view name, Listed listed) { listing.Insert(name, listed); });
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
  folder.read_at = moves_;
  return &*folder.names;
}

const Listing* Folders::NamesFor(Folder& folder, std::string_view name) {
  const auto touched = touched_.empty() ? touched_.end() : touched_.find(NameKeyHash()(name));
  if (touched != touched_.end() && touched->second.at > folder.read_at &&
      touched->second.folder != &folder) {
    folder.names.reset();
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
  changed_.clear();
  bool vouched =
      disk_.Changes(changed_) && changed_.empty() && !distrusted_ && !unwatched_ && held_ <= bound_;
  for (std::size_t i = 0; vouched && i < linked_.size(); ++i) {
    const Folder& folder = *linked_[i];
    struct stat status;
    vouched = disk_.Stat(folder.parent ? folder.parent->handle : kWorkingDirectory, folder.name,
                         true, status) == 0 &&
              status.st_dev == folder.device && status.st_ino == folder.inode;
  }
  if (!vouched) Forget();
}

void Folders::Forget() {
  if (here_) Drop(here_);
  if (root_) Drop(root_);
  linked_.clear();
  touched_.clear();
  ways_.clear();
  distrusted_ = unwatched_ = false;
}

void Folders::Drop(std::unique_ptr<Folder>& folder) {
  for (auto& [name, child] : folder->children) Drop(child);
  disk_.Close(folder->handle);  // and its watch, unless another holds the folder
  --held_;
  folder.reset();
}

void Folders::Moved(Folder& from, const std::string& from_name, Folder& to,
                    const std::string& to_name) {
  // A listing that shows the name otherwise (NTFS with ignore_case lists
  // every name in lower case) is read again.
  const std::optional<Listed> moved = from.names ? from.names->Remove(from_name) : std::nullopt;
  if (!moved) from.names.reset();
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
