#include "foresee_posix.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/capability.h>
#include <linux/fs.h>
#include <pwd.h>
#include <sys/ioctl.h>
#include <sys/syscall.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <algorithm>
#include <cstdio>
#include <memory>
#include <unordered_map>

#include "dry_run.h"
#include "name_key.h"
#include "path_walk.h"
#include "shown_text.h"

namespace tavrik {

namespace {

constexpr unsigned long long kFlagsAsked = STATX_ATTR_IMMUTABLE | STATX_ATTR_APPEND;

// The entry's immutable and append-only flags, from statx where the file
// system reports them there, else from FS_IOC_GETFLAGS (which needs the
// entry opened, and so only works for files and folders that may be read).
bool AskFlags(int handle, const std::string& name, int how, struct statx& status) {
  if (statx(handle, name.c_str(), how | AT_STATX_SYNC_AS_STAT, STATX_BASIC_STATS, &status) != 0) {
    return false;
  }
  if ((status.stx_attributes_mask & kFlagsAsked) == kFlagsAsked) return true;
  status.stx_attributes = 0;
  if (!S_ISREG(status.stx_mode) && !S_ISDIR(status.stx_mode)) return true;
  const int fd =
      openat(handle, name.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return true;  // cannot be told: nothing foreseen
  int flags = 0;
  if (ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0) {
    if (flags & FS_IMMUTABLE_FL) status.stx_attributes |= STATX_ATTR_IMMUTABLE;
    if (flags & FS_APPEND_FL) status.stx_attributes |= STATX_ATTR_APPEND;
  }
  close(fd);
  return true;
}

// The folder at `path` (from the root, or else the working directory),
// entered a name at a time as the walk enters it, so that a path past
// PATH_MAX is reached too; fd() is -1 when it cannot be.
class FolderAt {
 public:
  explicit FolderAt(const std::string& path) {
    constexpr int kFlags = O_PATH | O_DIRECTORY | O_CLOEXEC;
    fd_ = open(path.compare(0, 1, "/") == 0 ? "/" : ".", kFlags);
    for (std::size_t at = 0; fd_ >= 0 && at < path.size();) {
      const std::size_t end = std::min(path.find('/', at), path.size());
      if (end > at) {
        const int next = openat(fd_, path.substr(at, end - at).c_str(), kFlags);
        close(fd_);
        fd_ = next;
      }
      at = end + 1;
    }
  }
  ~FolderAt() {
    if (fd_ >= 0) close(fd_);
  }
  FolderAt(const FolderAt&) = delete;
  FolderAt& operator=(const FolderAt&) = delete;
  int fd() const { return fd_; }

 private:
  int fd_ = -1;
};

bool HasFownerCapability() {
  __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
  __user_cap_data_struct data[_LINUX_CAPABILITY_U32S_3] = {};
  if (syscall(SYS_capget, &header, data) != 0) return geteuid() == 0;
  return (data[CAP_TO_INDEX(CAP_FOWNER)].effective & CAP_TO_MASK(CAP_FOWNER)) != 0;
}

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

Failure FailureOf(std::int64_t number) {
  switch (number) {
    case ENOTUNIQ:
      return Failure::kAmbiguous;
    case EEXIST:
    case ENOTEMPTY:
      return Failure::kTaken;
    case ENOENT:
    case ENOTDIR:
      return Failure::kNotFound;
    case EPERM:
    case EACCES:
    case EROFS:
    case EXDEV:
    case EBUSY:
    case ETXTBSY:
      return Failure::kRefused;
    default:
      return Failure::kOther;
  }
}

std::pair<std::string, std::string> RefusalCause(std::int64_t number, const std::string& source,
                                                 const std::string& folder,
                                                 const std::string& here) {
  const auto named = [&](const std::string& path) { return Named(FromHere(path, here)); };
  const std::string from = FolderOf(source).empty() ? "/" : FolderOf(source);
  const FolderAt home_folder(from);
  struct statx file, home;  // the file, and the folder it would leave
  const bool file_known =
      AskFlags(home_folder.fd(), LastName(source), AT_SYMLINK_NOFOLLOW, file);
  const bool home_known = AskFlags(home_folder.fd(), ".", 0, home);
  const std::string you = "you (" + UserName(geteuid()) + ")";
  if (number == EPERM && file_known && (file.stx_attributes & kFlagsAsked) != 0) {
    const bool immutable = (file.stx_attributes & STATX_ATTR_IMMUTABLE) != 0;
    return {named(source) +
                (immutable ? " is immutable (chattr +i)" : " is append-only (chattr +a)") +
                ": no one may rename it",
            std::string("as root, run chattr ") + (immutable ? "-i " : "-a ") +
                Quote(FromHere(source, here))};
  }
  if (number == EPERM && home_known && (home.stx_attributes & STATX_ATTR_APPEND) != 0) {
    return {"the folder " + named(from) + " is append-only (chattr +a): no name may leave it",
            "as root, run chattr -a " + Quote(FromHere(from, here))};
  }
  if (number == EPERM && home_known && file_known && (home.stx_mode & S_ISVTX) != 0) {
    const std::string owner = UserName(file.stx_uid);
    return {"the folder " + named(from) + " is sticky (as /tmp is), and " + named(source) +
                " belongs to " + owner + ", not to " + you + " nor to the folder's owner (" +
                UserName(home.stx_uid) + ")",
            "run Brennel as " + owner + (file.stx_uid == 0 ? "" : " or root") +
                ", or have root give you the mod's files (chown)"};
  }
  if (number == EACCES) {
    const bool leaving = faccessat(home_folder.fd(), ".", W_OK | X_OK, AT_EACCESS) != 0;
    struct stat denied {};
    fstatat(leaving ? home_folder.fd() : FolderAt(folder).fd(), ".", &denied, 0);
    char mode[8];
    std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(denied.st_mode & 07777));
    return {you + " may not write the folder " + named(leaving ? from : folder) + " (owner " +
                UserName(denied.st_uid) + ", mode " + mode + ")",
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

int RefusalForesight::Refusal(int handle, Identity folder_identity, const std::string& name,
                              const struct stat& status) {
  const Known& folder = Folder(handle, folder_identity);
  if (folder.attributes & STATX_ATTR_APPEND) return EPERM;
  const Known* entry = Entry(handle, name, status);
  if (entry == nullptr) return 0;
  if (entry->attributes & kFlagsAsked) return EPERM;
  if ((folder.mode & S_ISVTX) != 0) {
    const uid_t user = geteuid();
    if (fowner_ < 0) fowner_ = HasFownerCapability() ? 1 : 0;
    if (entry->owner != user && folder.owner != user && fowner_ == 0) return EPERM;
  }
  return 0;
}

const RefusalForesight::Known* RefusalForesight::Entry(int handle, const std::string& name,
                                                       const struct stat& status) {
  const Version version{status.st_dev, status.st_ino, status.st_ctim.tv_sec,
                        status.st_ctim.tv_nsec};
  if (const auto known = entries_.find(version); known != entries_.end()) return &known->second;
  struct statx asked;
  // Not at its place on disk (moved by the dry run before it was asked
  // about): nothing is foreseen rather than another entry's flags.
  if (!AskFlags(handle, name, AT_SYMLINK_NOFOLLOW, asked) || asked.stx_ino != status.st_ino ||
      makedev(asked.stx_dev_major, asked.stx_dev_minor) != status.st_dev) {
    return nullptr;
  }
  return &entries_.emplace(version, Known{asked.stx_attributes, asked.stx_mode, asked.stx_uid})
              .first->second;
}

const RefusalForesight::Known& RefusalForesight::Folder(int handle, Identity identity) {
  if (const auto known = folders_.find(identity); known != folders_.end()) return known->second;
  struct statx asked;
  Known folder;
  if (AskFlags(handle, ".", 0, asked)) {
    folder = {asked.stx_attributes, asked.stx_mode, asked.stx_uid};
  }
  return folders_.emplace(identity, folder).first->second;
}

std::vector<std::vector<std::string>> DryRun::CaseTwins(const std::string& folder) {
  std::vector<std::vector<std::string>> twins;
  const int fd = openat(FolderAt(folder).fd(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  const std::unique_ptr<DIR, int (*)(DIR*)> listing(fd < 0 ? nullptr : fdopendir(fd), closedir);
  if (listing == nullptr) {
    if (fd >= 0) close(fd);
    return twins;
  }
  std::unordered_map<std::string, std::vector<std::string>> by_key;
  while (const dirent* entry = readdir(listing.get())) {
    const std::string_view name = entry->d_name;
    if (name == "." || name == "..") continue;
    by_key[NameKey(name)].emplace_back(name);
  }
  for (auto& [key, names] : by_key) {
    if (names.size() > 1) twins.push_back(std::move(names));
  }
  return twins;
}

}  // namespace tavrik
