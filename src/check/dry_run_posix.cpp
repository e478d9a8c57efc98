// The dry run on Linux: the walk's own code (path_walk.h) over the disk with
// the run's renames on top, read and never written.

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <memory>

#include "dry_run.h"
#include "foresee_posix.h"
#include "list_path.h"
#include "name_key.h"
#include "path_walk.h"
#include "system_platform.h"

namespace tavrik {

namespace {

std::string WorkingDirectory() {
  char path[PATH_MAX];
  return getcwd(path, sizeof path) != nullptr ? path : ".";
}

// A folder's path from the root, `here` being the working directory's.
std::string Absolute(const std::string& folder, const std::string& here) {
  if (!folder.empty() && folder[0] == '/') return folder;
  return JoinPath(here, folder);
}

// What a rename on the system would make of a folder beyond the names in
// it: whether it may be written (not on a read-only mount, permitted), and
// the mount it is on (a rename between two is refused).
struct FolderFacts {
  int writable = 0;  // 0 or the errno of writing
  std::uint64_t mount = 0;
};

FolderFacts FactsOf(const std::string& folder, dev_t device) {
  const std::string path = folder.empty() ? "." : folder;
  FolderFacts facts;
  if (faccessat(AT_FDCWD, path.c_str(), W_OK | X_OK, AT_EACCESS) != 0 && errno != ENAMETOOLONG) {
    facts.writable = errno;
  }
  struct statx status;
  const bool known = statx(AT_FDCWD, path.c_str(), 0, STATX_MNT_ID, &status) == 0 &&
                     (status.stx_mask & STATX_MNT_ID) != 0;
  facts.mount = known ? status.stx_mnt_id : device;
  return facts;
}

// The disk with a dry run's renames on top. A folder is known by its device
// and inode here, as the system knows it: a file moved through one path of
// a folder is there by any other.
class OverlayDisk : public Disk {
 public:
  std::size_t renames = 0;

  int Stat(const std::string& folder, const std::string& name, bool follow,
           struct stat& status) override {
    Place place;
    if (const int number = PlaceOf(folder, name, place)) return number;
    if (const auto* moved = moves_.At(place)) {
      status = moved->data.status;
    } else if (moves_.Left(place)) {
      return ENOENT;
    } else if (const int number = Disk::Stat(folder, name, false, status)) {
      return number;
    }
    // A rename follows the presence test of its source: it needs this again.
    last_ = {std::move(place), status};
    if (!follow || !S_ISLNK(status.st_mode)) return 0;
    if (moves_.Empty()) return Disk::Stat(folder, name, true, status);
    return Follow(Physical(folder), name, status);
  }

  int ReadNames(const std::string& folder,
                const std::function<void(std::string_view)>& add) override {
    Identity identity;
    if (const int number = IdentityOf(folder, identity)) return number;
    const int number = Disk::ReadNames(folder, [&](std::string_view name) {
      if (!moves_.Left({identity, std::string(name)})) add(name);
    });
    if (number != 0) return number;
    const auto& entries = moves_.Entries();
    for (auto at = entries.lower_bound({identity, ""});
         at != entries.end() && at->first.first == identity; ++at) {
      add(at->first.second);
    }
    return 0;
  }

  int Move(const std::string& from, const std::string& from_name, const std::string& to,
           const std::string& to_name) override {
    Link moving;
    Place source, target;
    if (PlaceOf(from, from_name, source) != 0) return ENOENT;
    if (const int number = PlaceOf(to, to_name, target)) return number;
    if (last_.first == source) {
      moving.status = last_.second;
    } else if (Stat(from, from_name, false, moving.status) != 0) {
      return ENOENT;
    }
    struct stat there;
    if (Stat(to, to_name, false, there) == 0) return EEXIST;
    return Record(from, from_name, source, to, to_name, target, std::move(moving));
  }

  int Respell(const std::string& folder, const std::string& name,
              const std::string& respelled) override {
    Link moving;
    Place source, target;
    if (const int number = PlaceOf(folder, name, source)) return number;
    PlaceOf(folder, respelled, target);
    if (Stat(folder, name, false, moving.status) != 0) return ENOENT;
    return Record(folder, name, source, folder, respelled, target, std::move(moving));
  }

  void Clear() {
    moves_.Clear();
    folders_.clear();
    identities_.clear();
    last_ = {};
    renames = 0;
  }

  bool AllBack() const { return moves_.AllBack(); }
  std::vector<std::pair<std::string, std::string>> Moved() const { return moves_.Displaced(); }

