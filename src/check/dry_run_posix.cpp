// The dry run on Linux: the walk's own code (path_walk.h) over a disk that
// puts the run's renames on top of the system's, read and never written.

#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <map>
#include <memory>
#include <optional>
#include <unordered_map>

#include "dry_run.h"
#include "foresee_posix.h"
#include "list_path.h"
#include "name_key.h"
#include "path_walk.h"
#include "system_disk.h"

namespace tavrik {

namespace {

using Identity = std::pair<dev_t, ino_t>;
using Place = std::pair<Identity, std::string>;  // in order, a folder's names together
// A moved entry itself, and what it says when it is a link.
struct Link {
  struct stat status {};
  std::string text;
};

// Folders are the system's own (a dry run moves none); a file is known by
// its folder's device and inode and its name, as the system knows it: a file
// moved through one path of a folder is there by any other. A check foresees
// the disk as it was when it looked: what the system says of a name or a
// folder is asked once a check and kept, so that its many walks cost one
// walk's questions, and there are no watches (nothing the check does
// changes the disk, and what another program changes meanwhile no check
// can promise).
class PosixDryRun : public RecordingDryRun<Place, Link>, public Disk {
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
    walk_.Forget();
    RecordingDryRun::Reset();
  }

  PathFacts Facts(const std::string& path) override {
    PathFacts facts;
    if (path.empty() || path.find('\0') != std::string::npos || IsDriveOrShare(path) ||
        TooLongForWindows(path)) {
      return facts;
    }
    walk_.folders().Refresh();
    if (here_.empty()) {
      const std::unique_ptr<char, decltype(&std::free)> here(getcwd(nullptr, 0), &std::free);
      here_ = here != nullptr ? here.get() : ".";
    }
    // The text's last name is the parsed one but where it names a folder:
    // parsed only then, and where no folder is reached.
    const std::string_view spelled = std::string_view(path).substr(LastNameStart(path));
    const bool names_folder = NamesFolder(spelled);
    const NameRule::Reached reached = walk_.names().FolderOf(std::string_view(path));
    const ListPath names = reached.number != 0 || names_folder ? ParseListPath(path) : ListPath();
    if (reached.number != 0) {  // where the text leads
      facts.where = names.from_root ? "" : here_;
      for (const std::string_view name : names.names) {  // a ".." is left only at the start
        if (name == "..")
          facts.where.erase(std::min(facts.where.rfind('/'), facts.where.size()));
        else
          facts.where.append("/").append(name);
      }
      return facts;
    }
    const NameRule::Entry entry =
        names_folder ? NameRule::Entry() : walk_.names().Find(*reached.folder, spelled);
    std::string_view last = spelled;
    if (names_folder) last = names.names.empty() ? "" : names.names.back();
    facts.name = entry.name.empty() ? std::string(WithoutTrailingDots(last)) : entry.name;
    facts.folder_found = !names_folder;
    facts.file_found = !entry.name.empty();
    facts.folder_other_case = (reached.matched & kMatchedOtherCase) != 0;
    facts.folder_trailing_dots = (reached.matched & kMatchedTrimmed) != 0;
    facts.file_other_case = (entry.matched & kMatchedOtherCase) != 0;
    facts.file_trailing_dots = (entry.matched & kMatchedTrimmed) != 0;
    std::string folder = HeldOf(reached.folder->handle).path;
    if (folder.empty() || folder[0] != '/') folder = JoinPath(here_, folder);
    facts.where = JoinPath(folder, names_folder ? "" : facts.name);
    facts.identity = JoinPath(folder, NameKey(facts.name));
    return facts;
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
    const std::string path = name == "/"   ? "/"
                             : name == "." ? ""
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
    if (name == ".") return RealStat(folder, name, follow, status);
    if (const auto* there = At({IdentityOf(folder), name})) {
      if (!*there) return ENOENT;  // moved away
      status = (*there)->data.status;
      return follow && S_ISLNK(status.st_mode) ? Follow(folder, (*there)->data.text, status) : 0;
    }
    if (AllPlaces().empty() || !follow) return RealStat(folder, name, follow, status);
    if (const int number = RealStat(folder, name, false, status)) return number;
    return S_ISLNK(status.st_mode) ? Follow(folder, LinkText(folder, name), status) : 0;
  }

