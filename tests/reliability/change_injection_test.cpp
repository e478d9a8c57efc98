// Another program changes the disk just before the walk's 1st, 2nd, ...
// system call of a pair, until the pair ends before reaching that call
// (fault_injection.h counts them beneath the real platform). After every
// run: no content lost or replaced, nothing moved but what the list names at
// that moment, to where it names, and the box true. Where the change comes
// after the pair's first call, the walk may have looked before it: what it
// does may follow the disk as the pair began (a folder it holds stays the
// pair's folder, wherever it was moved) or as the change left it.
//
// CI runs every scenario, call and change on the scratch folder's file
// system and a bindfs view, and the respellings on the FUSE file systems;
// BRENNEL_INJECT_ALL=1 runs everything everywhere.

#include <gtest/gtest.h>
#include <linux/capability.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <span>

#include "disk.h"
#include "fault_injection.h"
#include "launcher.h"
#include "scratch_folder.h"
#include "scratch_mounts.h"
#include "system_platform.h"

namespace tavrik {
namespace {

namespace fs = std::filesystem;
using Texts = std::vector<std::string>;
using fault_injection::NameChange;

struct Scenario {
  const char* name;
  Texts files;  // made before the walk, each with a content of its own
  Texts list;   // first, second, first, second...
  bool activate = true;
  bool unlistable = false;  // "Data" may be entered and written, not listed (mode 0300)
};

const Scenario kScenarios[] = {
    {"plain move", {"Data/a.dds"}, {"Data\\a.dds", "Data\\b.dds"}},
    {"move to another folder", {"Data/a.dds", "Other/keep"}, {"Data\\a.dds", "Other\\a.dds"}},
    {"case-only respelling", {"Data/rock.dds"}, {"Data\\rock.dds", "Data\\Rock.dds"}},
    {"case-only respelling back", {"Data/Rock.dds"}, {"Data\\rock.dds", "Data\\Rock.dds"}, false},
    {"target folder in another case", {"Data/a.dds"}, {"Data\\a.dds", "DATA\\b.dds"}},
    {"two pairs sharing a folder",
     {"Data/a.dds", "Data/c.dds"},
     {"Data\\a.dds", "Data\\b.dds", "Data\\c.dds", "Data\\d.dds"}},
    {"a respelled file moved on",
     {"Data/rock.dds"},
     {"Data\\rock.dds", "Data\\Rock.dds", "Data\\Rock.dds", "Data\\b.dds"}},
    {"respelling in an unlistable folder that holds the target",
     {"Data/rock.dds", "Data/Rock.dds"},
     {"Data\\rock.dds", "Data\\Rock.dds"},
     true,
     true},
};

// ".brennel-PID-N": a name of the walk's own, beside the file it moves.
bool OwnAside(std::string_view name) {
  if (!name.starts_with(".brennel-")) return false;
  name.remove_prefix(9);
  const std::size_t dash = name.find('-');
  const auto digits = [](std::string_view text) {
    return !text.empty() && text.find_first_not_of("0123456789") == std::string_view::npos;
  };
  return dash != std::string_view::npos && digits(name.substr(0, dash)) &&
         digits(name.substr(dash + 1));
}

bool Folded(char a, char b) { return std::tolower(a) == std::tolower(b); }
bool SameName(std::string_view a, std::string_view b, bool ignores_case) {
  return a.size() == b.size() &&
         (ignores_case ? std::equal(a.begin(), a.end(), b.begin(), Folded) : a == b);
}

// What the list's path named on the disk at one moment, found as the walk's
// rule finds names: as spelled, else the one entry of another case.
struct Named {
  std::optional<fs::path> folder;  // canonical
  std::string name;                // as listed; "" for none
  enum Kind { kNone, kFile, kOther, kAmbiguous } kind = kNone;
  std::string content;
};

struct Volume {
  std::string name;
  fs::path root;
  bool ignores_case = false;
  // No rename that refuses to replace, and no hard links (exfat-fuse): a
  // move looks at its target and then renames, and what another program
  // does in between is told apart as that window's, not a fault.
  bool looks_then_renames = false;
};

// A folder the walk may not list (mode 0300) has only the names as spelled.
bool Unlistable(const fs::path& folder) {
  struct stat status;
  return stat(folder.c_str(), &status) == 0 && (status.st_mode & S_IRUSR) == 0;
}

std::optional<std::string> Entry(const fs::path& folder, const std::string& spelled,
                                 bool& ambiguous) {
  std::optional<std::string> other;
  ambiguous = false;
  if (Unlistable(folder)) {
    if (fs::exists(fs::symlink_status(folder / spelled))) return spelled;
    return std::nullopt;
  }
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(folder, error)) {
    const std::string name = entry.path().filename().string();
    if (name == spelled) return name;
    if (SameName(name, spelled, true)) {
      ambiguous = other.has_value();
      other = name;
    }
  }
  return ambiguous ? std::nullopt : other;
}

Named Resolve(const std::string& path) {
  Named named;
  fs::path folder = fs::current_path();
  Texts names;
  for (std::size_t start = 0; start <= path.size();) {
    const std::size_t end = std::min(path.find_first_of("\\/", start), path.size());
    names.push_back(path.substr(start, end - start));
    start = end + 1;
  }
  for (std::size_t i = 0; i + 1 < names.size(); ++i) {
    bool ambiguous = false;
    const std::optional<std::string> name = Entry(folder, names[i], ambiguous);
    if (!name || !fs::is_directory(folder / *name)) return named;
    folder /= *name;
  }
  named.folder = fs::canonical(folder);
  bool ambiguous = false;
  const std::optional<std::string> name = Entry(folder, names.back(), ambiguous);
  if (ambiguous) named.kind = Named::kAmbiguous;
  if (!name) return named;
  named.name = *name;
  named.kind = fs::is_regular_file(folder / *name) ? Named::kFile : Named::kOther;
  if (named.kind == Named::kFile) named.content = ReadFile(folder / *name);
  return named;
}

// What a pair's walk should end in, with the disk as it was at one moment.
enum class Outcome { kMoves, kMissing, kAmbiguous, kNoFolder, kTaken };
struct Moment {
  Named source, target;
  bool taken = false;  // the target, or the name a respelling passes through where case is ignored
  Outcome outcome = Outcome::kMoves;  // for the walk's look
};

std::string LastName(const std::string& path) { return path.substr(path.find_last_of("\\/") + 1); }

Moment Look(const std::string& source, const std::string& target, const Volume& volume) {
  Moment at{Resolve(source), Resolve(target)};
  const std::string wanted = LastName(target);
  bool taken = false;
  if (at.target.folder && Unlistable(*at.target.folder)) {
    taken = fs::exists(fs::symlink_status(*at.target.folder / wanted));
  } else if (at.target.folder) {
    for (const auto& entry : fs::directory_iterator(*at.target.folder)) {
      const std::string name = entry.path().filename().string();
      const bool own = at.target.folder == at.source.folder && name == at.source.name;
      taken = taken || (!own && SameName(name, wanted, true));
    }
  }
  // Where the file system may also respell without it, the parked name
  // only may be in the way.
  const bool respelling = at.source.folder && at.source.folder == at.target.folder &&
                          SameName(at.source.name, wanted, true);
  at.taken =
      taken || (respelling && volume.ignores_case &&
                fs::exists(fs::symlink_status(*at.source.folder / RespellAside(at.source.name))));
  if (at.source.kind == Named::kAmbiguous) {
    at.outcome = Outcome::kAmbiguous;
  } else if (at.source.kind != Named::kFile) {
    at.outcome = Outcome::kMissing;
  } else if (!at.target.folder) {
    at.outcome = Outcome::kNoFolder;
  } else if (taken) {
    at.outcome = Outcome::kTaken;
  }
  return at;
}

// What a change did, for the checks.
struct Made {
  std::map<std::string, fs::path> contents;          // each content it wrote, where
  std::vector<std::pair<fs::path, fs::path>> moved;  // what it renamed, from and to
  std::set<std::string> names;                       // the names it made
  std::set<std::string> removed;                     // the contents it removed
};

// The pair's names at the moment of the change.
constexpr char kElsewhere[] = "elsewhere";

struct Names {
  const Moment& at;
  std::string source, target;  // as the list spells them
  std::string run;             // unique in the run
  Made& made;