 private:
  using Identity = std::pair<dev_t, ino_t>;
  using Place = std::pair<Identity, std::string>;
  // A moved entry itself, and what it says when it is a link.
  struct Link {
    struct stat status {};
    std::string text;
  };

  int Record(const std::string& from, const std::string& from_name, const Place& source,
             const std::string& to, const std::string& to_name, const Place& target, Link moving) {
    if (to_name.size() > NAME_MAX) return ENAMETOOLONG;
    const FolderFacts& source_folder = Facts(from, source.first);
    const FolderFacts& target_folder = Facts(to, target.first);
    if (source_folder.writable != 0) return source_folder.writable;
    // What the system refuses by flags and the sticky bit (foresee_posix.h).
    if (const int refused = foresight_.Refusal(from, source.first, from_name, moving.status)) {
      return refused;
    }
    if (target_folder.writable != 0) return target_folder.writable;
    if (source_folder.mount != target_folder.mount) return EXDEV;
    if (S_ISLNK(moving.status.st_mode)) {
      const auto* moved = moves_.At(source);
      moving.text =
          moved != nullptr ? moved->data.text : LinkText(JoinPath(Physical(from), from_name));
    }
    moves_.Move(source, JoinPath(from, from_name), target, JoinPath(to, to_name),
                std::move(moving));
    // A folder reached through a name that came or went may be another now.
    for (auto known = identities_.begin(); known != identities_.end();) {
      const bool through = Through(known->first, from_name) || Through(known->first, to_name);
      known = through ? identities_.erase(known) : std::next(known);
    }
    ++renames;
    return 0;
  }

  // True when `name` is one of the names of the folder path `folder`.
  static bool Through(const std::string& folder, const std::string& name) {
    for (std::size_t at = folder.find(name); at != std::string::npos;
         at = folder.find(name, at + 1)) {
      const std::size_t end = at + name.size();
      if ((at == 0 || folder[at - 1] == '/') && (end == folder.size() || folder[end] == '/')) {
        return true;
      }
    }
    return false;
  }

  // The folder's device and inode, as the system would reach it with the
  // run's renames made: a moved file on the way is no folder.
  int IdentityOf(const std::string& folder, Identity& identity) {
    const auto known = identities_.find(folder);
    if (known != identities_.end()) {
      identity = known->second.second;
      return known->second.first;
    }
    struct stat status {};
    int number = Disk::Stat(folder, ".", true, status);
    if (number != 0 && !moves_.Empty()) number = ThroughMoves(folder, status);
    if (number == 0 && !S_ISDIR(status.st_mode)) number = ENOTDIR;
    identity = {status.st_dev, status.st_ino};
    identities_[folder] = {number, identity};
    return number;
  }

  // Past a name the run moved there (a file is no folder) or away.
  int ThroughMoves(const std::string& folder, struct stat& status) {
    if (folder.empty() || folder == "/") return Disk::Stat(folder, ".", true, status);
    const std::size_t slash = folder.rfind('/');
    if (slash == std::string::npos) return Stat("", folder, true, status);
    return Stat(folder.substr(0, slash == 0 ? 1 : slash), folder.substr(slash + 1), true, status);
  }

  int PlaceOf(const std::string& folder, const std::string& name, Place& place) {
    Identity identity;
    const int number = IdentityOf(folder, identity);
    place = {identity, name};
    return number;
  }

  static std::string Physical(const std::string& folder) {
    std::unique_ptr<char, decltype(&std::free)> path(
        realpath(folder.empty() ? "." : folder.c_str(), nullptr), &std::free);
    return path != nullptr ? path.get() : folder;
  }

  // The kernel follows links on the disk as it is; the run's renames may
  // have moved a link's file away, or a link itself: follow link after link
  // here, each in the folder it lies in, as the kernel would.
  int Follow(std::string folder, std::string name, struct stat& status) const {
    for (int hop = 0; hop < 40; ++hop) {  // the kernel's own limit
      struct stat place;
      if (stat(folder.c_str(), &place) != 0) return errno;
      std::string text;
      const Place here{{place.st_dev, place.st_ino}, name};
      if (const auto* moved = moves_.At(here)) {
        status = moved->data.status;
        text = moved->data.text;
      } else if (moves_.Left(here)) {
        return ENOENT;
      } else {
        const std::string path = folder + "/" + name;
        if (lstat(path.c_str(), &status) != 0) return errno;
        if (S_ISLNK(status.st_mode)) text = LinkText(path);
      }
      if (!S_ISLNK(status.st_mode)) return 0;
      const std::string next = text.empty() || text[0] != '/' ? folder + "/" + text : text;
      const std::size_t slash = next.rfind('/');
      folder = next.substr(0, slash);
      name = next.substr(slash + 1);
      if (folder.empty()) folder.assign(1, '/');
      if (name.empty() || name == "." || name == "..")
        return stat(next.c_str(), &status) == 0 ? 0 : errno;
    }
    return ELOOP;
  }

