#include "foresee_posix.h"

#include <fcntl.h>
#include <linux/capability.h>
#include <linux/fs.h>
#include <pwd.h>
#include <sys/ioctl.h>
#include <sys/syscall.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <unordered_map>

#include "dry_run.h"
#include "name_key.h"
#include "shown_text.h"
#include "system_disk.h"

namespace tavrik {

namespace {

constexpr unsigned long long kFlagsAsked = STATX_ATTR_IMMUTABLE | STATX_ATTR_APPEND;

// The folder at `path` (from the root, or else the working directory),
// entered a name at a time as the walk enters it, so that a path past
// PATH_MAX is reached too; fd is -1 when it cannot be.
struct FolderAt {
  explicit FolderAt(const std::string& path) {
    constexpr int kFlags = O_PATH | O_DIRECTORY | O_CLOEXEC;
    fd = open(path.starts_with('/') ? "/" : ".", kFlags);
    for (std::size_t at = 0, end; fd >= 0 && at < path.size(); at = end + 1) {
      end = std::min(path.find('/', at), path.size());
      if (end == at) continue;
      const int next = openat(fd, path.substr(at, end - at).c_str(), kFlags);
      close(fd);
      fd = next;
    }
  }
  ~FolderAt() {
    if (fd >= 0) close(fd);
  }
  FolderAt(const FolderAt&) = delete;
  FolderAt& operator=(const FolderAt&) = delete;
  int fd = -1;
};

std::string UserName(uid_t user) {
  const passwd* entry = getpwuid(user);
  return entry != nullptr ? std::string(entry->pw_name) : "user " + std::to_string(user);
}

std::string Quote(const std::string& path) {
  std::string quoted = "'";
  for (const char c : path) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

}  // namespace

std::optional<Flags> FlagsOf(int folder, const std::string& name) {
  struct statx status;
  if (statx(folder, name.c_str(), AT_SYMLINK_NOFOLLOW | AT_STATX_SYNC_AS_STAT,
            STATX_BASIC_STATS | STATX_MNT_ID, &status) != 0) {
    return std::nullopt;
  }
  const bool told = (status.stx_attributes_mask & kFlagsAsked) == kFlagsAsked;
  Flags flags{told ? status.stx_attributes & kFlagsAsked : 0, status.stx_mode, status.stx_uid,
              (status.stx_mask & STATX_MNT_ID) != 0
                  ? status.stx_mnt_id
                  : makedev(status.stx_dev_major, status.stx_dev_minor)};
  // Where the file system does not report them to statx, FS_IOC_GETFLAGS
  // does, on an entry opened (so only files and folders that may be read).
  if (told || (!S_ISREG(status.stx_mode) && !S_ISDIR(status.stx_mode))) return flags;
  const int fd =
      openat(folder, name.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return flags;  // cannot be told: nothing foreseen
  int asked = 0;
  if (ioctl(fd, FS_IOC_GETFLAGS, &asked) == 0) {
    if (asked & FS_IMMUTABLE_FL) flags.attributes |= STATX_ATTR_IMMUTABLE;
    if (asked & FS_APPEND_FL) flags.attributes |= STATX_ATTR_APPEND;
  }
  close(fd);
  return flags;
}

Refused RefusalOf(const Flags& folder, const std::optional<Flags>& entry) {
  if (entry && (entry->attributes & kFlagsAsked) != 0) return Refused::kEntry;
  if ((folder.attributes & STATX_ATTR_APPEND) != 0) return Refused::kFolder;
  const uid_t user = geteuid();
  if (!entry || (folder.mode & S_ISVTX) == 0 || entry->owner == user || folder.owner == user) {
    return Refused::kNot;
  }
  static const bool fowner = [] {  // CAP_FOWNER
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[_LINUX_CAPABILITY_U32S_3] = {};
    if (syscall(SYS_capget, &header, data) != 0) return geteuid() == 0;
    return (data[CAP_TO_INDEX(CAP_FOWNER)].effective & CAP_TO_MASK(CAP_FOWNER)) != 0;
  }();
  return fowner ? Refused::kNot : Refused::kSticky;
}

Failure FailureOf(std::int64_t number) {
  if (number == ENOTUNIQ) return Failure::kAmbiguous;
  if (number == EEXIST || number == ENOTEMPTY) return Failure::kTaken;
  if (number == ENOENT || number == ENOTDIR) return Failure::kNotFound;
  for (const int refused : {EPERM, EACCES, EROFS, EXDEV, EBUSY, ETXTBSY}) {
    if (number == refused) return Failure::kRefused;
  }
  return Failure::kOther;
}

std::pair<std::string, std::string> RefusalCause(std::int64_t number, const std::string& source,
                                                 const std::string& folder,
                                                 const std::string& here) {
  const auto named = [&](const std::string& path) { return Named(FromHere(path, here)); };
  const std::string from = FolderOf(source).empty() ? "/" : FolderOf(source);
  const FolderAt home_folder(from);
  // The file, and the folder it would leave.
  const std::optional<Flags> file = FlagsOf(home_folder.fd, LastName(source));
  const Flags home = FlagsOf(home_folder.fd, ".").value_or(Flags{});
  const Refused refused = number == EPERM ? RefusalOf(home, file) : Refused::kNot;
  const std::string you = "you (" + UserName(geteuid()) + ")";
  if (refused == Refused::kEntry) {
    const bool immutable = (file->attributes & STATX_ATTR_IMMUTABLE) != 0;
    return {named(source) +
                (immutable ? " is immutable (chattr +i)" : " is append-only (chattr +a)") +
                ": no one may rename it",
            std::string("as root, run chattr ") + (immutable ? "-i " : "-a ") +
                Quote(FromHere(source, here))};
  }
  if (refused == Refused::kFolder) {
    return {"the folder " + named(from) + " is append-only (chattr +a): no name may leave it",
            "as root, run chattr -a " + Quote(FromHere(from, here))};
  }
  if (refused == Refused::kSticky) {
    const std::string owner = UserName(file->owner);
    return {"the folder " + named(from) +
                " is sticky (as /tmp is): only the owner of a file or of the folder may rename a "
                "file in it, and neither " +
                named(source) + " (" + owner + "'s) nor the folder (" + UserName(home.owner) +
                "'s) is yours (" + UserName(geteuid()) + ")",
            "run Brennel as " + owner + (file->owner == 0 ? "" : " or root") +
                ", or have root give you the mod's files (chown)"};
  }
  if (number == EACCES) {
    const bool leaving = faccessat(home_folder.fd, ".", W_OK | X_OK, AT_EACCESS) != 0;
    const Flags denied =
        FlagsOf(leaving ? home_folder.fd : FolderAt(folder).fd, ".").value_or(Flags{});
    char mode[8];
    std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(denied.mode & 07777));
    return {you + " may not write the folder " + named(leaving ? from : folder) + " (owner " +
                UserName(denied.owner) + ", mode " + mode + ")",
            "run Brennel as a user who may, or let yours (chmod, chown)"};
  }
  if (number == EROFS) {
    return {"the folder " + named(from) + " is on a file system mounted read-only",
            "mount it read-write, or put the mod on a disk that is"};
  }
  if (number == EXDEV) {
    return {named(source) + " and the folder " + named(folder) +
                " are on different file systems, and a rename does not copy",
            "keep the mod's files on one"};
  }
  return {};
}

std::string NameKeyOf(std::string_view name) { return NameKey(name); }

std::string MoveCommand(const std::string& from, const std::string& to) {
  return "mv -n -- " + Quote(from) + " " + Quote(to);
}

std::vector<std::vector<std::string>> DryRun::CaseTwins(const std::string& folder) {
  std::unordered_map<std::string, std::vector<std::string>> by_key;
  SystemDisk().ReadNames(FolderAt(folder).fd, [&](std::string_view name, Listed) {
    by_key[NameKey(name)].emplace_back(name);
  });
  std::vector<std::vector<std::string>> twins;
  for (auto& [key, names] : by_key) {
    if (names.size() > 1) twins.push_back(std::move(names));
  }
  return twins;
}

}  // namespace tavrik
