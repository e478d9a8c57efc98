// The dry run on Linux: the walk's own code (path_walk.h) over a disk that
// puts the run's renames on top of the system's, read and never written;
// and what Linux refuses a rename by beyond names and permission bits, so
// that a check neither promises a walk the system will stop nor leaves the
// refusal unexplained.

#include <fcntl.h>
#include <limits.h>
#include <malloc.h>
#include <linux/capability.h>
#include <linux/fs.h>
#include <pwd.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <unordered_map>
#include <unordered_set>

#include "dry_run.h"
#include "list_path.h"
#include "listing.h"
#include "name_key.h"
#include "name_rule.h"
#include "path_walk.h"
#include "shown_text.h"
#include "system_disk.h"

namespace tavrik {

namespace {

constexpr unsigned long long kFlagsAsked = STATX_ATTR_IMMUTABLE | STATX_ATTR_APPEND;

// What of an entry decides a refusal beyond names and permission bits.
struct Flags {
  unsigned long long attributes = 0;  // kFlagsAsked: chattr +i, +a
  mode_t mode = 0;                    // for a folder, the sticky bit
  uid_t owner = 0;
  std::uint64_t mount = 0;  // a rename between two is refused
};

// `name` in `folder`, links not followed: 0 or the errno.
int StatxOf(int folder, const std::string& name, struct statx& status) {
  return statx(folder, name.c_str(), AT_SYMLINK_NOFOLLOW | AT_STATX_SYNC_AS_STAT,
               STATX_BASIC_STATS | STATX_MNT_ID, &status) == 0
             ? 0
             : errno;
}

bool Told(const struct statx& status) {
  return (status.stx_attributes_mask & kFlagsAsked) == kFlagsAsked;
}

Flags FlagsFrom(const struct statx& status) {
  return {Told(status) ? status.stx_attributes & kFlagsAsked : 0, status.stx_mode, status.stx_uid,
          (status.stx_mask & STATX_MNT_ID) != 0
              ? status.stx_mnt_id
              : makedev(status.stx_dev_major, status.stx_dev_minor)};
}

// Those of `name` in `folder` ("." for the folder itself), links not
// followed; none when they cannot be asked.
std::optional<Flags> FlagsOf(int folder, const std::string& name) {
  struct statx status;
  if (StatxOf(folder, name, status) != 0) return std::nullopt;
  Flags flags = FlagsFrom(status);
  // Where the file system does not report them to statx, FS_IOC_GETFLAGS
  // does, on an entry opened (so only files and folders that may be read).
  if (Told(status) || (!S_ISREG(status.stx_mode) && !S_ISDIR(status.stx_mode))) return flags;
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

// Why the system refuses (EPERM) to move an entry out of its folder: the
// entry is immutable or append-only; the folder is immutable or append-only;
// or the folder is sticky and neither the entry nor the folder is the user's,
// who lacks CAP_FOWNER. Of an entry unknown, only its folder's flags foresee anything.
enum class Refused : unsigned char { kNot, kEntry, kFolder, kSticky };
Refused RefusalOf(const Flags& folder, const std::optional<Flags>& entry) {
  if (entry && (entry->attributes & kFlagsAsked) != 0) return Refused::kEntry;
  if ((folder.attributes & kFlagsAsked) != 0) return Refused::kFolder;
  if (!entry || (folder.mode & S_ISVTX) == 0) return Refused::kNot;  // asks no more, most folders
  const uid_t user = geteuid();
  if (entry->owner == user || folder.owner == user) return Refused::kNot;
  static const bool fowner = [] {
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[_LINUX_CAPABILITY_U32S_3] = {};
    if (syscall(SYS_capget, &header, data) != 0) return geteuid() == 0;
    return (data[CAP_TO_INDEX(CAP_FOWNER)].effective & CAP_TO_MASK(CAP_FOWNER)) != 0;
  }();
  return fowner ? Refused::kNot : Refused::kSticky;
}

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

// The names of `folder` that differ from another there only in case, in groups.
std::vector<std::vector<std::string>> TwinsIn(int folder);

std::string UserName(uid_t user) {
  const passwd* entry = getpwuid(user);
  return entry != nullptr ? std::string(entry->pw_name) : "user " + std::to_string(user);
}

std::string Quote(const std::string& path) {
  std::string quoted = "'";
  for (const char c : path) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

// "(owner root, mode 0700)": what decides who may use a folder.
std::string OwnerAndMode(const Flags& flags) {
  char mode[8];
  std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(flags.mode & 07777));
  return "(owner " + UserName(flags.owner) + ", mode " + mode + ")";
}

using Identity = std::pair<dev_t, ino_t>;
using Place = std::pair<Identity, std::string>;  // in order, a folder's names together
// What a walk reads of an entry's status: a check keeps thousands.
struct Status {
  dev_t dev = 0;
  ino_t ino = 0;
  std::uint32_t nlink = 0;  // no file system reports more links
  mode_t mode = 0;
  static Status Of(const struct stat& status) {
    return {status.st_dev, status.st_ino, static_cast<std::uint32_t>(status.st_nlink),
            status.st_mode};
  }
  void To(struct stat& status) const {
    status = {};
    status.st_dev = dev, status.st_ino = ino, status.st_nlink = nlink, status.st_mode = mode;
  }
};

// Folders are the system's own (a dry run moves none); a file is known by
// its folder's device and inode and its name, as the system knows it. A
// check foresees the disk as it was when it looked: what the system says of
// a name or a folder is asked once a check and kept, so that its many walks
// cost one walk's questions, and nothing is watched.
class PosixDryRun : public RecordingDryRun<Place, Status>, public Disk {
 public:
  void BeginWalk() override {
    walk_.Forget();
    here_.clear();
  }
  void EndWalk() override { walk_.Forget(); }
  void BeginPair(std::size_t pair, const std::string& source, const std::string& target) override {
    DryRun::BeginPair(pair, source, target);
    walk_.BeginPair(source, target);
  }
  std::string FindFile(const std::string& path) override { return walk_.FindFile(path); }
  void RenameFile(const std::string& source, const std::string& target) override {
    walk_.RenameFile(source, target);
  }
  void Reset() override {
    ForgetWaypoints();
    walk_.Forget();
    RecordingDryRun::Reset();
    made_.clear();
    // A walk's moves of a long list leave the heap full of holes: given back
    // between walks, so that the next one's are not added on top.
    malloc_trim(0);
  }

  PathFacts Facts(const std::string& path) override {
    if (path.empty() || path.find('\0') != std::string::npos || IsDriveOrShare(path) ||
        TooLongForWindows(path)) {
      return {};
    }
    walk_.folders().Refresh();
    if (here_.empty()) {
      const std::unique_ptr<char, decltype(&std::free)> here(getcwd(nullptr, 0), &std::free);
      here_ = here != nullptr ? here.get() : ".";
    }
    const NameRule::Reached reached = walk_.names().FolderOf(std::string_view(path));
    if (reached.number != 0) {  // where the text leads; a ".." is left only at its start
      const ListPath names = ParseListPath(path);
      std::string where = names.from_root ? "" : here_;
      for (const std::string_view name : names.names) {
        if (name == "..")
          where.erase(std::min(where.rfind('/'), where.size()));
        else
          where.append("/").append(name);
      }
      return {.where = where};
    }
    const std::string_view last = std::string_view(path).substr(LastNameStart(path));
    const bool names_folder = NamesFolder(last);
    const NameRule::Entry entry =
        names_folder ? NameRule::Entry() : walk_.names().Find(*reached.folder, last);
    const std::string& folder = HeldOf(walk_.folders().Handle(*reached.folder)).path;
    const std::string_view name =
        !entry.name.empty() || names_folder ? entry.name : WithoutTrailingDots(last);
    std::string where;  // built in one allocation: a check asks this of every entry
    where.reserve(here_.size() + folder.size() + name.size() + 2);
    AppendName(
        folder.starts_with('/') ? where.append(folder) : AppendName(where.append(here_), folder),
        name);
    return {.folder_found = !names_folder,
            .file_found = !entry.name.empty(),
            .folder_other_case = (reached.matched & kMatchedOtherCase) != 0,
            .folder_trailing_dots = (reached.matched & kMatchedTrimmed) != 0,
            .file_other_case = (entry.matched & kMatchedOtherCase) != 0,
            .file_trailing_dots = (entry.matched & kMatchedTrimmed) != 0,
            .where = std::move(where)};
  }

  // The disk the walk sees.
  int Open(FolderHandle folder, const std::string& name, FolderHandle& opened,
           bool& linked) override {
    // What the run moved decides where a name leads: a file moved there is
    // no folder, and a link whose file was moved away leads nowhere.
    if (!AllPlaces().empty() && name.find('/') == std::string::npos && name != ".") {
      struct stat status;
      if (const int number = Stat(folder, name, true, status)) return number;
      if (!S_ISDIR(status.st_mode)) return ENOTDIR;
    }
    if (const int number = real_.Open(folder, name, opened, linked)) return number;
    struct stat status {};
    real_.Stat(opened, ".", true, status);
    const std::string path = name.starts_with('/')    ? name
                             : name == "."            ? ""
                             : name.starts_with("./") ? name.substr(2)
                                                      : JoinPath(HeldOf(folder).path, name);
    folders_[opened] = {{status.st_dev, status.st_ino}, path};
    return 0;
  }
  void Close(FolderHandle folder) override {
    folders_.erase(folder);
    real_.Close(folder);
  }

  int Stat(FolderHandle folder, const std::string& name, bool follow,
           struct stat& status) override {
    // A folder's own status is asked of the open folder: cheap, and not kept.
    if (name == ".") return real_.Stat(folder, name, follow, status);
    if (AllPlaces().empty()) return RealStat(folder, name, follow, status);
    if (const auto* there = At({IdentityOf(folder), Spelled(folder, name)})) {
      if (!*there) return ENOENT;  // moved away
      (*there)->data.To(status);
      return follow && S_ISLNK(status.st_mode)
                 ? Follow(folder, link_texts_[{status.st_dev, status.st_ino}], status)
                 : 0;
    }
    if (!follow) return RealStat(folder, name, follow, status);
    if (const int number = RealStat(folder, name, false, status)) return number;
    return S_ISLNK(status.st_mode) ? Follow(folder, LinkText(folder, name), status) : 0;
  }

  int ReadNames(FolderHandle folder,
                const std::function<void(std::string_view, Listed)>& add) override {
    const Identity identity = IdentityOf(folder);
    const Said& said = ReadOnce(folder);
    if (*said.read != 0) return *said.read;
    const Places& places = AllPlaces();
    for (const auto& [name, listed] : said.names) {
      if (places.empty() || At({identity, name}) == nullptr) add(name, listed);
    }
    for (auto at = places.lower_bound({identity, ""});
         at != places.end() && at->first.first == identity; ++at) {
      if (at->second) add(at->first.second, {});
    }
    return 0;
  }

  int Move(FolderHandle from, const std::string& from_name, FolderHandle to,
           const std::string& to_name) override {
    return Rename(from, from_name, to, to_name, true);
  }
  int Respell(FolderHandle folder, const std::string& name, const std::string& respelled) override {
    return Rename(folder, name, folder, respelled, false);
  }
  bool Twinless() const override { return twinless_; }
  std::vector<std::vector<std::string>> CaseTwins(const std::string& folder) override {
    const int at = OpenFolder(folder);
    std::vector<std::vector<std::string>> twins = TwinsIn(at);
    if (at >= 0) close(at);
    return twins;
  }
  ~PosixDryRun() override { ForgetWaypoints(); }
  // Nothing is watched (nothing changes in a check); each folder has a number
  // of its own, as the walk keeps its folders by watch.
  int Watch(FolderHandle, int known) override { return known >= 0 ? known : watches_++; }
  void Unwatch(int) override {}
  bool Changes(std::vector<NameChange>&) override { return true; }

 private:
  struct Held {
    Identity identity;
    std::string path;  // from the working directory, or the root, as the walk reached it
  };
  struct Asked {  // what the disk said of a name
    int number = 0;
    Status status;
  };
  struct Said {               // what the disk said of a folder and its names
    std::optional<int> read;  // the errno of reading its names, once read
    std::vector<std::pair<std::string, Listed>> names;
    std::optional<int> writable;  // 0 or the errno: a read-only mount, no permission
    Flags flags;
    bool case_asked = false;           // whether its file system finds names in any case,
    bool ignores_case = false;         // ...and the answer
    std::unique_ptr<Listing> listing;  // its names in any case, kept where it does
  };

  // The folder at `path` (from the root, or else the working directory),
  // entered from the deepest of the folders kept open every kEvery names on
  // the way of the paths asked before: a check lists each folder on the way
  // of a path thousands deep, and entering each from the root would take
  // time that grows with the square of its depth. -1 when it cannot be.
  int OpenFolder(const std::string& path) {
    constexpr std::size_t kEvery = 4;
    static const std::size_t kKept = FoldersOpen() / 2;  // beside the walk's own, as many
    constexpr int kFlags = O_PATH | O_DIRECTORY | O_CLOEXEC;
    std::vector<std::pair<std::size_t, std::size_t>> names;  // where each starts and ends
    for (std::size_t at = 0, end; at < path.size(); at = end + 1) {
      end = std::min(path.find('/', at), path.size());
      if (end > at) names.emplace_back(at, end);
    }
    std::size_t entered = names.size() / kEvery * kEvery;
    int fd = -1;
    while (entered > 0) {
      const auto kept = waypoints_.find(std::string_view(path).substr(0, names[entered - 1].second));
      if (kept != waypoints_.end() && (fd = dup(kept->second)) >= 0) break;
      entered -= kEvery;
    }
    if (fd < 0) fd = open(path.starts_with('/') ? "/" : ".", kFlags);
    for (std::size_t i = entered; fd >= 0 && i < names.size(); ++i) {
      const auto [start, end] = names[i];
      const int next = openat(fd, path.substr(start, end - start).c_str(), kFlags);
      close(fd);
      fd = next;
      if (fd < 0 || (i + 1) % kEvery != 0) continue;
      if (waypoints_.size() >= kKept) ForgetWaypoints();
      const int kept = dup(fd);
      if (kept >= 0 && !waypoints_.try_emplace(path.substr(0, end), kept).second) close(kept);
    }
    return fd;
  }
  void ForgetWaypoints() {
    for (const auto& [path, fd] : waypoints_) close(fd);
    waypoints_.clear();
  }

  Said& ReadOnce(FolderHandle folder) {
    Said& said = said_[IdentityOf(folder)];
    if (!said.read) {
      said.read = real_.ReadNames(folder, [&](std::string_view name, Listed listed) {
        said.names.emplace_back(name, listed);
      });
      said.names.shrink_to_fit();  // kept for the whole check
      std::unordered_set<std::string> keys;
      twinless_ = twinless_ && *said.read == 0;
      for (std::size_t i = 0; twinless_ && i < said.names.size(); ++i) {
        twinless_ = keys.insert(NameKey(WithoutTrailingDots(said.names[i].first))).second;
      }
    }
    return said;
  }

  // The spelling the run keeps `name` of `folder` under. Where the file
  // system finds a name in any case (exFAT, NTFS with ignore_case), a walk
  // hands it the list's spelling and it reaches the entry the folder lists:
  // each name is kept under the folder's spelling, or the first the run made
  // there (`made`), so that a file moved away is gone in every case.
  std::string Spelled(FolderHandle folder, const std::string& name, bool made = false) {
    Said& said = ReadOnce(folder);
    if (!IgnoresCase(folder, said)) return name;
    if (const auto listed = said.listing->MatchesOf(name); !listed.empty()) {
      return listed.begin()->first;
    }
    Listing& ours = made_[IdentityOf(folder)];
    if (const auto spelled = ours.MatchesOf(name); !spelled.empty()) return spelled.begin()->first;
    if (made) ours.Insert(name);
    return name;
  }

  // Asked once, as the walk asks it, of a name the folder lists; a folder
  // that cannot tell goes by the last one told on its device.
  bool IgnoresCase(FolderHandle folder, Said& said) {
    if (said.case_asked) return said.ignores_case;
    said.case_asked = true;
    auto kept = std::make_unique<Listing>();
    Listing& listing = *kept;
    for (const auto& [name, listed] : said.names) listing.Insert(name, listed);
    bool& device = ignores_case_[IdentityOf(folder).first];
    try {
      for (const auto& [name, listed] : said.names) {
        if (const std::optional<bool> told = FindsInAnyCase(real_, folder, name, &listing)) {
          device = *told;
          break;
        }
      }
    } catch (const Error&) {  // cannot be told
    }
    // Only a folder whose names are found in any case is asked of its listing again.
    if (device) said.listing = std::move(kept);
    return said.ignores_case = device;
  }

  const Held& HeldOf(FolderHandle folder) const {
    static const Held kNone{};
    const auto held = folders_.find(folder);
    return held != folders_.end() ? held->second : kNone;
  }
  Identity IdentityOf(FolderHandle folder) const { return HeldOf(folder).identity; }
  std::string PathOf(const Place& place) const {
    const auto folder = paths_.find(place.first);
    return JoinPath(folder != paths_.end() ? folder->second : "", place.second);
  }
  std::pair<std::string, std::string> PathsOf(const Place& place,
                                              const Entry& entry) const override {
    return {PathOf(*entry.origin), PathOf(place)};
  }

  // An entry that is no link is the same followed or not: asked once.
  int RealStat(FolderHandle folder, const std::string& name, bool follow, struct stat& status) {
    const auto ask = [&](bool followed) -> const Asked& {
      const auto [at, fresh] = asked_[followed].try_emplace({IdentityOf(folder), name});
      if (fresh) at->second.number = StatusOf(folder, name, followed, at->second.status);
      return at->second;
    };
    const Asked* said = &ask(false);
    if (follow && said->number == 0 && S_ISLNK(said->status.mode)) said = &ask(true);
    said->status.To(status);
    return said->number;
  }

  // A name's status, its link followed or not. Not followed, one statx also
  // tells, where the file system reports them, the flags a rename asks of its file.
  int StatusOf(FolderHandle folder, const std::string& name, bool follow, Status& status) {
    if (follow) {
      struct stat told {};
      const int number = real_.Stat(folder, name, true, told);
      status = Status::Of(told);
      return number;
    }
    struct statx answer;
    if (const int number = StatxOf(folder, name, answer)) return number;
    status = {makedev(answer.stx_dev_major, answer.stx_dev_minor), answer.stx_ino, answer.stx_nlink,
              answer.stx_mode};
    if (Told(answer) && !S_ISDIR(answer.stx_mode)) {  // a folder is never renamed
      flags_.try_emplace({status.dev, status.ino}, FlagsFrom(answer));
    }
    return 0;
  }

  const Said& FactsOf(FolderHandle folder) {
    const Identity identity = IdentityOf(folder);
    Said& said = said_[identity];
    if (!said.writable) {
      said.flags = FlagsOf(folder, ".").value_or(Flags{.mount = identity.first});
      said.writable = faccessat(folder, ".", W_OK | X_OK, AT_EACCESS) != 0 ? errno : 0;
    }
    return said;
  }

  // A move (never onto an entry) or a respelling (onto the entry itself).
  int Rename(FolderHandle from, const std::string& from_name, FolderHandle to,
             const std::string& to_name, bool move) {
    struct stat status, there;
    if (Stat(from, from_name, false, status) != 0) return ENOENT;
    if (move && Stat(to, to_name, false, there) == 0) return EEXIST;
    if (to_name.size() > NAME_MAX) return ENAMETOOLONG;
    const Place source{IdentityOf(from), Spelled(from, from_name)};
    const auto* moved = At(source);
    const Status moving = moved != nullptr ? (*moved)->data : Status::Of(status);
    // Asked where the entry is on disk, before the run first moves it.
    const auto [flags, fresh] = flags_.try_emplace({status.st_dev, status.st_ino});
    if (fresh) flags->second = FlagsOf(from, from_name);
    const Said &home = FactsOf(from), &target = FactsOf(to);
    if (*home.writable != 0) return *home.writable;
    if (RefusalOf(home.flags, flags->second) != Refused::kNot) return EPERM;
    if (*target.writable != 0) return *target.writable;
    if (home.flags.mount != target.flags.mount) return EXDEV;
    if (moved == nullptr && S_ISLNK(status.st_mode)) {
      link_texts_.try_emplace({status.st_dev, status.st_ino}, LinkText(from, from_name));
    }
    for (const FolderHandle folder : {from, to}) {
      paths_.try_emplace(IdentityOf(folder), HeldOf(folder).path);
    }
    RecordMove(source, {IdentityOf(to), Spelled(to, to_name, true)}, moving);
    return 0;
  }

  // The kernel follows links on the disk as it is, but the run may have moved
  // a link or its file: a link's folders are the disk's, its last name the run's.
  int Follow(FolderHandle folder, const std::string& text, struct stat& status) {
    if (hops_ == 40) return ELOOP;  // the kernel's own limit
    ++hops_;
    const std::size_t slash = text.rfind('/');
    FolderHandle at = folder;
    bool linked = false;
    int number = slash == std::string::npos
                     ? 0
                     : Open(folder, slash == 0 ? "/" : text.substr(0, slash), at, linked);
    if (number == 0) {
      const std::string name = text.substr(slash + 1);
      number = Stat(at, name.empty() ? "." : name, true, status);
      if (at != folder) Close(at);
    }
    --hops_;
    return number;
  }

  static std::string LinkText(FolderHandle folder, const std::string& name) {
    char text[PATH_MAX];
    const ssize_t size = readlinkat(folder, name.c_str(), text, sizeof text);
    return size < 0 ? std::string() : std::string(text, static_cast<std::size_t>(size));
  }

  SystemDisk real_;
  std::map<FolderHandle, Held> folders_;
  // The path of each folder a move left or entered, as the walk that moved first reached it.
  std::map<Identity, std::string> paths_;
  std::map<Identity, Said> said_;
  // By folder and name, links not followed and followed: one map, not one a
  // folder, for lists that go through thousands of folders.
  std::map<Place, Asked> asked_[2];
  std::map<Identity, Listing> made_;    // by folder: the names Spelled keeps that the run made
  std::map<Identity, std::string> link_texts_;  // of the links moved, by device and inode
  std::map<dev_t, bool> ignores_case_;  // the last folder's told of each device
  // Of the entries renamed, or asked where statx tells them, by device and inode.
  std::map<Identity, std::optional<Flags>> flags_;
  bool twinless_ = true;  // of the folders listed
  int hops_ = 0;          // links being followed
  int watches_ = 0;       // numbers given
  std::map<std::string, int, std::less<>> waypoints_;  // OpenFolder's, by path
  std::string here_;      // the working directory's path, during a walk
  PathWalk walk_{*this};
};

}  // namespace

std::unique_ptr<DryRun> MakeDryRun() { return std::make_unique<PosixDryRun>(); }

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
  if (refused == Refused::kEntry) {
    const bool immutable = (file->attributes & STATX_ATTR_IMMUTABLE) != 0;
    return {named(source) +
                (immutable ? " is immutable (chattr +i)" : " is append-only (chattr +a)") +
                ": no one may rename it",
            std::string("as root, run chattr ") + (immutable ? "-i " : "-a ") +
                Quote(FromHere(source, here))};
  }
  // An immutable folder takes no name in either; an append-only one lets names in.
  const Flags into = FlagsOf(FolderAt(folder).fd, ".").value_or(Flags{});
  const bool entering =
      refused == Refused::kNot && number == EPERM && (into.attributes & STATX_ATTR_IMMUTABLE) != 0;
  if (refused == Refused::kFolder || entering) {
    const std::string& there = entering ? folder : from;
    const bool immutable = entering || (home.attributes & STATX_ATTR_IMMUTABLE) != 0;
    return {"the folder " + named(there) +
                (immutable ? " is immutable (chattr +i): no name may leave or enter it"
                           : " is append-only (chattr +a): no name may leave it"),
            std::string("as root, run chattr ") + (immutable ? "-i " : "-a ") +
                Quote(FromHere(there, here))};
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
    // A folder on the way that may not be looked in comes first: nothing in it is reached.
    for (const std::string& path : {source, folder}) {
      if (auto unread = UnreadableCause(path, here); !unread.first.empty()) return unread;
    }
    const bool leaving = faccessat(home_folder.fd, ".", W_OK | X_OK, AT_EACCESS) != 0;
    const Flags denied =
        FlagsOf(leaving ? home_folder.fd : FolderAt(folder).fd, ".").value_or(Flags{});
    return {"you (" + UserName(geteuid()) + ") may not write the folder " +
                named(leaving ? from : folder) + " " + OwnerAndMode(denied),
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

std::pair<std::string, std::string> UnreadableCause(const std::string& path,
                                                    const std::string& here) {
  // From the working directory where the path is inside it, as the walk goes.
  const bool inside = path.starts_with(here + "/");
  const ListPath names = ParseListPath(inside ? std::string_view(path).substr(here.size() + 1)
                                              : std::string_view(path));
  constexpr int kFlags = O_PATH | O_DIRECTORY | O_CLOEXEC;
  const bool from_root = !inside && names.from_root;
  std::string at = from_root ? "" : here;
  int fd = open(from_root ? "/" : ".", kFlags);
  // Each folder on the way in turn: one the user may not enter hides all
  // below it; one that may not be listed, a name not there as spelled.
  bool unread = false;
  for (std::size_t i = 0; fd >= 0 && !unread; ++i) {
    if (faccessat(fd, ".", X_OK, AT_EACCESS) != 0) {
      unread = true;
    } else if (i < names.names.size()) {
      const int next = openat(fd, std::string(names.names[i]).c_str(), kFlags);
      if (next < 0) {
        unread = errno == ENOENT && faccessat(fd, ".", R_OK, AT_EACCESS) != 0;
        if (!unread) break;
      } else {
        close(fd);
        fd = next;
        at.append("/").append(names.names[i]);
      }
    } else {
      break;
    }
  }
  std::pair<std::string, std::string> cause;
  struct statx status;
  if (unread &&
      statx(fd, "", AT_EMPTY_PATH | AT_STATX_SYNC_AS_STAT, STATX_BASIC_STATS, &status) == 0) {
    cause = {"you (" + UserName(geteuid()) + ") may not read the folder " +
                 Named(FromHere(at.empty() ? "/" : at, here)) + " " +
                 OwnerAndMode(FlagsFrom(status)),
             "run Brennel as a user who may, or let yours (chmod, chown)"};
  }
  if (fd >= 0) close(fd);
  return cause;
}

bool IsFolderPath(const std::string& path) {
  struct statx status;
  return StatxOf(FolderAt(FolderOf(path).empty() ? "/" : FolderOf(path)).fd, LastName(path),
                 status) == 0 &&
         S_ISDIR(status.stx_mode);
}

std::string NameKeyOf(std::string_view name) { return NameKey(name); }

std::string MoveCommand(const std::string& from, const std::string& to) {
  return "mv -n -- " + Quote(from) + " " + Quote(to);
}

std::vector<std::pair<std::string, bool>> DryRun::FolderNames(const std::string& folder) {
  const FolderAt at(folder);
  std::vector<std::pair<std::string, bool>> names;
  SystemDisk().ReadNames(at.fd, [&](std::string_view name, Listed listed) {
    struct statx status;
    const bool is_folder =
        listed.kind == Listed::Kind::kUnknown
            ? StatxOf(at.fd, std::string(name), status) == 0 && S_ISDIR(status.stx_mode)
            : listed.kind == Listed::Kind::kFolder;
    names.emplace_back(name, is_folder);
  });
  return names;
}

std::vector<std::vector<std::string>> DryRun::CaseTwins(const std::string& folder) {
  return TwinsIn(FolderAt(folder).fd);
}

namespace {

std::vector<std::vector<std::string>> TwinsIn(int folder) {
  std::unordered_map<std::string, std::vector<std::string>> by_key;
  SystemDisk().ReadNames(folder, [&](std::string_view name, Listed) {
    by_key[NameKey(name)].emplace_back(name);
  });
  std::vector<std::vector<std::string>> twins;
  for (auto& [key, names] : by_key) {
    if (names.size() > 1) twins.push_back(std::move(names));
  }
  return twins;
}

}  // namespace

}  // namespace tavrik