  std::string LinkText(const std::string& path) const {
    char text[PATH_MAX];
    const ssize_t size = readlink(path.c_str(), text, sizeof text);
    return size < 0 ? std::string() : std::string(text, static_cast<std::size_t>(size));
  }

  const FolderFacts& Facts(const std::string& folder, const Identity& identity) {
    const auto known = folders_.find(identity);
    if (known != folders_.end()) return known->second;
    return folders_.emplace(identity, FactsOf(folder, identity.first)).first->second;
  }

  RecordedMoves<Place, Link> moves_;    // ordered by place: a folder's names are together
  std::pair<Place, struct stat> last_;  // the last entry asked for, as it is itself
  std::map<Identity, FolderFacts> folders_;
  std::map<std::string, std::pair<int, Identity>> identities_;  // by folder path
  RefusalForesight foresight_;
};

class PosixDryRun : public DryRun {
 public:
  void BeginWalk() override {
    walk_.Forget();
    here_.clear();
  }
  void EndWalk() override { walk_.Forget(); }
  std::string FindFile(const std::string& path) override { return walk_.FindFile(path); }
  void RenameFile(const std::string& source, const std::string& target) override {
    walk_.RenameFile(source, target);
  }
  std::unique_ptr<ByteSource> OpenListFile(const std::string& name) override {
    return system_.OpenListFile(name);
  }
  std::string DecodeLegacyText(std::string_view bytes) override {
    return system_.DecodeLegacyText(bytes);
  }

  void Reset() override {
    walk_.Forget();
    disk_.Clear();
  }
  std::size_t TakeRenames() override { return std::exchange(disk_.renames, 0); }
  bool AllBack() const override { return disk_.AllBack(); }
  std::vector<std::pair<std::string, std::string>> Moved() const override { return disk_.Moved(); }

  PathFacts Facts(const std::string& path) override {
    PathFacts facts;
    if (path.empty() || path.find('\0') != std::string::npos || IsDriveOrShare(path) ||
        TooLongForWindows(path)) {
      return facts;
    }
    const Resolver::Trace trace = walk_.names().TraceOf(path);
    const ListPath names = ParseListPath(path);
    if (here_.empty()) here_ = WorkingDirectory();
    const std::string& here = here_;
    if (trace.folder.number != 0) {
      facts.where = names.from_root ? "" : here;
      for (const std::string_view name : names.names) {
        if (name != "..") {
          facts.where += '/';
          facts.where += name;
        } else if (facts.where.rfind('/') != std::string::npos) {
          facts.where.erase(facts.where.rfind('/'));
        }
      }
      return facts;
    }
    const std::string_view last = names.names.empty() ? "" : names.names.back();
    const std::string name =
        trace.entry.name.empty() ? std::string(WithoutTrailingDots(last)) : trace.entry.name;
    facts.folder_found = !names.names_folder;
    facts.file_found = !trace.entry.name.empty();
    facts.folder_other_case = (trace.folder.matched & kMatchedOtherCase) != 0;
    facts.folder_trailing_dots = (trace.folder.matched & kMatchedTrimmed) != 0;
    facts.file_other_case = (trace.entry.matched & kMatchedOtherCase) != 0;
    facts.file_trailing_dots = (trace.entry.matched & kMatchedTrimmed) != 0;
    facts.name = name;
    const std::string folder = Absolute(trace.folder.path, here);
    facts.where = JoinPath(folder, names.names_folder ? "" : name);
    facts.identity = JoinPath(folder, NameKey(name));
    return facts;
  }

 private:
  SystemPlatform system_{nullptr};  // lists are read as the tool reads them
  std::string here_;                // the working directory's path, during a walk
  OverlayDisk disk_;
  PathWalk walk_{disk_};
};

}  // namespace

std::unique_ptr<DryRun> MakeDryRun() { return std::make_unique<PosixDryRun>(); }

}  // namespace tavrik