  std::optional<fs::path> SourceFolder() const { return at.source.folder; }
  std::optional<fs::path> SourceFile() const {
    if (!at.source.folder || at.source.kind != Named::kFile) return std::nullopt;
    return *at.source.folder / at.source.name;
  }
  std::optional<fs::path> Target() const {
    if (!at.target.folder) return std::nullopt;
    return *at.target.folder / LastName(target);
  }
  std::string Unique(const std::string& what) {
    const std::string name = what + "." + run;
    made.names.insert(name);
    return name;
  }
  // The other program's own folder, which the walk never looks at: what it
  // moves there, or makes there first, makes no event in a folder the walk
  // watches.
  fs::path Away(const std::string& what) { return fs::current_path() / kElsewhere / Unique(what); }

  bool Create(const fs::path& path, const std::string& what) {
    const int fd = open(path.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    const std::string content = what + " by another program, " + run;
    const bool written =
        write(fd, content.data(), content.size()) == static_cast<ssize_t>(content.size());
    close(fd);
    made.contents.emplace(content, path);
    return written;
  }
  bool Folder(const fs::path& path) {
    return mkdir(path.c_str(), 0755) == 0 && Create(path / "marker", "a marker");
  }
  bool Rename(const fs::path& from, const fs::path& to) {
    if (rename(from.c_str(), to.c_str()) != 0) return false;
    made.moved.emplace_back(from, to);
    for (auto& [content, path] : made.contents) {  // what it made moves with it
      if (path == from) path = to;
      if (path.parent_path() == from) path = to / path.filename();
    }
    return true;
  }
  // A new file or folder made away and moved in, as a program that saves at once does.
  bool MoveIn(const fs::path& path, bool folder, const std::string& what) {
    const fs::path made_away = Away("new");
    return Free(path) && (folder ? Folder(made_away) : Create(made_away, what)) &&
           Rename(made_away, path);
  }
  bool Free(const fs::path& path) const { return !fs::exists(fs::symlink_status(path)); }
  // The source's name, as the list spells it, in the folder it names.
  std::optional<fs::path> SourceName() const {
    if (!at.source.folder) return std::nullopt;
    return *at.source.folder / LastName(source);
  }
};

struct Change {
  const char* name;
  std::function<bool(Names&)> apply;  // false: it cannot apply now
};

const Change kChanges[] = {
    {"create the target as a file",
     [](Names& n) { return n.Target() && n.Create(*n.Target(), "a file at the target"); }},
    {"create the target as a folder", [](Names& n) { return n.Target() && n.Folder(*n.Target()); }},
    {"create the target in another case",
     [](Names& n) {
       if (!n.Target()) return false;
       std::string name = LastName(n.target);
       std::string other = name;
       for (char& c : other) c = static_cast<char>(std::toupper(c));
       if (other == name)
         for (char& c : other) c = static_cast<char>(std::tolower(c));
       return n.Create(n.Target()->parent_path() / other, "the target in another case");
     }},
    {"remove the source",
     [](Names& n) {
       if (!n.SourceFile() || unlink(n.SourceFile()->c_str()) != 0) return false;
       n.made.removed.insert(n.at.source.content);
       return true;
     }},
    {"rename the source away",
     [](Names& n) { return n.SourceFile() && n.Rename(*n.SourceFile(), n.Away("away")); }},
    {"swap another file in under the source's name",
     [](Names& n) {
       return n.SourceFile() && n.Rename(*n.SourceFile(), n.Away("old")) &&
              n.MoveIn(*n.SourceName(), false, "a file swapped in");
     }},
    {"swap a folder in under the source's name",
     [](Names& n) {
       return n.SourceFile() && n.Rename(*n.SourceFile(), n.Away("old")) &&
              n.MoveIn(*n.SourceName(), true, "");
     }},
    {"move the source's folder away",
     [](Names& n) {
       return n.SourceFolder() && n.SourceFolder() != fs::current_path() &&
              n.Rename(*n.SourceFolder(), n.Away("moved"));
     }},
    {"replace the source's folder by a link",
     [](Names& n) {
       if (!n.SourceFolder() || n.SourceFolder() == fs::current_path()) return false;
       // The folder it leads to holds a file of the source's name.
       const fs::path linked = n.Away("linked"), folder = *n.SourceFolder();
       if (!n.Folder(linked) || !n.Create(linked / LastName(n.source), "a file elsewhere") ||
           !n.Rename(folder, n.Away("unlinked")))
         return false;
       if (symlink(linked.c_str(), folder.c_str()) == 0) return true;
       rename(n.Away("unlinked").c_str(), folder.c_str());  // a file system without links
       n.made.moved.pop_back();
       return false;
     }},
    {"move a folder in under the target's name",
     [](Names& n) { return n.Target() && n.MoveIn(*n.Target(), true, ""); }},
    {"make the parked name",
     [](Names& n) {
       return n.SourceFolder() &&
              n.Create(*n.SourceFolder() / RespellAside(LastName(n.source)), "a parked name");
     }},
};

// Root may read and write any folder: the checks that mode 0300 means
// apply while `on`.
void PermissionChecks(bool on) {
  __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
  __user_cap_data_struct data[2];
  syscall(SYS_capget, &header, data);
  for (const unsigned cap : {CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH}) {
    if (on) data[0].effective &= ~(1u << cap);
    if (!on) data[0].effective |= data[0].permitted & (1u << cap);
  }
  syscall(SYS_capset, &header, data);
}

enum Kind { kLost, kReplaced, kMisplaced, kFalseBox, kKinds };
const char* const kKindNames[] = {"lost", "replaced", "misplaced", "false box"};

struct Tally {
  int runs = 0, applied = 0, not_applicable = 0;
  int found[kKinds] = {};
  int in_window = 0;  // on a volume that looks then renames, within that window
};

// The real platform, which learns when each pair starts, looks and ends,
// and changes the disk before the chosen call of the chosen pair.
class InjectingPlatform : public SystemPlatform {
 public:
  InjectingPlatform(const Scenario& scenario, const Volume& volume, int pair, int nth,
                    const Change* change, std::string run)
      : SystemPlatform([this](const std::string& text) { messages.push_back(text); }),
        scenario_(scenario),
        volume_(volume),
        pair_(pair),
        nth_(nth),
        change_(change),
        run_(std::move(run)) {}