  int ReadNames(FolderHandle folder,
                const std::function<void(std::string_view, Listed)>& add) override {
    const Identity identity = IdentityOf(folder);
    Said& said = said_[identity];
    if (!said.read) {
      said.read = real_.ReadNames(folder, [&](std::string_view name, Listed listed) {
        said.names.emplace_back(name, listed);
      });
    }
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

  int Watch(FolderHandle) override { return 0; }
  bool Changes(std::vector<int>&) override { return true; }

 private:
  struct Held {
    Identity identity;
    std::string path;  // from the working directory, or the root, as the walk reached it
  };
  struct Asked {  // what the disk said of a name
    int number = 0;
    struct stat status {};
  };
  struct Said {               // what the disk said of a folder and its names
    std::optional<int> read;  // the errno of reading its names, once read
    std::vector<std::pair<std::string, Listed>> names;
    std::unordered_map<std::string, Asked> asked[2];  // by name: links not followed, followed
    // What a rename would make of it beyond its names: whether it may be
    // written (0 or the errno: a read-only mount, no permission), its flags.
    std::optional<int> writable;
    Flags flags;
  };

  const Held& HeldOf(FolderHandle folder) const {
    static const Held kNone{};
    const auto held = folders_.find(folder);
    return held != folders_.end() ? held->second : kNone;
  }
  Identity IdentityOf(FolderHandle folder) const { return HeldOf(folder).identity; }

  // An entry that is no link is the same followed or not: asked once.
  int RealStat(FolderHandle folder, const std::string& name, bool follow, struct stat& status) {
    auto& asked = said_[IdentityOf(folder)].asked;
    const auto ask = [&](bool followed) -> const Asked& {
      const auto [at, fresh] = asked[followed].try_emplace(name);
      if (fresh) at->second.number = real_.Stat(folder, name, followed, at->second.status);
      return at->second;
    };
    const Asked* said = &ask(false);
    if (follow && said->number == 0 && S_ISLNK(said->status.st_mode)) said = &ask(true);
    status = said->status;
    return said->number;
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
    const Place source{IdentityOf(from), from_name};
    const auto* moved = At(source);
    Link moving = moved != nullptr ? (*moved)->data : Link{status, ""};
    // Asked where the entry is on disk, before the run first moves it.
    const auto [flags, fresh] = flags_.try_emplace({status.st_dev, status.st_ino});
    if (fresh) flags->second = FlagsOf(from, from_name);
    const Said &home = FactsOf(from), &target = FactsOf(to);
    if (*home.writable != 0) return *home.writable;
    if (RefusalOf(home.flags, flags->second) != Refused::kNot) return EPERM;
    if (*target.writable != 0) return *target.writable;
    if (home.flags.mount != target.flags.mount) return EXDEV;
    if (moved == nullptr && S_ISLNK(status.st_mode)) moving.text = LinkText(from, from_name);
    RecordMove(source, JoinPath(HeldOf(from).path, from_name), {IdentityOf(to), to_name},
               JoinPath(HeldOf(to).path, to_name), std::move(moving));
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
  std::map<Identity, Said> said_;
  std::map<Identity, std::optional<Flags>> flags_;  // of the entries renamed, by device and inode
  int hops_ = 0;                                    // links being followed
  std::string here_;                                // the working directory's path, during a walk
  PathWalk walk_{*this};
};

}  // namespace

std::unique_ptr<DryRun> MakeDryRun() { return std::make_unique<PosixDryRun>(); }

}  // namespace tavrik
