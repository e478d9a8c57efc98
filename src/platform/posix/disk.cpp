// The disk as the system shows it at each call, and moves that never
// replace a file.

#include "disk.h"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <stdio.h>
#include <unistd.h>

#include <cerrno>
#include <memory>

namespace tavrik {

namespace {

// A folder's path for the system's *at calls. A path the system takes in
// one piece goes whole, from the working directory; a longer one (past
// PATH_MAX) is opened piece by piece, each from the last, and closed with
// this object: every name is still resolved at this call.
class FolderAt {
 public:
  FolderAt(const std::string& folder, std::size_t longest_name) {
    std::size_t start = 0;
    while (error_ == 0 && folder.size() - start + longest_name + 2 >= PATH_MAX) {
      const std::size_t end = folder.rfind('/', start + PATH_MAX - 2);
      const bool fits = end != std::string::npos && end >= start && (end > start || start == 0);
      const std::string piece = end == 0 ? "/" : folder.substr(start, end - start);
      const int next = fits ? openat(fd_, piece.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC) : -1;
      error_ = !fits ? ENAMETOOLONG : next < 0 ? errno : 0;
      if (fd_ >= 0) close(fd_);
      fd_ = next < 0 ? AT_FDCWD : next;
      start = end + 1;
    }
    if (error_ == 0) prefix_ = std::string_view(folder).substr(start);
  }
  ~FolderAt() {
    if (fd_ >= 0) close(fd_);
  }
  FolderAt(const FolderAt&) = delete;
  FolderAt& operator=(const FolderAt&) = delete;

  int fd() const { return fd_; }
  int error() const { return error_; }
  std::string Path(std::string_view name) const { return JoinPath(prefix_, name); }