  struct Pair {
    std::string source, target;
    Moment start;                 // as the pair began
    std::optional<Moment> after;  // just after the change, when it was made in this pair
    bool taken_away = false;      // the change took the file from the name the pair began with
    int looked = 0, calls = -1;   // calls when its presence test ended, and in all
    std::size_t first_record = 0;
  };
  std::vector<Pair> pairs;
  Texts messages;
  Made made;
  std::optional<bool> applied;  // whether the change applied, once tried

  void BeginPair(std::size_t pair, const std::string& source, const std::string& target) override {
    EndPair();
    {
      const Outside outside(scenario_);
      Pair& begun = pairs.emplace_back();
      begun.source = source;
      begun.target = target;
      begun.start = Look(source, target, volume_);
      begun.first_record = fault_injection::NameChanges().size();
    }
    const bool chosen = static_cast<int>(pair) == pair_ && change_ != nullptr;
    fault_injection::ArmBefore(chosen ? nth_ : 0, [this] { Inject(); });
    SystemPlatform::BeginPair(pair, source, target);
  }
  std::string FindFile(const std::string& path) override {
    const std::string found = SystemPlatform::FindFile(path);
    pairs.back().looked = fault_injection::Counted();
    return found;
  }
  void EndWalk() override {
    EndPair();
    fault_injection::StopCounting();
    SystemPlatform::EndWalk();
  }

