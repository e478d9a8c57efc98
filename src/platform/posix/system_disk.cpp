#include "system_disk.h"

#include <dirent.h>
#include <limits.h>
#include <stdio.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <memory>

namespace tavrik {

namespace {

// What a watch reports: every change to a folder's names, and the folder
// itself going away.
constexpr std::uint32_t kWatched = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO |
                                   IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;

bool NoReplaceUnsupported(int number) {
  return number == EINVAL || number == ENOSYS || number == EOPNOTSUPP;
}

bool LinkUnsupported(int number) {
  return number == EPERM || number == EOPNOTSUPP || number == ENOSYS || number == EMLINK;
}

Listed::Kind KindOf(unsigned char type) {
  switch (type) {
    case DT_REG:
      return Listed::Kind::kFile;
    case DT_DIR:
      return Listed::Kind::kFolder;
    case DT_LNK:
      return Listed::Kind::kLink;
    case DT_UNKNOWN:
      return Listed::Kind::kUnknown;
    default:
      return Listed::Kind::kOther;
  }
}

struct CloseDirectory {
  void operator()(DIR* directory) const { closedir(directory); }
};

}  // namespace

std::string JoinPath(std::string_view folder, std::string_view name) {
  std::string path;
  path.reserve(folder.size() + 1 + name.size());
  path += folder;
  if (!path.empty() && path.back() != '/') path += '/';
  path += name;
  return path;
}

std::string RespellAside(std::string_view name) {
  std::string aside = ".";
  aside.append(name).append(".brennel-respell");
  return aside;
}

SystemDisk::~SystemDisk() {
  if (inotify_ >= 0) close(inotify_);
}

int SystemDisk::Open(FolderHandle folder, const std::string& name, FolderHandle& opened,
                     bool& linked) {
  constexpr int kFlags = O_PATH | O_DIRECTORY | O_CLOEXEC;
  opened = openat(folder, name.c_str(), kFlags | O_NOFOLLOW);
  linked = false;
  if (opened < 0 && errno != ENOTDIR && errno != ELOOP) return errno;
  if (opened < 0) {  // a link to a folder, or no folder at all
    opened = openat(folder, name.c_str(), kFlags);
    if (opened < 0) return errno;
    linked = true;
  }
  return 0;
}

void SystemDisk::Close(FolderHandle folder) {
  const auto watched = std::find_if(watches_.begin(), watches_.end(),
                                    [&](const auto& entry) { return entry.first == folder; });
  if (watched != watches_.end()) watches_.erase(watched);
  close(folder);
}

int SystemDisk::Stat(FolderHandle folder, const std::string& name, bool follow,
                     struct stat& status) {
  const int flags = follow ? 0 : AT_SYMLINK_NOFOLLOW;
  return fstatat(folder, name.c_str(), &status, flags) == 0 ? 0 : errno;
}

int SystemDisk::ReadNames(FolderHandle folder,
                          const std::function<void(std::string_view, Listed)>& add) {
  const int fd = openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
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
    if (name != "." && name != "..") add(name, Listed{KindOf(entry->d_type), entry->d_ino});
    errno = 0;
  }
  return errno;
}

void SystemDisk::Expect(FolderHandle folder, std::uint32_t mask, const std::string& name) {
  for (const auto& [handle, watch] : watches_) {
    if (handle == folder) expected_.push_back({watch, mask, name});
  }
}

// For file systems without RENAME_NOREPLACE, a hard link cannot replace a
// file either (stopped between its two calls, the file has both names);
// without hard links too (FAT, exFAT), a check and then a rename, between
// which another program could make the target.
int SystemDisk::MoveNoReplace(FolderHandle from, const std::string& from_name, FolderHandle to,
                              const std::string& to_name) {
  const char* const source = from_name.c_str();
  const char* const target = to_name.c_str();
  if (renameat2(from, source, to, target, RENAME_NOREPLACE) == 0) {
    Expect(from, IN_MOVED_FROM, from_name);
    Expect(to, IN_MOVED_TO, to_name);
    return 0;
  }
  if (const int number = errno; !NoReplaceUnsupported(number)) return number;
  if (linkat(from, source, to, target, 0) == 0) {
    Expect(to, IN_CREATE, to_name);
    if (unlinkat(from, source, 0) != 0) {
      const int number = errno;
      if (unlinkat(to, target, 0) == 0) Expect(to, IN_DELETE, to_name);  // left where it was
      return number;
    }
    Expect(from, IN_DELETE, from_name);
    return 0;
  }
  if (const int number = errno; !LinkUnsupported(number)) return number;
  struct stat status;
  if (fstatat(to, target, &status, AT_SYMLINK_NOFOLLOW) == 0) return EEXIST;
  if (renameat(from, source, to, target) != 0) return errno;
  Expect(from, IN_MOVED_FROM, from_name);
  Expect(to, IN_MOVED_TO, to_name);
  return 0;
}