 private:
  int fd_ = AT_FDCWD;
  int error_ = 0;
  std::string_view prefix_;  // in the folder's path, which outlives this
};

bool NoReplaceUnsupported(int number) {
  return number == EINVAL || number == ENOSYS || number == EOPNOTSUPP;
}

bool LinkUnsupported(int number) {
  return number == EPERM || number == EOPNOTSUPP || number == ENOSYS || number == EMLINK;
}

// For file systems without RENAME_NOREPLACE: a hard link cannot replace a
// file either. Stopped between its two calls, the file has both names.
int MoveByLink(int from_fd, const char* from, int to_fd, const char* to) {
  if (linkat(from_fd, from, to_fd, to, 0) != 0) return errno;
  if (unlinkat(from_fd, from, 0) != 0) {
    const int number = errno;
    unlinkat(to_fd, to, 0);  // leave the file where it was
    return number;
  }
  return 0;
}

// Last resort (no hard links either, as on FAT): check, then rename. Another
// process could create the target between the two calls.
int MoveAfterCheck(int from_fd, const char* from, int to_fd, const char* to) {
  struct stat status;
  if (fstatat(to_fd, to, &status, AT_SYMLINK_NOFOLLOW) == 0) return EEXIST;
  return renameat(from_fd, from, to_fd, to) == 0 ? 0 : errno;
}

// Moves `from` to `to` unless `to` exists. Returns 0 or an errno.
int MoveNoReplace(int from_fd, const std::string& from, int to_fd, const std::string& to) {
  if (renameat2(from_fd, from.c_str(), to_fd, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
  int number = errno;
  if (NoReplaceUnsupported(number)) {
    number = MoveByLink(from_fd, from.c_str(), to_fd, to.c_str());
    if (LinkUnsupported(number)) number = MoveAfterCheck(from_fd, from.c_str(), to_fd, to.c_str());
  }
  return number;
}

struct CloseDirectory {
  void operator()(DIR* directory) const { closedir(directory); }
};

int ReadNamesAt(const FolderAt& at, const std::function<void(std::string_view)>& add) {
  const int fd = at.error() != 0
                     ? -1
                     : openat(at.fd(), at.Path(".").c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return at.error() != 0 ? at.error() : errno;
  const std::unique_ptr<DIR, CloseDirectory> directory(fdopendir(fd));
  if (!directory) {
    const int number = errno;
    close(fd);
    return number;
  }
  errno = 0;
  while (const dirent* entry = readdir(directory.get())) {
    const std::string_view name = entry->d_name;
    if (name != "." && name != "..") add(name);
    errno = 0;
  }
  return errno;
}

bool Lists(const FolderAt& at, const std::string& name) {
  bool found = false;
  ReadNamesAt(at, [&](std::string_view listed) { found = found || listed == name; });
  return found;
}

}  // namespace

std::string JoinPath(std::string_view folder, std::string_view name) {
  std::string path;
  path.reserve(folder.size() + 1 + name.size());
  path += folder;
  if (!path.empty() && path.back() != '/') path += '/';
  path += name;
  return path;
}

bool SameEntry(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev &&
         (a.st_ino == b.st_ino ||
          (a.st_mode == b.st_mode && a.st_size == b.st_size &&
           a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec));
}

std::string RespellAside(std::string_view name) {
  std::string aside = ".";
  aside.append(name).append(".brennel-respell");
  return aside;
}

int Disk::Stat(const std::string& folder, const std::string& name, bool follow,
               struct stat& status) {
  const FolderAt at(folder, name.size());
  if (at.error() != 0) return at.error();
  const int flags = follow ? 0 : AT_SYMLINK_NOFOLLOW;
  return fstatat(at.fd(), at.Path(name).c_str(), &status, flags) == 0 ? 0 : errno;
}

int Disk::ReadNames(const std::string& folder, const std::function<void(std::string_view)>& add) {
  return ReadNamesAt(FolderAt(folder, 1), add);
}

int Disk::Move(const std::string& from, const std::string& from_name, const std::string& to,
               const std::string& to_name) {
  const FolderAt source(from, from_name.size()), target(to, to_name.size());
  if (source.error() != 0) return source.error();
  if (target.error() != 0) return target.error();
  return MoveNoReplace(source.fd(), source.Path(from_name), target.fd(), target.Path(to_name));
}

int Disk::Respell(const std::string& folder, const std::string& name,
                  const std::string& respelled) {
  const std::string aside_name = RespellAside(name);
  const FolderAt at(folder, aside_name.size());
  if (at.error() != 0) return at.error();
  const int fd = at.fd();
  const std::string from = at.Path(name), to = at.Path(respelled), aside = at.Path(aside_name);
  struct stat source, there;
  if (fstatat(fd, from.c_str(), &source, AT_SYMLINK_NOFOLLOW) != 0) return errno;
  if (fstatat(fd, to.c_str(), &there, AT_SYMLINK_NOFOLLOW) != 0) {
    // The system tells the two spellings apart after all.
    return errno == ENOENT ? MoveNoReplace(fd, from, fd, to) : errno;
  }
  if (!SameEntry(source, there)) return EEXIST;
  // In one call where the file system can (exfat-fuse can, NTFS and the
  // kernel's own drivers take it for a rename onto itself that changes
  // nothing). Only a listing that gains the new spelling tells which.
  if (!Lists(at, respelled)) {
    if (renameat(fd, from.c_str(), fd, to.c_str()) != 0) return errno;
    if (Lists(at, respelled)) return 0;
  }
  // Otherwise through a name of the file's own, which a walk also finds
  // the file by. A respelling stopped earlier may have left that name as a
  // second link to this very file: it goes first.
  struct stat parked;
  int number = MoveNoReplace(fd, from, fd, aside);
  if (number == EEXIST && fstatat(fd, aside.c_str(), &parked, AT_SYMLINK_NOFOLLOW) == 0 &&
      SameEntry(source, parked) && unlinkat(fd, aside.c_str(), 0) == 0) {
    number = MoveNoReplace(fd, from, fd, aside);
  }
  if (number != 0) return number;
  number = MoveNoReplace(fd, aside, fd, to);
  if (number != 0) MoveNoReplace(fd, aside, fd, from);  // back under its old name
  return number;
}

}  // namespace tavrik