 private:
  void EndPair() {
    if (!pairs.empty() && pairs.back().calls < 0) pairs.back().calls = fault_injection::Counted();
  }
  void Inject() {
    const Outside outside(scenario_);
    Pair& pair = pairs.back();
    const Moment before = Look(pair.source, pair.target, volume_);
    Names names{before, pair.source, pair.target, run_, made};
    const auto kept = [&] {
      const Named& began = pair.start.source;
      const fs::path path = began.folder ? *began.folder / began.name : fs::path();
      return began.folder && fs::is_regular_file(path) && ReadFile(path) == began.content;
    };
    const bool was_kept = kept();
    applied = change_->apply(names);
    pair.after = Look(pair.source, pair.target, volume_);
    pair.taken_away = was_kept && !kept();
  }

  // The harness's own calls: not the walk's, and free of the walk's limits.
  struct Outside {
    explicit Outside(const Scenario& scenario) : unlistable(scenario.unlistable) {
      if (unlistable) PermissionChecks(false);
    }
    ~Outside() {
      if (unlistable) PermissionChecks(true);
    }
    fault_injection::Pause pause;
    bool unlistable;
  };

  const Scenario& scenario_;
  const Volume& volume_;
  int pair_, nth_;
  const Change* change_;
  std::string run_;
};

const std::set<std::string> kEvery;  // no scenario named: all

// The type of the file system `path` is on, as the mount table says.
std::string FileSystemOf(const fs::path& path) {
  std::ifstream mounts("/proc/self/mounts");
  std::string device, point, type, rest, found = "unknown";
  std::size_t longest = 0;
  while (mounts >> device >> point >> type && std::getline(mounts, rest)) {
    const std::string text = path.string();
    if (text.rfind(point, 0) == 0 && point.size() >= longest) {
      longest = point.size();
      found = type;
    }
  }
  return found;
}

// A check of a name's case left for when the volume is seen keeping case.
struct NameCheck {
  std::string label, pair;
  fs::path root;                   // the run's folder
  std::set<std::string> contents;  // the walk's file is one of these
  std::string target;              // its last name, exactly
  std::set<fs::path> folders;      // where it may be
  std::set<std::string> made;      // or under a name the change made
  std::set<std::string> removed;   // or the change removed it
};

class ChangeInjection : public ::testing::Test {
 protected:
  static bool All() {
    const char* all = std::getenv("BRENNEL_INJECT_ALL");
    return all != nullptr && std::string(all) == "1";
  }

  // Every scenario (or those named), pair, change and call on `volume`.
  Tally Sweep(const Volume& volume, const std::set<std::string>& only = kEvery) {
    Tally tally;
    for (const Scenario& scenario : kScenarios) {
      if (!only.empty() && only.count(scenario.name) == 0) continue;
      if (scenario.unlistable && geteuid() != 0) {  // the harness reads what the walk may not
        std::printf("%s: scenario '%s' needs root\n", volume.name.c_str(), scenario.name);
        continue;
      }
      // A plain run, which also tells how many calls each pair makes.
      std::vector<int> calls;
      if (!Run(volume, scenario, 0, 0, nullptr, tally, &calls)) continue;
      for (int pair = 1; pair <= static_cast<int>(calls.size()); ++pair) {
        for (const Change& change : kChanges) {
          for (int nth = 1; nth <= calls[pair - 1]; ++nth)
            Run(volume, scenario, pair, nth, &change, tally, nullptr);
        }
      }
    }
    return tally;
  }

