#include "directory_cache.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <vector>

#include "error_condition.h"
#include "windows_paths.h"

namespace tavrik {

namespace {

// Answers that mean "no such folder or file here", which Windows gives for
// names that cannot exist as well.
bool NotThere(int number) {
  return number == ENOENT || number == ENOTDIR || number == ENAMETOOLONG || number == ELOOP;
}

// A descriptor of the folder `name` in `at`, or -errno.
int OpenFolder(int at, const char* name) {
  const int fd = openat(at, name, O_PATH | O_DIRECTORY | O_CLOEXEC);
  return fd >= 0 ? fd : -errno;
}

// True when `name` in `at` exists (links followed); false when it does not
// or cannot exist. Throws Error for any other answer.
bool StatAt(int at, const std::string& name, struct stat& status) {
  if (fstatat(at, name.c_str(), &status, 0) == 0) return true;
  const int number = errno;
  if (number == ENOENT || number == ENOTDIR || number == ENAMETOOLONG) return false;
  throw SystemFailure(number);
}

Error ReadFailure(int number, const Folder& folder) {
  return Error(number,
               "cannot read the folder " + Quoted(folder.path) + ": " + SystemReason(number));
}

struct CloseDirectory {
  void operator()(DIR* directory) const { closedir(directory); }
};

}  // namespace

DirectoryCache::~DirectoryCache() { Forget(); }

void DirectoryCache::Forget() {
  for (Folder* folder : open_) ::close(folder->fd);
  open_.clear();
  by_spelling_.clear();
  recent_ = {};
  by_key_.clear();
}

Folder* DirectoryCache::Find(std::string_view spelling) {
  // A walk alternates between a source folder and a target folder.
  for (const Recent& recent : recent_) {
    if (recent.spelling != nullptr && *recent.spelling == spelling) return recent.folder;
  }
  auto known = by_spelling_.find(spelling);
  if (known == by_spelling_.end()) {
    known = by_spelling_.emplace(std::string(spelling), Open(WithSlashes(spelling))).first;
  }
  recent_[next_recent_] = {&known->first, known->second};
  next_recent_ = 1 - next_recent_;
  return known->second;
}

Folder* DirectoryCache::Open(const std::string& spelling) {
  const std::string path = spelling.empty() ? "." : spelling;
  const int fd = OpenFolder(AT_FDCWD, path.c_str());
  if (fd >= 0) return Adopt(fd, nullptr, path, path);
  const bool top = spelling.empty() || spelling == "/";
  if (NotThere(-fd)) return top ? nullptr : FindByComponents(spelling);
  throw SystemFailure(-fd);
}

// The list's spelling differs from the disk somewhere (or is too long to
// open in one piece): find one folder after the other.
Folder* DirectoryCache::FindByComponents(const std::string& spelling) {
  Folder* folder = Find(spelling.starts_with('/') ? "/" : "");
  std::size_t start = 0;
  while (folder != nullptr && start < spelling.size()) {
    std::size_t end = spelling.find('/', start);
    if (end == std::string::npos) end = spelling.size();
    if (end > start) folder = Child(*folder, spelling.substr(start, end - start));
    start = end + 1;
  }
  return folder;
}

Folder* DirectoryCache::Child(Folder& parent, const std::string& spelling) {
  const auto known = parent.children.find(spelling);
  if (known != parent.children.end()) return known->second;
  std::string name = spelling;
  int fd = OpenFolder(Fd(parent), name.c_str());
  if ((fd == -ENOENT || fd == -ENAMETOOLONG) && spelling != "." && spelling != "..") {
    std::optional<std::string_view> entry;
    if (const Listing* listing = ListingOf(parent)) {
      entry = listing->Resolve(spelling, parent.path);
    } else if (WithoutTrailingDots(spelling) != spelling) {
      entry = WithoutTrailingDots(spelling);
    }
    if (entry && *entry != spelling) {
      name = std::string(*entry);
      fd = OpenFolder(Fd(parent), name.c_str());
    }
  }
  if (fd < 0 && !NotThere(-fd)) throw SystemFailure(-fd);
  Folder* child = fd < 0 ? nullptr : Adopt(fd, &parent, name, JoinPath(parent.path, name));
  parent.children.emplace(spelling, child);
  return child;
}

Folder* DirectoryCache::Adopt(int fd, Folder* parent, std::string name, std::string path) {
  struct stat status;
  if (fstat(fd, &status) != 0) {
    const int number = errno;
    ::close(fd);
    throw SystemFailure(number);
  }
  // Two spellings of one folder share what is known of it.
  std::unique_ptr<Folder>& slot = by_key_[{status.st_dev, status.st_ino}];
  if (slot) {
    if (slot->fd < 0) {
      MarkOpen(*slot, fd);
    } else {
      ::close(fd);
    }
    return slot.get();
  }
  slot = std::make_unique<Folder>();
  slot->key = {status.st_dev, status.st_ino};
  slot->path = std::move(path);
  slot->parent = parent;
  slot->name = std::move(name);
  MarkOpen(*slot, fd);
  return slot.get();
}

void DirectoryCache::MarkOpen(Folder& folder, int fd) {
  if (open_.size() >= kMaxOpenFolders) Close(*open_.front());
  folder.fd = fd;
  folder.open_position = open_.insert(open_.end(), &folder);
}

void DirectoryCache::Close(Folder& folder) {
  ::close(folder.fd);
  folder.fd = -1;
  open_.erase(folder.open_position);
}

int DirectoryCache::Fd(Folder& folder) {
  if (folder.fd >= 0) {
    if (std::next(folder.open_position) != open_.end()) {
      open_.splice(open_.end(), open_, folder.open_position);  // used last
    }
    return folder.fd;
  }
  const int fd = folder.parent != nullptr ? OpenFolder(Fd(*folder.parent), folder.name.c_str())
                                          : OpenFolder(AT_FDCWD, folder.path.c_str());
  if (fd < 0)
    throw Error(-fd,
                "cannot open the folder " + Quoted(folder.path) + " again: " + SystemReason(-fd));
  struct stat status;
  if (fstat(fd, &status) != 0 || Folder::Key{status.st_dev, status.st_ino} != folder.key) {
    ::close(fd);
    throw Error(ENOENT, "the folder " + Quoted(folder.path) + " was moved during the walk");
  }
  MarkOpen(folder, fd);
  return fd;
}

const Listing* DirectoryCache::ListingOf(Folder& folder) {
  if (folder.listing) return &*folder.listing;
  if (folder.unlistable) return nullptr;
  const int fd = openat(Fd(folder), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) {
    const int number = errno;
    // A folder that may be entered but not read (mode 0300): names in it
    // are taken as the list spells them.
    if (number == EACCES || number == EPERM) {
      folder.unlistable = true;
      return nullptr;
    }
    throw ReadFailure(number, folder);
  }
  std::unique_ptr<DIR, CloseDirectory> directory(fdopendir(fd));
  if (!directory) {
    const int number = errno;
    ::close(fd);
    throw ReadFailure(number, folder);
  }
  // A folder's size tells about how many names it holds (some 20 bytes a
  // name on ext4 and tmpfs); the table then need not grow while it is read.
  struct stat status;
  const bool sized = fstat(fd, &status) == 0 && status.st_size > 0;
  constexpr off_t kMostExpected = off_t{20} << 16;  // a file system may tell otherwise
  Listing listing(sized ? static_cast<std::size_t>(std::min(status.st_size, kMostExpected) / 20)
                        : 0);
  errno = 0;
  while (const dirent* entry = readdir(directory.get())) {
    const std::string_view name = entry->d_name;
    if (name != "." && name != "..") listing.Insert(name);
    errno = 0;
  }
  if (errno != 0) {
    const int number = errno;
    throw ReadFailure(number, folder);
  }
  folder.listing = std::move(listing);
  return &*folder.listing;
}

bool DirectoryCache::Entry(Folder& folder, std::string& name, struct stat& status) {
  const int fd = Fd(folder);
  const bool listed = folder.listing.has_value();
  // Until the folder has been read, the list's own spelling first: most
  // lists spell names as the disk does.
  if (!listed && StatAt(fd, name, status)) return true;
  std::optional<std::string_view> entry;
  if (const Listing* listing = ListingOf(folder)) {
    entry = listing->Resolve(name, folder.path);
  } else if (WithoutTrailingDots(name) != name) {
    entry = WithoutTrailingDots(name);
  }
  if (entry && *entry == name) return StatAt(fd, name, status);
  if (entry) {
    std::string found(*entry);
    if (StatAt(fd, found, status)) {
      name = std::move(found);
      return true;
    }
  }
  // Another program may have made the name since the folder was read.
  return listed && StatAt(fd, name, status);
}

bool DirectoryCache::Has(Folder& folder, const std::string& name) {
  if (const Listing* listing = ListingOf(folder)) return listing->Contains(name);
  struct stat status;
  if (fstatat(Fd(folder), name.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0) return true;
  if (errno == ENOENT || errno == ENAMETOOLONG) return false;
  throw SystemFailure(errno);
}

void DirectoryCache::Moved(Folder& from, std::string_view from_name, Folder& to,
                           std::string_view to_name) {
  if (from.listing) from.listing->Remove(from_name);
  if (to.listing) to.listing->Insert(to_name);
}

}  // namespace tavrik
