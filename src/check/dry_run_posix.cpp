// The dry run on Linux: the walk's own code (path_walk.h) over the disk with
// the run's renames on top, read and never written.

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <map>

#include "dry_run.h"
#include "foresee_posix.h"
#include "list_path.h"
#include "posix/name_key.h"
#include "posix/path_walk.h"
#include "system_platform.h"

namespace tavrik {

namespace {

std::string WorkingDirectory() {
  char path[PATH_MAX];
  return getcwd(path, sizeof path) != nullptr ? path : ".";
}

// A folder's path from the root, `here` being the working directory's.
std::string Absolute(const Folder& folder, const std::string& here) {
  if (!folder.path.empty() && folder.path[0] == '/') return folder.path;
  return JoinPath(here, folder.path);
}

// What a rename on the system would make of a folder beyond the names in
// it: whether it may be written (not on a read-only mount, permitted), and
// the mount it is on (a rename between two is refused).
struct FolderFacts {
  int writable = 0;  // 0 or the errno of writing
  std::uint64_t mount = 0;
};

FolderFacts FactsOf(const Folder& folder) {
  FolderFacts facts;
  if (faccessat(folder.fd, ".", W_OK | X_OK, AT_EACCESS) != 0) facts.writable = errno;
  struct statx status;
  const bool known = statx(folder.fd, "", AT_EMPTY_PATH, STATX_MNT_ID, &status) == 0 &&
                     (status.stx_mask & STATX_MNT_ID) != 0;
  facts.mount = known ? status.stx_mnt_id : folder.device;
  return facts;
}

// The disk with a dry run's renames on top. A folder is known by its device
// and inode here, as the system knows it: a file moved through one path of
// a folder is there by any other.
class OverlayDisk : public Disk {
 public:
  std::size_t renames = 0;

  int Stat(const Folder& folder, const std::string& name, bool follow,
           struct stat& status) override {
    Place place = PlaceOf(folder, name);
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
    return Follow(FolderPath(folder.fd), name, status);
  }

  int ReadNames(const Folder& folder, const std::function<void(std::string_view)>& add) override {
    const Identity identity{folder.device, folder.inode};
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

  int Move(const Folder& from, const std::string& from_name, const Folder& to,
           const std::string& to_name) override {
    Link moving;
    const Place source = PlaceOf(from, from_name);
    if (last_.first == source) {
      moving.status = last_.second;
    } else if (Stat(from, from_name, false, moving.status) != 0) {
      return ENOENT;
    }
    // A listed folder's names were checked against the target already.
    struct stat there;
    if (!to.listing && Stat(to, to_name, false, there) == 0 &&
        !(&from == &to && there.st_dev == moving.status.st_dev &&
          there.st_ino == moving.status.st_ino)) {
      return EEXIST;  // unless a file system that ignores case sees the file itself
    }
    if (to_name.size() > NAME_MAX) return ENAMETOOLONG;
    const FolderFacts& source_folder = Facts(from);
    const FolderFacts& target_folder = Facts(to);
    if (source_folder.writable != 0) return source_folder.writable;
    // What the system refuses by flags and the sticky bit (foresee_posix.h).
    if (const int number =
            foresight_.Refusal(from.fd, {from.device, from.inode}, from_name, moving.status)) {
      return number;
    }
    if (target_folder.writable != 0) return target_folder.writable;
    if (source_folder.mount != target_folder.mount) return EXDEV;
    if (S_ISLNK(moving.status.st_mode)) moving.text = LinkText(from, from_name);
    moves_.Move(source, JoinPath(from.path, from_name), PlaceOf(to, to_name),
                JoinPath(to.path, to_name), std::move(moving));
    ++renames;
    return 0;
  }

  void Clear() {
    moves_.Clear();
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

  std::string LinkText(const Folder& folder, const std::string& name) const {
    if (const auto* moved = moves_.At(PlaceOf(folder, name))) return moved->data.text;
    char text[PATH_MAX];
    const ssize_t size = readlinkat(folder.fd, name.c_str(), text, sizeof text);
    return size < 0 ? std::string() : std::string(text, static_cast<std::size_t>(size));
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

  static std::string LinkText(const std::string& path) {
    char text[PATH_MAX];
    const ssize_t size = readlink(path.c_str(), text, sizeof text);
    return size < 0 ? std::string() : std::string(text, static_cast<std::size_t>(size));
  }

  static std::string FolderPath(int fd) { return LinkText("/proc/self/fd/" + std::to_string(fd)); }

  static Place PlaceOf(const Folder& folder, const std::string& name) {
    return {{folder.device, folder.inode}, name};
  }

  const FolderFacts& Facts(const Folder& folder) {
    const auto known = folders_.find({folder.device, folder.inode});
    if (known != folders_.end()) return known->second;
    return folders_.emplace(Identity{folder.device, folder.inode}, FactsOf(folder)).first->second;
  }

  RecordedMoves<Place, Link> moves_;    // ordered by place: a folder's names are together
  std::pair<Place, struct stat> last_;  // the last entry asked for, as it is itself
  std::map<Identity, FolderFacts> folders_;
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
    const FolderTree::Trace trace = walk_.folders().TraceOf(path);
    const ListPath names = ParseListPath(path);
    if (here_.empty()) here_ = WorkingDirectory();
    const std::string& here = here_;
    if (trace.folder.folder == nullptr) {
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
    const std::string folder = Absolute(*trace.folder.folder, here);
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