  static void Report(const Volume& volume, const Tally& tally) {
    std::printf(
        "%s: %d runs, %d changes applied, %d not applicable; %d lost, %d replaced, %d misplaced, "
        "%d false boxes; %d within the look-then-rename window\n",
        volume.name.c_str(), tally.runs, tally.applied, tally.not_applicable, tally.found[kLost],
        tally.found[kReplaced], tally.found[kMisplaced], tally.found[kFalseBox], tally.in_window);
    for (int kind = 0; kind < kKinds; ++kind)
      EXPECT_EQ(tally.found[kind], 0) << volume.name << ": " << kKindNames[kind];
    EXPECT_GT(tally.applied, 0) << volume.name;
  }

  // The names whose case was left to check, read where the volume keeps
  // case (NTFS ignore_case lists every name in lower case).
  void CheckNames(const Volume& volume, Tally& tally) {
    for (const NameCheck& check : name_checks_) {
      if (!NameReached(check)) {
        Fail(tally, kFalseBox, volume, check.label,
             check.pair + "no box, yet the file is not named '" + check.target + "' at its target");
      }
    }
    name_checks_.clear();
  }
  bool defer_names_ = false;

 private:
  // One run; false when the scenario cannot be made on the volume.
  bool Run(const Volume& volume, const Scenario& scenario, int pair, int nth, const Change* change,
           Tally& tally, std::vector<int>* calls) {
    const std::string run = "r" + std::to_string(++runs_);
    const fs::path here = volume.root / run;
    fs::create_directories(here);
    struct Within {  // the run's folder is the working directory while it runs
      fs::path back = fs::current_path();
      explicit Within(const fs::path& here) { fs::current_path(here); }
      ~Within() { fs::current_path(back); }
    } within(here);
    std::map<std::string, fs::path> contents;  // each content there should be, where it began
    for (const std::string& file : scenario.files) {
      const std::string content = std::string(scenario.name) + ": " + file + ", " + run;
      WriteFile(file, content);
      contents.emplace(content, fs::canonical(file));
    }
    for (const auto& [content, path] : contents) {
      if (ReadFile(path) != content) {  // "rock.dds" and "Rock.dds" are one name there
        fs::current_path(within.back);
        fs::remove_all(here);
        std::printf("%s: scenario '%s' cannot be made there\n", volume.name.c_str(), scenario.name);
        return false;
      }
    }
    fs::create_directory(kElsewhere);
    if (scenario.unlistable) fs::permissions("Data", fs::perms(0300));

    InjectingPlatform platform(scenario, volume, pair, nth, change, run);
    Brennel brennel(platform);
    EntryList& list = scenario.activate ? brennel.colInputA : brennel.colInputD;
    for (const std::string& entry : scenario.list) list.push_back(entry);
    std::int64_t number = 0;
    std::string error;
    fault_injection::ClearNameChanges();
    if (scenario.unlistable) PermissionChecks(true);
    try {
      scenario.activate ? brennel.Command3_Click() : brennel.Command4_Click();
    } catch (const Error& thrown) {
      number = thrown.Number();
      error = thrown.Description();
    }
    if (scenario.unlistable) PermissionChecks(false);
    const std::vector<NameChange> records = fault_injection::NameChanges();
    ++tally.runs;

    std::string label = std::string("scenario '") + scenario.name + "'";
    if (change != nullptr) {
      label += ", pair " + std::to_string(pair) + ", N=" + std::to_string(nth) + ", change '" +
               change->name + "'";
      if (!platform.applied.has_value()) {
        Fail(tally, kFalseBox, volume, label, "the harness: call N was never reached");
      } else {
        ++(*platform.applied ? tally.applied : tally.not_applicable);
      }
    } else {
      label += ", no change";
    }
    if (calls != nullptr)
      for (const auto& walked : platform.pairs) calls->push_back(walked.calls);
    for (const auto& [content, path] : platform.made.contents) contents.emplace(content, path);
    Check(volume, platform, pair, nth, records, contents, number, error, label, tally);
    fs::current_path(within.back);
    if (!defer_names_) fs::remove_all(here);
    return true;
  }

  // Each content where it is now, by path, looked for without following links.
  static std::map<std::string, std::vector<fs::path>> Contents(const fs::path& root) {
    std::map<std::string, std::vector<fs::path>> found;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
      if (entry.is_regular_file() && !entry.is_symlink())
        found[ReadFile(entry.path())].push_back(entry.path());
    }
    return found;
  }

