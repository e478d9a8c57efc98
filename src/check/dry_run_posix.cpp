// The dry run on Linux: the walk's own code (path_walk.h) over a disk that
// puts the run's renames on top of the system's, read and never written.

#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <memory>
#include <tuple>
#include <unordered_map>

#include "dry_run.h"
#include "foresee_posix.h"
#include "list_path.h"
#include "name_key.h"
#include "path_walk.h"
#include "system_disk.h"
#include "system_platform.h"

namespace tavrik {

namespace {

std::string WorkingDirectory() {
  std::unique_ptr<char, decltype(&std::free)> path(getcwd(nullptr, 0), &std::free);
  return path != nullptr ? path.get() : ".";
}

// What a rename on the system would make of a folder beyond the names in
// it: whether it may be written (not on a read-only mount, permitted), and
// the mount it is on (a rename between two is refused).
struct FolderFacts {
  int writable = 0;  // 0 or the errno of writing
  std::uint64_t mount = 0;
};

FolderFacts FactsOf(FolderHandle folder, dev_t device) {
  FolderFacts facts;
  if (faccessat(folder, ".", W_OK | X_OK, AT_EACCESS) != 0) facts.writable = errno;
  struct statx status;
  const bool known =
      statx(folder, ".", 0, STATX_MNT_ID, &status) == 0 && (status.stx_mask & STATX_MNT_ID) != 0;
  facts.mount = known ? status.stx_mnt_id : device;
  return facts;
}

// The system's disk with a dry run's renames on top. Folders are the
// system's own (a dry run moves none); a file is known by its folder's
// device and inode and its name, as the system knows it: a file moved
// through one path of a folder is there by any other. A check foresees the
// disk as it was when it looked: what the system says of a name or a folder
// is asked once a check and kept, so that its many walks cost one walk's
// questions, and there are no watches (nothing the check does changes the
// disk, and what another program changes meanwhile no check can promise).
class OverlayDisk : public Disk {
 public:
  std::size_t renames = 0;

  int Open(FolderHandle folder, const std::string& name, FolderHandle& opened,
           bool& linked) override {
    // What the run moved decides where a name leads: a file moved there is
    // no folder, and a link whose file was moved away leads nowhere.
    if (!moves_.Empty() && name.find('/') == std::string::npos && name != ".") {
      struct stat status;
      if (const int number = Stat(folder, name, true, status)) return number;
      if (!S_ISDIR(status.st_mode)) return ENOTDIR;
    }
    if (const int number = real_.Open(folder, name, opened, linked)) return number;
    struct stat status {};
    real_.Stat(opened, ".", true, status);
    const auto parent = folders_.find(folder);
    const std::string path =
        name == "/"   ? "/"
        : name == "." ? ""
                      : JoinPath(parent != folders_.end() ? parent->second.path : "", name);
    folders_[opened] = {{status.st_dev, status.st_ino}, path};
    return 0;
  }
  void Close(FolderHandle folder) override {
    folders_.erase(folder);
    real_.Close(folder);
  }

  int Stat(FolderHandle folder, const std::string& name, bool follow,
           struct stat& status) override {
    if (name == ".") return RealStat(folder, name, follow, status);
    const Place place{IdentityOf(folder), name};
    if (const auto* moved = moves_.At(place)) {
      status = moved->data.status;
      if (!follow || !S_ISLNK(status.st_mode)) return 0;
      return Follow(folder, moved->data.text, status);
    }
    if (moves_.Left(place)) return ENOENT;
    if (moves_.Empty() || !follow) return RealStat(folder, name, follow, status);
    if (const int number = RealStat(folder, name, false, status)) return number;
    return S_ISLNK(status.st_mode) ? Follow(folder, LinkText(folder, name), status) : 0;
  }

