#include "system_disk.h"

#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <iterator>
#include <memory>
#include <utility>

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
  watch_of_.erase(folder);
  close(folder);
}

void SystemDisk::Unwatch(int watch) {
  // What it still reports is not read.
  if (watches_.erase(watch) != 0) inotify_rm_watch(inotify_, watch);
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
  if (const auto held = watch_of_.find(folder); held != watch_of_.end())
    expected_.push_back({held->second, mask, name});
}

int SystemDisk::Renamed(FolderHandle from, const std::string& from_name, FolderHandle to,
                        const std::string& to_name) {
  Expect(from, IN_MOVED_FROM, from_name);
  Expect(to, IN_MOVED_TO, to_name);
  Settle();
  return 0;
}

// The old name taken off a file just linked under `to_name`, only while it
// is still that file's: it is moved to a name of the walk's own first (a
// rename moves what the name holds by then, never deletes it), and only
// that name is removed; another program's file put there meanwhile goes
// back under its name, and the new link is taken off again.
int SystemDisk::Unlinked(FolderHandle from, const std::string& from_name, FolderHandle to,
                         const std::string& to_name, const struct stat& linked) {
  const auto is_file = [&](FolderHandle folder, const char* name, struct stat& status) {
    return fstatat(folder, name, &status, AT_SYMLINK_NOFOLLOW) == 0 && SameInode(status, linked);
  };
  struct stat status;
  // The new name taken off or replaced by another program meanwhile: the
  // old one stays as it is.
  if (!is_file(to, to_name.c_str(), status)) return ENOENT;
  char aside[64];
  snprintf(aside, sizeof aside, ".brennel-%d-%u", static_cast<int>(getpid()), ++asides_);
  int number = fstatat(from, aside, &status, AT_SYMLINK_NOFOLLOW) == 0 ? EEXIST : 0;
  // Another entry under the old name by now: it stays, and so does the file.
  if (number == 0 && !is_file(from, from_name.c_str(), status)) number = ENOENT;
  if (number == 0 && renameat(from, from_name.c_str(), from, aside) != 0) number = errno;
  if (number != 0) {
    // Gone from its old name meanwhile: the new one stays where it is the
    // file's only name; else as it was.
    if (number == ENOENT && (!is_file(to, to_name.c_str(), status) || status.st_nlink < 2)) {
      return 0;
    }
    if (unlinkat(to, to_name.c_str(), 0) == 0) Unlinked(to, to_name);
    return number;
  }
  Renamed(from, from_name, from, aside);
  const bool same = is_file(from, aside, status);
  if (same && unlinkat(from, aside, 0) == 0) return Unlinked(from, aside);
  number = same ? errno : ENOENT;
  // As it was: the old name back, the new link gone again.
  if (renameat(from, aside, from, from_name.c_str()) == 0) Renamed(from, aside, from, from_name);
  if (unlinkat(to, to_name.c_str(), 0) == 0) Unlinked(to, to_name);
  return number;
}

int SystemDisk::Unlinked(FolderHandle folder, const std::string& name) {
  Expect(folder, IN_DELETE, name);
  Settle();
  return 0;
}

// Without RENAME_NOREPLACE (FUSE drivers), a hard link cannot replace a file
// either, and stopped between its two calls leaves the file under both
// names; without hard links too (FAT, exFAT), a check and then a rename,
// between which another program could make the target.
int SystemDisk::Move(FolderHandle from, const std::string& from_name, FolderHandle to,
                     const std::string& to_name) {
  const char *const source = from_name.c_str(), *const target = to_name.c_str();
  if (renameat2(from, source, to, target, RENAME_NOREPLACE) == 0)
    return Renamed(from, from_name, to, to_name);
  if (!NoReplaceUnsupported(errno)) return errno;
  // The very file the name holds now is linked, through its descriptor, so
  // that its identity is known whatever the name holds afterwards.
  const int file = openat(from, source, O_PATH | O_NOFOLLOW | O_CLOEXEC);
  if (file < 0) return errno;
  struct stat linked;
  char held[32];
  snprintf(held, sizeof held, "/proc/self/fd/%d", file);
  int number = fstat(file, &linked) == 0 ? 0 : errno;
  if (number == 0 && linkat(AT_FDCWD, held, to, target, AT_SYMLINK_FOLLOW) != 0) number = errno;
  close(file);
  if (number == 0) {
    Expect(to, IN_CREATE, to_name);
    Settle();
    return Unlinked(from, from_name, to, to_name, linked);
  }
  if (!LinkUnsupported(number)) return number;
  // A folder put under the file's name meanwhile is no file to move (and
  // refuses a link for that alone).
  struct stat status;
  if (fstatat(from, source, &status, AT_SYMLINK_NOFOLLOW) != 0) return errno;
  if (S_ISDIR(status.st_mode)) return ENOENT;
  if (fstatat(to, target, &status, AT_SYMLINK_NOFOLLOW) == 0) return EEXIST;
  return renameat(from, source, to, target) == 0 ? Renamed(from, from_name, to, to_name) : errno;
}