  void Check(const Volume& volume, const InjectingPlatform& platform, int changed_pair, int nth,
             const std::vector<NameChange>& records,
             const std::map<std::string, fs::path>& contents, std::int64_t number,
             const std::string& error, const std::string& label, Tally& tally) {
    const auto found = Contents(fs::current_path());
    const auto& pairs = platform.pairs;
    // The states of the disk what the walk did by its call `call` of a pair
    // may follow: as the pair began, and after the change (only that, where
    // the change came before the pair's first call).
    const auto moments = [&](std::size_t index, int call) {
      std::vector<const Moment*> at;
      const auto& walked = pairs[index];
      const bool after = static_cast<int>(index) + 1 == changed_pair && walked.after && call >= nth;
      if (!after || nth > 1) at.push_back(&walked.start);
      if (after) at.push_back(&*walked.after);
      return at;
    };
    const auto mapped = [&](const fs::path& path) {  // where a folder is after the change
      for (const auto& [from, to] : platform.made.moved) {
        const std::string text = path.string(), prefix = from.string();
        if (text == prefix || text.rfind(prefix + "/", 0) == 0)
          return fs::path(to.string() + text.substr(prefix.size()));
      }
      return path;
    };
    std::set<std::string> walked_files;
    for (const auto& walked : pairs) {
      walked_files.insert(walked.start.source.content);
      if (walked.after) walked_files.insert(walked.after->source.content);
    }

    // Lost and replaced.
    for (const auto& [content, began] : contents) {
      if (platform.made.removed.count(content) != 0) continue;
      const auto where = found.find(content);
      const std::size_t count = where == found.end() ? 0 : where->second.size();
      if (count == 1) continue;
      if (count > 1) {
        Fail(tally, kLost, volume, label,
             "'" + content + "' is there under " + std::to_string(count) + " names");
        continue;
      }
      bool replaced = false;
      for (const auto& [other, paths] : found) {
        for (const fs::path& path : paths) {
          replaced = replaced || (walked_files.count(other) != 0 &&
                                  SameName(path.string(), began.string(), volume.ignores_case));
        }
      }
      const auto changed = static_cast<std::size_t>(changed_pair - 1);
      const std::size_t first = changed < pairs.size() ? pairs[changed].first_record : 0,
                        end = changed + 1 < pairs.size() ? pairs[changed + 1].first_record
                                                         : records.size();
      if (replaced && changed < pairs.size() &&
          InWindow(volume, {records.begin() + first, records.begin() + end}, nth, began)) {
        Window(tally, volume, label, "'" + content + "' replaced at " + began.string());
        continue;
      }
      Fail(tally, replaced ? kReplaced : kLost, volume, label,
           "'" + content + "' is gone" +
               (replaced ? ": the walk's file holds its name " : " from ") + began.string());
    }

    // Misplaced: each name the walk changed.
    for (std::size_t index = 0; index < pairs.size(); ++index) {
      const auto& walked = pairs[index];
      const std::size_t end =
          index + 1 < pairs.size() ? pairs[index + 1].first_record : records.size();
      for (std::size_t r = walked.first_record; r < end; ++r) {
        const NameChange& record = records[r];
        if (record.error != 0) continue;
        // A link the walk took off again in the pair moved nothing.
        bool undone = false;
        for (std::size_t later = r + 1; record.kind == "linkat" && later < end; ++later) {
          undone = undone || (records[later].kind == "unlinkat" && records[later].error == 0 &&
                              records[later].from == record.to);
        }
        if (undone) continue;
        // A name of the pair's: its source's (or the name that parks it)
        // in the source's folder, or its target's in the target's.
        const auto in = [&](const fs::path& path, bool source) {
          for (const Moment* moment : moments(index, record.call)) {
            std::set<std::string> names;
            if (source) {
              names.insert({LastName(walked.source), moment->source.name});
              for (const std::string& name : Texts(names.begin(), names.end()))
                names.insert(RespellAside(name));
            } else {
              names.insert(LastName(walked.target));
            }
            const std::optional<fs::path>& folder =
                source ? moment->source.folder : moment->target.folder;
            if (!folder) continue;
            for (const fs::path& place : {*folder, mapped(*folder)}) {
              // Beside the source, a name the walk takes an old name off by.
              if (source && OwnAside(path.filename().string()) &&
                  SameName(path.parent_path().string(), place.string(), volume.ignores_case)) {
                return true;
              }
              for (const std::string& name : names) {
                if (SameName(path.string(), (place / name).string(), volume.ignores_case))
                  return true;
              }
            }
          }
          return false;
        };
        std::string wrong;
        if (record.folder) {
          // Unseen: put under the source's name just before the very call
          // (which takes the name as it is then); or put back from a name
          // of the walk's own to where it was.
          const bool unseen =
              index + 1 == static_cast<std::size_t>(changed_pair) && record.call == nth;
          const bool put_back =
              OwnAside(fs::path(record.from).filename().string()) && in(record.to, true);
          const bool window = volume.looks_then_renames &&
                              index + 1 == static_cast<std::size_t>(changed_pair) &&
                              record.call >= nth && record.call - nth <= 1;
          if (window) Window(tally, volume, label, "moved the folder " + record.from);
          if (!unseen && !put_back && !window)
            wrong = record.kind + " moved the folder " + record.from + " as if it were the file";
        } else if (record.kind == "unlinkat") {
          // Whether it was the file's last name, the contents tell: FUSE
          // caches link counts.
          if (!in(record.from, true) && !in(record.from, false))
            wrong = "unlinkat removed " + record.from;
        } else if (!in(record.from, true) || !(in(record.to, false) || in(record.to, true))) {
          wrong = record.kind + " moved " + record.from + " to " + record.to;
        }
        if (!wrong.empty())
          Fail(tally, kMisplaced, volume, label,
               "pair " + std::to_string(index + 1) + ": " + wrong);
      }
    }

    // The box: the pair it stops at, and every pair before it done.
    for (std::size_t index = 0; index < pairs.size(); ++index) {
      const auto& walked = pairs[index];
      const bool last = index + 1 == pairs.size();
      // Its presence test, or its rename, may have seen that.
      const auto any = [&](bool rename, Outcome outcome) {
        for (const Moment* moment : moments(index, rename ? walked.calls : walked.looked)) {
          if (moment->outcome == outcome || (outcome == Outcome::kTaken && moment->taken))
            return true;
        }
        return false;
      };
      const std::string at = "pair " + std::to_string(index + 1) + ": ";
      if (last && !platform.messages.empty()) {
        if (platform.messages != Texts{walked.source + " is missing"}) {
          Fail(tally, kFalseBox, volume, label, at + "the box says " + platform.messages.front());
        } else if (!any(false, Outcome::kMissing)) {
          Fail(tally, kFalseBox, volume, label,
               at + "'" + platform.messages.front() + "', yet it was there");
        }
        continue;
      }
      if (last && number != 0) {
        const bool vanished = walked.taken_away && nth > 1;
        const bool occupied = number == EEXIST || number == EISDIR || number == ENOTEMPTY;
        const bool true_box = (occupied && any(true, Outcome::kTaken)) ||
                              (number == ENOENT && (vanished || any(true, Outcome::kNoFolder))) ||
                              (number == ENOTUNIQ && any(true, Outcome::kAmbiguous));
        if (!true_box)
          Fail(tally, kFalseBox, volume, label,
               at + "Error " + std::to_string(number) + ": " + error);
        continue;
      }
      // Done: it should have been, and its file reached its target.
      // (The walk looks again right before its rename where the disk changed.)
      if (!any(false, Outcome::kMoves) && !any(true, Outcome::kMoves)) {
        Fail(tally, kFalseBox, volume, label, at + "no box, though it could not be done");
        continue;
      }
      bool later_source = false;  // then the next pair moves it on
      for (std::size_t next = index + 1; next < pairs.size(); ++next)
        later_source = later_source || SameName(pairs[next].source, walked.target, true);
      if (later_source) continue;
      NameCheck check{label,
                      at,
                      fs::current_path(),
                      {},
                      LastName(walked.target),
                      {},
                      platform.made.names,
                      platform.made.removed};
      for (const Moment* moment : moments(index, walked.calls)) {
        check.contents.insert(moment->source.content);
        if (moment->target.folder) {
          check.folders.insert(*moment->target.folder);
          check.folders.insert(mapped(*moment->target.folder));
        }
      }
      if (defer_names_) {
        name_checks_.push_back(check);
      } else if (!NameReached(check)) {
        Fail(tally, kFalseBox, volume, label,
             at + "no box, yet the file is not named '" + check.target + "' at its target");
      }
    }
  }