  int ReadNames(FolderHandle folder,
                const std::function<void(std::string_view, Listed)>& add) override {
    const Identity identity = IdentityOf(folder);
    auto known = listings_.find(identity);
    if (known == listings_.end()) {
      Names names;
      names.number = real_.ReadNames(folder, [&](std::string_view name, Listed listed) {
        names.names.emplace_back(name, listed);
      });
      known = listings_.emplace(identity, std::move(names)).first;
    }
    if (const int number = known->second.number) return number;
    for (const auto& [name, listed] : known->second.names) {
      if (moves_.Empty() || !moves_.Left({identity, name})) add(name, listed);
    }
    const auto& entries = moves_.Entries();
    for (auto at = entries.lower_bound({identity, ""});
         at != entries.end() && at->first.first == identity; ++at) {
      add(at->first.second, {});
    }
    return 0;
  }

  int Move(FolderHandle from, const std::string& from_name, FolderHandle to,
           const std::string& to_name) override {
    Link moving;
    if (Stat(from, from_name, false, moving.status) != 0) return ENOENT;
    struct stat there;
    if (Stat(to, to_name, false, there) == 0) return EEXIST;
    return Record(from, from_name, to, to_name, std::move(moving));
  }

  int Respell(FolderHandle folder, const std::string& name, const std::string& respelled) override {
    Link moving;
    if (Stat(folder, name, false, moving.status) != 0) return ENOENT;
    return Record(folder, name, folder, respelled, std::move(moving));
  }

  int Watch(FolderHandle) override { return 0; }
  bool Changes(std::vector<int>&) override { return true; }

  void Clear() {
    moves_.Clear();
    facts_.clear();
    renames = 0;
  }
  bool AllBack() const { return moves_.AllBack(); }
  std::vector<std::pair<std::string, std::string>> Moved() const { return moves_.Displaced(); }
  /// The folder's path from the working directory, or the root, as the walk
  /// reached it.
  const std::string& PathOf(FolderHandle folder) const {
    static const std::string kNone;
    const auto held = folders_.find(folder);
    return held != folders_.end() ? held->second.path : kNone;
  }

 private:
  using Identity = std::pair<dev_t, ino_t>;
  using Place = std::pair<Identity, std::string>;
  // A moved entry itself, and what it says when it is a link.
  struct Link {
    struct stat status {};
    std::string text;
  };
  struct Held {
    Identity identity;
    std::string path;  // from the working directory, or the root
  };
  struct Names {  // a folder's listing on the disk, or the errno of reading it
    int number = 0;
    std::vector<std::pair<std::string, Listed>> names;
  };
  struct Asked {  // what the disk said of a name
    int number = 0;
    struct stat status {};
  };
  struct PlaceHash {
    std::size_t operator()(const std::tuple<Identity, std::string, bool>& key) const {
      const auto& [identity, name, follow] = key;
      return std::hash<std::string>()(name) ^ (identity.second * 0x9E3779B97F4A7C15u) ^
             (identity.first << 1) ^ follow;
    }
  };
  struct IdentityHash {
    std::size_t operator()(const Identity& identity) const {
      return identity.second * 0x9E3779B97F4A7C15u ^ identity.first;
    }
  };

  // An entry that is no link is the same followed or not: asked once.
  int RealStat(FolderHandle folder, const std::string& name, bool follow, struct stat& status) {
    const Identity identity = IdentityOf(folder);
    const Asked* asked = &Ask(folder, identity, name, false);
    if (follow && asked->number == 0 && S_ISLNK(asked->status.st_mode))
      asked = &Ask(folder, identity, name, true);
    status = asked->status;
    return asked->number;
  }
  const Asked& Ask(FolderHandle folder, const Identity& identity, const std::string& name,
                   bool follow) {
    auto key = std::make_tuple(identity, name, follow);
    auto known = stats_.find(key);
    if (known != stats_.end()) return known->second;
    Asked asked;
    asked.number = real_.Stat(folder, name, follow, asked.status);
    return stats_.emplace(std::move(key), asked).first->second;
  }

  Identity IdentityOf(FolderHandle folder) const {
    const auto held = folders_.find(folder);
    return held != folders_.end() ? held->second.identity : Identity{};
  }

  int Record(FolderHandle from, const std::string& from_name, FolderHandle to,
             const std::string& to_name, Link moving) {
    if (to_name.size() > NAME_MAX) return ENAMETOOLONG;
    const Place source{IdentityOf(from), from_name}, target{IdentityOf(to), to_name};
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
      moving.text = moved != nullptr ? moved->data.text : LinkText(from, from_name);
    }
    moves_.Move(source, JoinPath(PathOf(from), from_name), target, JoinPath(PathOf(to), to_name),
                std::move(moving));
    ++renames;
    return 0;
  }