int SystemDisk::Respell(FolderHandle folder, const std::string& name,
                        const std::string& respelled) {
  // Where the file system tells the two spellings apart, a move that never replaces.
  int number = Move(folder, name, folder, respelled);
  if (number != EEXIST) return number;
  // The new spelling is taken, and only the file system says by what: a
  // plain rename is made only where it proves that to be the file's own
  // entry. Where what it says changes meanwhile, ESTALE: the pair looks again.
  struct stat file, there;
  if (const int gone = Stat(folder, name, false, file)) return gone == ENOENT ? ENOENT : EEXIST;
  if (S_ISDIR(file.st_mode)) return ENOENT;  // a folder put under the file's name
  if (const int gone = Stat(folder, respelled, false, there))
    return gone == ENOENT ? ESTALE : EEXIST;
  bool none = false;
  const std::optional<std::string> listed = OnlyListed(*this, folder, name, &none);
  if (SameInode(file, there)) {
    // One inode, and one entry: a single link (but for the parked name a
    // stop left), or the only one of that name listed. A rename onto itself
    // leaves it as it is (the kernel sees one inode), so the respelling goes
    // by the parked name. Two links of one file stay two.
    struct stat parked;
    const bool left = Stat(folder, RespellAside(name), false, parked) == 0 && OneFile(file, parked);
    const bool one = file.st_nlink == 1u + left || listed;
    return one ? ThroughParkedName(folder, name, respelled) : EEXIST;
  }
  // Two inode numbers: another entry, unless the file system numbers them by
  // name (exfat-fuse), whose listing then shows one entry of that name, and
  // keeps its case: a rename can reach no entry but the file's.
  if (!listed) return none ? ESTALE : EEXIST;
  if (*listed == respelled) return 0;
  // Still the file the pair found, right before the one call that reaches it.
  struct stat again;
  if (Stat(folder, name, false, again) != 0 || !SameInode(again, file)) return ESTALE;
  if (renameat(folder, name.c_str(), folder, respelled.c_str()) != 0) return errno;
  Renamed(folder, name, folder, respelled);
  return OnlyListed(*this, folder, respelled) == respelled ? 0 : ESTALE;
}

// Through a name of the file's own, which its pair also finds it by, with
// moves that never replace. A stop at the very end of an earlier respelling
// may have left that name as a second link of this very file: only that is
// removed.
int SystemDisk::ThroughParkedName(FolderHandle folder, const std::string& name,
                                  const std::string& respelled) {
  const std::string aside = RespellAside(name);
  int number = Move(folder, name, folder, aside);
  struct stat file, parked;
  if (number == EEXIST && Stat(folder, name, false, file) == 0 &&
      Stat(folder, aside, false, parked) == 0 && OneFile(file, parked) &&
      unlinkat(folder, aside.c_str(), 0) == 0) {
    Unlinked(folder, aside);
    number = Move(folder, name, folder, aside);
  }
  if (number != 0) return number;
  number = Move(folder, aside, folder, respelled);
  if (number == 0) return 0;
  // Moved away under its new spelling by another program meanwhile: the
  // parked name is only the walk's; else back under its old name.
  struct stat left;
  if (number == ENOENT && Stat(folder, aside, false, left) == 0 && left.st_nlink >= 2 &&
      unlinkat(folder, aside.c_str(), 0) == 0) {
    Unlinked(folder, aside);
  } else {
    Move(folder, aside, folder, name);
  }
  return number;
}

int SystemDisk::Watch(FolderHandle folder, int known) {
  if (known >= 0 && watches_.count(known) != 0) {
    watch_of_[folder] = known;
    return known;
  }
  if (inotify_ < 0) inotify_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  // The folder held, not whatever its path names by now.
  char path[32];
  snprintf(path, sizeof path, "/proc/self/fd/%d", folder);
  const int watch = inotify_ < 0 ? -1 : inotify_add_watch(inotify_, path, kWatched);
  if (watch >= 0) {
    watch_of_[folder] = watch;
    watches_.insert(watch);
  }
  return watch;
}

bool SystemDisk::Changes(std::vector<NameChange>& changed) {
  Settle();
  std::move(changed_.begin(), changed_.end(), std::back_inserter(changed));
  changed_.clear();
  return !std::exchange(lost_, false);
}

void SystemDisk::Settle() {
  alignas(inotify_event) char buffer[64 * 1024];
  for (bool more = inotify_ >= 0; more;) {
    const ssize_t got = read(inotify_, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) {  // EAGAIN: nothing more; any other failure: nothing is vouched for
      lost_ = lost_ || !(got < 0 && errno == EAGAIN);
      break;
    }
    // A look takes what is queued: a read that left room took it all.
    more = got > static_cast<ssize_t>(sizeof buffer) - 4096;
    for (ssize_t at = 0; at < got;) {
      const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
      at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
      lost_ = lost_ || (event->mask & IN_Q_OVERFLOW) != 0;
      if (watches_.count(event->wd) == 0) continue;  // a watch let go
      const std::string_view name = event->len != 0 ? event->name : "";
      const auto mine = std::find_if(expected_.begin(), expected_.end(), [&](const Expected& e) {
        return e.watch == event->wd && (e.mask & event->mask) != 0 && e.name == name;
      });
      if (mine == expected_.end()) {
        NameChange& change = changed_.emplace_back();
        change.watch = event->wd;
        change.made = (event->mask & (IN_CREATE | IN_MOVED_TO)) != 0;
        change.folder = (event->mask & IN_ISDIR) != 0;
        if ((event->mask & (IN_CREATE | IN_MOVED_TO | IN_DELETE | IN_MOVED_FROM)) != 0)
          change.name.assign(name);
        change.beside_own = std::any_of(expected_.begin(), expected_.end(),
                                        [&](const Expected& e) { return e.watch == event->wd; });
      } else {
        mine->mask = 0;  // taken
      }
    }
  }
  // A call's events are queued before it returns: one that has not come
  // (a rename onto the file's own entry makes none) never will.
  lost_ = lost_ || std::any_of(expected_.begin(), expected_.end(),
                               [](const Expected& e) { return e.mask != 0; });
  expected_.clear();
}

}  // namespace tavrik
