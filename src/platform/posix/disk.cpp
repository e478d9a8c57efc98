// The disk as the system shows it, and moves that never replace a file.

#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

#include <cerrno>
#include <memory>

#include "folder_tree.h"

namespace tavrik {

namespace {

bool NoReplaceUnsupported(int number) {
  return number == EINVAL || number == ENOSYS || number == EOPNOTSUPP;
}

bool LinkUnsupported(int number) {
  return number == EPERM || number == EOPNOTSUPP || number == ENOSYS || number == EMLINK;
}

// For file systems without RENAME_NOREPLACE: a hard link cannot replace a
// file either. Returns 0 or the errno of the failure.
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

bool SameFile(int fd, const std::string& a, const std::string& b) {
  struct stat first, second;
  return fstatat(fd, a.c_str(), &first, AT_SYMLINK_NOFOLLOW) == 0 &&
         fstatat(fd, b.c_str(), &second, AT_SYMLINK_NOFOLLOW) == 0 &&
         first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

// A file system that ignores case (exFAT, NTFS, casefolded ext4) takes the
// new spelling for the file itself, and some keep the old spelling on a
// plain rename: the file goes to a free name of its own and then to the new
// spelling. Returns 0 or an errno; on a failure the file keeps its name.
int Respell(int fd, const std::string& from, const std::string& to) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::string aside =
        ".brennel-" + std::to_string(getpid()) + "-" + std::to_string(attempt) + ".tmp";
    int number = MoveNoReplace(fd, from, fd, aside);
    if (number == EEXIST) continue;
    if (number != 0) return number;
    number = MoveNoReplace(fd, aside, fd, to);
    if (number != 0) MoveNoReplace(fd, aside, fd, from);
    return number;
  }
  return EEXIST;
}

struct CloseDirectory {
  void operator()(DIR* directory) const { closedir(directory); }
};

}  // namespace

int Disk::Stat(const Folder& folder, const std::string& name, bool follow, struct stat& status) {
  const int flags = follow ? 0 : AT_SYMLINK_NOFOLLOW;
  return fstatat(folder.fd, name.c_str(), &status, flags) == 0 ? 0 : errno;
}

int Disk::ReadNames(const Folder& folder, const std::function<void(std::string_view)>& add) {
  const int fd = openat(folder.fd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return errno;
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

int Disk::Move(const Folder& from, const std::string& from_name, const Folder& to,
               const std::string& to_name) {
  const int number = MoveNoReplace(from.fd, from_name, to.fd, to_name);
  if (number == EEXIST && &from == &to && SameFile(from.fd, from_name, to_name)) {
    return Respell(from.fd, from_name, to_name);
  }
  return number;
}

}  // namespace tavrik