int SystemDisk::Move(FolderHandle from, const std::string& from_name, FolderHandle to,
                     const std::string& to_name) {
  return MoveNoReplace(from, from_name, to, to_name);
}

int SystemDisk::Respell(FolderHandle folder, const std::string& name,
                        const std::string& respelled) {
  // Where the file system tells the two spellings apart, a plain move.
  int number = MoveNoReplace(folder, name, folder, respelled);
  if (number != EEXIST) return number;
  // Where it takes them for one entry, a rename onto itself respells the
  // file on some (exfat-fuse) and changes nothing on others (NTFS, the
  // kernel's own drivers). The folder lists no other entry of the name, so
  // there is nothing else to replace; only a listing tells what it did.
  const auto lists = [&](const std::string& wanted) {
    bool found = false;
    ReadNames(folder, [&](std::string_view listed, Listed) { found = found || listed == wanted; });
    return found;
  };
  if (renameat(folder, name.c_str(), folder, respelled.c_str()) == 0 && lists(respelled)) return 0;
  // Otherwise through a name of the file's own, which its pair also finds
  // it by. A stop at the very end of an earlier respelling may have left
  // that name as a second link of this very file; no other file is touched.
  const std::string aside = RespellAside(name);
  number = MoveNoReplace(folder, name, folder, aside);
  struct stat file, parked;
  if (number == EEXIST && Stat(folder, name, false, file) == 0 &&
      Stat(folder, aside, false, parked) == 0 && OneFile(file, parked) &&
      unlinkat(folder, aside.c_str(), 0) == 0) {
    Expect(folder, IN_DELETE, aside);
    number = MoveNoReplace(folder, name, folder, aside);
  }
  if (number != 0) return number;
  number = MoveNoReplace(folder, aside, folder, respelled);
  if (number != 0) MoveNoReplace(folder, aside, folder, name);  // back under its old name
  return number;
}

int SystemDisk::Watch(FolderHandle folder) {
  if (inotify_ < 0) inotify_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (inotify_ < 0) return -1;
  // The folder held, not whatever its path names by now.
  char path[32];
  snprintf(path, sizeof path, "/proc/self/fd/%d", folder);
  const int watch = inotify_add_watch(inotify_, path, kWatched);
  if (watch >= 0) watches_.emplace_back(folder, watch);
  return watch;
}

void SystemDisk::Unwatch(int watch) {
  watches_.erase(std::remove_if(watches_.begin(), watches_.end(),
                                [&](const auto& entry) { return entry.second == watch; }),
                 watches_.end());
  inotify_rm_watch(inotify_, watch);
}

bool SystemDisk::Changes(std::vector<int>& changed) {
  bool known = true;
  alignas(inotify_event) char buffer[64 * 1024];
  for (bool more = inotify_ >= 0; more;) {
    const ssize_t got = read(inotify_, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) {
      // EAGAIN: nothing more. Any other failure: nothing can be vouched for.
      known = known && got < 0 && errno == EAGAIN;
      break;
    }
    // One look: what comes after it is the next pair's news; a full buffer
    // may have left some behind.
    more = got > static_cast<ssize_t>(sizeof buffer) - 4096;
    for (ssize_t at = 0; at < got;) {
      const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
      at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
      if ((event->mask & IN_Q_OVERFLOW) != 0) known = false;
      const std::string_view name = event->len != 0 ? event->name : "";
      const auto mine = std::find_if(expected_.begin(), expected_.end(), [&](const Expected& e) {
        return e.watch == event->wd && (e.mask & event->mask) != 0 && e.name == name;
      });
      if (mine != expected_.end()) {
        expected_.erase(mine);
      } else {
        changed.push_back(event->wd);
      }
    }
  }
  // A call reports its events before it returns: what has not come by now
  // never will.
  expected_.clear();
  return known;
}

}  // namespace tavrik
