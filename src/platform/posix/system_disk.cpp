#include "system_disk.h"

#include <dirent.h>
#include <stdio.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <memory>

namespace tavrik {

namespace {

// Every change to a folder's names, and the folder itself going away.
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

}  // namespace

SystemDisk::~SystemDisk() {
  if (inotify_ >= 0) close(inotify_);
}

int SystemDisk::Open(FolderHandle folder, const std::string& name, FolderHandle& opened,
                     bool& linked) {
  constexpr int kFlags = O_PATH | O_DIRECTORY | O_CLOEXEC;
  opened = openat(folder, name.c_str(), kFlags | O_NOFOLLOW);
  linked = opened < 0 && (errno == ENOTDIR || errno == ELOOP);  // or no folder at all
  if (linked) opened = openat(folder, name.c_str(), kFlags);
  return opened < 0 ? errno : 0;
}

void SystemDisk::Close(FolderHandle folder) {
  const auto held = std::find_if(watches_.begin(), watches_.end(),
                                 [&](const auto& watched) { return watched.first == folder; });
  const int watch = held != watches_.end() ? held->second : -1;
  if (held != watches_.end()) watches_.erase(held);
  if (watch >= 0 && std::none_of(watches_.begin(), watches_.end(),
                                 [&](const auto& watched) { return watched.second == watch; })) {
    inotify_rm_watch(inotify_, watch);
    ExpectOn(watch, IN_IGNORED, "");
  }
  close(folder);
}

int SystemDisk::Stat(FolderHandle folder, const std::string& name, bool follow,
                     struct stat& status) {
  return fstatat(folder, name.c_str(), &status, follow ? 0 : AT_SYMLINK_NOFOLLOW) == 0 ? 0 : errno;
}

int SystemDisk::ReadNames(FolderHandle folder,
                          const std::function<void(std::string_view, Listed)>& add) {
  const int fd = openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  DIR* const opened = fd < 0 ? nullptr : fdopendir(fd);
  if (opened == nullptr) {
    const int number = errno;
    if (fd >= 0) close(fd);
    return number;
  }
  const std::unique_ptr<DIR, int (*)(DIR*)> directory(opened, closedir);
  errno = 0;
  while (const dirent* entry = readdir(opened)) {
    const std::string_view name = entry->d_name;
    if (name != "." && name != "..") add(name, Listed{KindOf(entry->d_type), entry->d_ino});
    errno = 0;
  }
  return errno;
}

void SystemDisk::Expect(FolderHandle folder, std::uint32_t mask, const std::string& name) {
  for (const auto& [handle, watch] : watches_) {
    if (handle == folder) ExpectOn(watch, mask, name);
  }
}

void SystemDisk::ExpectOn(int watch, std::uint32_t mask, std::string_view name) {
  if (expecting_ == expected_.size()) expected_.emplace_back();
  Expected& expected = expected_[expecting_++];
  expected.watch = watch;
  expected.mask = mask;
  expected.name.assign(name);
}

bool SystemDisk::Renamed(int done, FolderHandle from, const std::string& from_name, FolderHandle to,
                         const std::string& to_name) {
  if (done != 0) return false;
  Expect(from, IN_MOVED_FROM, from_name);
  Expect(to, IN_MOVED_TO, to_name);
  return true;
}

// Without RENAME_NOREPLACE (FUSE drivers), a hard link cannot replace a file
// either, and stopped between its two calls leaves the file under both
// names; without hard links too (FAT, exFAT), a check and then a rename,
// between which another program could make the target.
int SystemDisk::Move(FolderHandle from, const std::string& from_name, FolderHandle to,
                     const std::string& to_name) {
  const char *const source = from_name.c_str(), *const target = to_name.c_str();
  if (Renamed(renameat2(from, source, to, target, RENAME_NOREPLACE), from, from_name, to, to_name))
    return 0;
  if (!NoReplaceUnsupported(errno)) return errno;
  if (linkat(from, source, to, target, 0) == 0) {
    Expect(to, IN_CREATE, to_name);
    const bool unlinked = unlinkat(from, source, 0) == 0;
    const int number = errno;
    if (unlinked) Expect(from, IN_DELETE, from_name);
    if (!unlinked && unlinkat(to, target, 0) == 0) Expect(to, IN_DELETE, to_name);  // as it was
    return unlinked ? 0 : number;
  }
  if (!LinkUnsupported(errno)) return errno;
  struct stat status;
  if (fstatat(to, target, &status, AT_SYMLINK_NOFOLLOW) == 0) return EEXIST;
  return Renamed(renameat(from, source, to, target), from, from_name, to, to_name) ? 0 : errno;
}

int SystemDisk::Respell(FolderHandle folder, const std::string& name,
                        const std::string& respelled) {
  // Where the file system tells the two spellings apart, a plain move.
  int number = Move(folder, name, folder, respelled);
  if (number != EEXIST) return number;
  // Where it takes them for one entry, a rename onto itself respells it on
  // some (exfat-fuse) and does nothing on others (NTFS, the kernel's
  // drivers); no other entry has the name, so nothing else is replaced.
  bool listed = false;
  if (Renamed(renameat(folder, name.c_str(), folder, respelled.c_str()), folder, name, folder,
              respelled)) {
    ReadNames(folder,
              [&](std::string_view entry, Listed) { listed = listed || entry == respelled; });
  }
  if (listed) return 0;
  // Else through a name of the file's own, which its pair also finds it by.
  // A stop at the very end of an earlier respelling may have left that name
  // as a second link of this very file: only that is removed.
  const std::string aside = RespellAside(name);
  number = Move(folder, name, folder, aside);
  struct stat file, parked;
  if (number == EEXIST && Stat(folder, name, false, file) == 0 &&
      Stat(folder, aside, false, parked) == 0 && OneFile(file, parked) &&
      unlinkat(folder, aside.c_str(), 0) == 0) {
    Expect(folder, IN_DELETE, aside);
    number = Move(folder, name, folder, aside);
  }
  if (number != 0) return number;
  number = Move(folder, aside, folder, respelled);
  if (number != 0) Move(folder, aside, folder, name);  // back under its old name
  return number;
}

int SystemDisk::Watch(FolderHandle folder) {
  if (inotify_ < 0) inotify_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  // The folder held, not whatever its path names by now.
  char path[32];
  snprintf(path, sizeof path, "/proc/self/fd/%d", folder);
  const int watch = inotify_ < 0 ? -1 : inotify_add_watch(inotify_, path, kWatched);
  if (watch >= 0) watches_.emplace_back(folder, watch);
  return watch;
}

bool SystemDisk::Changes(std::vector<int>& changed) {
  bool known = true;
  alignas(inotify_event) char buffer[64 * 1024];
  for (bool more = inotify_ >= 0; more;) {
    const ssize_t got = read(inotify_, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) {  // EAGAIN: nothing more; any other failure: nothing is vouched for
      known = known && got < 0 && errno == EAGAIN;
      break;
    }
    // One look: later events are the next pair's; a full buffer may have left some.
    more = got > static_cast<ssize_t>(sizeof buffer) - 4096;
    for (ssize_t at = 0; at < got;) {
      const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
      at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
      known = known && (event->mask & IN_Q_OVERFLOW) == 0;
      const std::string_view name = event->len != 0 ? event->name : "";
      const auto end = expected_.begin() + static_cast<std::ptrdiff_t>(expecting_);
      const auto mine = std::find_if(expected_.begin(), end, [&](const Expected& e) {
        return e.watch == event->wd && (e.mask & event->mask) != 0 && e.name == name;
      });
      if (mine == end) {
        changed.push_back(event->wd);
      } else {
        mine->mask = 0;  // taken
      }
    }
  }
  // A call's events are queued before it returns: what has not come never will.
  expecting_ = 0;
  return known;
}

}  // namespace tavrik