  // The walk's file is named as its target, in a folder the target named or
  // one the change moved; or the change moved the file itself on.
  static bool NameReached(const NameCheck& check) {
    const auto found = Contents(check.root);
    for (const std::string& content : check.contents) {
      if (check.removed.count(content) != 0) return true;
      const auto where = found.find(content);
      if (where == found.end()) continue;
      for (const fs::path& path : where->second) {
        if (check.made.count(path.filename().string()) != 0) return true;
        if (path.filename() != check.target) continue;
        for (const auto& part : path) {
          if (check.made.count(part.string()) != 0) return true;
        }
        for (const fs::path& folder : check.folders) {
          if (SameName(path.parent_path().string(), folder.string(), true)) return true;
        }
      }
    }
    return false;
  }

  // A rename of the changed pair onto `path`, just after the change: the
  // look at the target came before it.
  static bool InWindow(const Volume& volume, std::span<const NameChange> records, int nth,
                       const fs::path& path) {
    if (!volume.looks_then_renames) return false;
    for (const NameChange& record : records) {
      if (record.error == 0 && record.kind == "renameat" && record.call >= nth &&
          record.call - nth <= 1 && SameName(record.to, path.string(), volume.ignores_case))
        return true;
    }
    return false;
  }
  static void Window(Tally& tally, const Volume& volume, const std::string& label,
                     const std::string& what) {
    ++tally.in_window;
    std::printf("WINDOW [%s] %s: %s\n", volume.name.c_str(), label.c_str(), what.c_str());
  }