  // The kernel follows links on the disk as it is; the run's renames may
  // have moved a link's file away, or a link itself: the last name of each
  // link's text is looked up here, its folders on the disk.
  int Follow(FolderHandle folder, std::string text, struct stat& status) {
    for (int hop = 0; hop < 40; ++hop) {  // the kernel's own limit
      const std::size_t slash = text.rfind('/');
      const std::string name = slash == std::string::npos ? text : text.substr(slash + 1);
      FolderHandle at = folder;
      bool linked = false;
      if (slash != std::string::npos) {
        const std::string path = slash == 0 ? "/" : text.substr(0, slash);
        if (const int number = Open(folder, path, at, linked)) return number;
      }
      const bool last = name.empty() || name == "." || name == "..";
      const int number = last ? RealStat(at, name.empty() ? "." : name, true, status)
                              : Stat(at, name, false, status);
      const bool link = number == 0 && !last && S_ISLNK(status.st_mode);
      if (link) {
        const auto* moved = moves_.At({IdentityOf(at), name});
        text = moved != nullptr ? moved->data.text : LinkText(at, name);
      }
      if (at != folder) Close(at);
      if (!link) return number;
    }
    return ELOOP;
  }

  static std::string LinkText(FolderHandle folder, const std::string& name) {
    char text[PATH_MAX];
    const ssize_t size = readlinkat(folder, name.c_str(), text, sizeof text);
    return size < 0 ? std::string() : std::string(text, static_cast<std::size_t>(size));
  }

  const FolderFacts& Facts(FolderHandle folder, const Identity& identity) {
    const auto known = facts_.find(identity);
    if (known != facts_.end()) return known->second;
    return facts_.emplace(identity, FactsOf(folder, identity.first)).first->second;
  }

  SystemDisk real_;
  RecordedMoves<Place, Link> moves_;  // ordered by place: a folder's names are together
  std::map<FolderHandle, Held> folders_;
  std::map<Identity, FolderFacts> facts_;
  std::unordered_map<Identity, Names, IdentityHash> listings_;
  std::unordered_map<std::tuple<Identity, std::string, bool>, Asked, PlaceHash> stats_;
  RefusalForesight foresight_;
};

class PosixDryRun : public DryRun {
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
    walk_.folders().Refresh();
    // The text's last name is the parsed one but where it names a folder:
    // parsed only then, and where no folder is reached.
    const std::string_view spelled = std::string_view(path).substr(LastNameStart(path));
    const bool names_folder = NamesFolder(spelled);
    const NameRule::Reached reached = walk_.names().FolderOf(std::string_view(path));
    NameRule::Entry entry;
    if (reached.number == 0 && !names_folder) entry = walk_.names().Find(*reached.folder, spelled);
    if (here_.empty()) here_ = WorkingDirectory();
    const ListPath names = reached.number != 0 || names_folder ? ParseListPath(path) : ListPath();
    if (reached.number != 0) {
      facts.where = names.from_root ? "" : here_;
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
    const std::string_view last = !names_folder       ? spelled
                                  : names.names.empty() ? ""
                                                        : names.names.back();
    const std::string name =
        entry.name.empty() ? std::string(WithoutTrailingDots(last)) : entry.name;
    facts.folder_found = !names_folder;
    facts.file_found = !entry.name.empty();
    facts.folder_other_case = (reached.matched & kMatchedOtherCase) != 0;
    facts.folder_trailing_dots = (reached.matched & kMatchedTrimmed) != 0;
    facts.file_other_case = (entry.matched & kMatchedOtherCase) != 0;
    facts.file_trailing_dots = (entry.matched & kMatchedTrimmed) != 0;
    facts.name = name;
    std::string folder = disk_.PathOf(reached.folder->handle);
    if (folder.empty() || folder[0] != '/') folder = JoinPath(here_, folder);
    facts.where = JoinPath(folder, names_folder ? "" : name);
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