  void Fail(Tally& tally, Kind kind, const Volume& volume, const std::string& label,
            const std::string& what) {
    ++tally.found[kind];
    std::printf("FAILED [%s] %s: %s: %s\n", volume.name.c_str(), label.c_str(), kKindNames[kind],
                what.c_str());
  }

  int runs_ = 0;
  std::vector<NameCheck> name_checks_;
};

// The scratch folder's own file system, and ext4 on a loop device where
// that is another.
TEST_F(ChangeInjection, OnTheScratchFolderFileSystemNothingIsLostReplacedOrMisplaced) {
  ScratchFolder folder;
  fault_injection::Scope faults;
  const std::string type = FileSystemOf(folder.path());
  const Volume volume{"scratch folder (" + type + ")", folder.path()};
  Report(volume, Sweep(volume));
  if (type == "ext4") return;
  ScratchMounts mounts;
  std::string device;
  if (const std::string why = ScratchMounts::Private(); !why.empty()) GTEST_SKIP() << why;
  if (std::system("truncate -s 64M ext4.img && mkfs.ext4 -q -F ext4.img >/dev/null 2>&1") != 0)
    GTEST_SKIP() << "cannot make an ext4 image (mkfs.ext4)";
  if (const std::string why = mounts.Loop(fs::absolute("ext4.img"), device); !why.empty())
    GTEST_SKIP() << why;
  if (const std::string why = mounts.Mount(device.c_str(), "ext4", "ext4", 0); !why.empty())
    GTEST_SKIP() << why;
  const Volume ext4{"ext4 (loop device)", fs::absolute("ext4")};
  Report(ext4, Sweep(ext4));
}

// The CI's sample on FUSE file systems: the respellings, where they differ most.
const std::set<std::string> kSample = {"case-only respelling", "case-only respelling back",
                                       "a respelled file moved on"};

TEST_F(ChangeInjection, ThroughABindfsViewNothingIsLostReplacedOrMisplaced) {
  ScratchFolder folder;
  ScratchMounts mounts;
  fs::create_directory("under");
  for (const std::string& why :
       {ScratchMounts::Private(), mounts.MountFuse("bindfs under view", "view")}) {
    if (!why.empty()) GTEST_SKIP() << why;
  }
  const Volume volume{"bindfs view of " + FileSystemOf(folder.path()), fs::absolute("view")};
  Report(volume, Sweep(volume));
}

TEST_F(ChangeInjection, OnExfatNothingIsLostReplacedOrMisplaced) {
  ScratchFolder folder;
  ScratchMounts mounts;
  if (const std::string why = mounts.MountCaseInsensitive("exfat", folder.path(), "exfat", "64M");
      !why.empty()) {
    GTEST_SKIP() << why;
  }
  const Volume volume{"exFAT (exfat-fuse)", fs::absolute("exfat"), true, true};
  Report(volume, Sweep(volume, All() ? kEvery : kSample));
}

// NTFS through lowntfs-3g, with and without ignore_case; names are checked
// through a mount that keeps case, since ignore_case lists every name in
// lower case.
TEST_F(ChangeInjection, OnNtfsNothingIsLostReplacedOrMisplaced) {
  ScratchFolder folder;
  ScratchMounts mounts;
  std::string device;
  if (const std::string why = ScratchMounts::Private(); !why.empty()) GTEST_SKIP() << why;
  if (std::system("truncate -s 128M ntfs.img && mkntfs -F -q -Q ntfs.img >/dev/null 2>&1") != 0)
    GTEST_SKIP() << "cannot make an NTFS image (mkntfs from ntfs-3g)";
  if (const std::string why = mounts.Loop(fs::absolute("ntfs.img"), device); !why.empty())
    GTEST_SKIP() << why;
  const fs::path ntfs = fs::absolute("ntfs");
  for (const bool ignore_case : {false, true}) {
    const std::string options = ignore_case ? "-o ignore_case " : "";
    ASSERT_EQ(mounts.MountFuse("lowntfs-3g " + options + device + " ntfs", "ntfs"), "");
    defer_names_ = ignore_case;
    const Volume volume{ignore_case ? "NTFS (lowntfs-3g, ignore_case)" : "NTFS (lowntfs-3g)", ntfs,
                        ignore_case};
    Tally tally = Sweep(volume, All() ? kEvery : kSample);
    mounts.Unmount(ntfs);
    if (ignore_case) {
      ASSERT_EQ(mounts.MountFuse("lowntfs-3g " + device + " ntfs", "ntfs"), "");
      CheckNames(volume, tally);
      mounts.Unmount(ntfs);
    }
    Report(volume, tally);
  }
}

}  // namespace
}  // namespace tavrik
