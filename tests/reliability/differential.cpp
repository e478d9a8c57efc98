#include "differential.h"

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <set>
#include <sstream>
#include <vector>

#include "dry_run.h"
#include "launcher.h"
#include "list_path.h"
#include "name_key.h"
#include "path_walk.h"
#include "reference_platform.h"
#include "system_disk.h"
#include "system_platform.h"

namespace differential {

namespace {

namespace fs = std::filesystem;
using Names = std::vector<std::string>;

// Names that collide: in case, by trailing dots and spaces, beyond ASCII.
const Names kFolderNames = {"Data", "data", "DATA", "Data.", "Mods", "mods ", "d", "Sub"};
const Names kFileNames = {"a.esp", "A.ESP", "a.esp.", "b.dds", "B.dds", "c", "c ", "x y.esp",
                          "\xC3\x9C"
                          "ber.esp",
                          "\xC3\xBC"
                          "ber.esp",
                          "e",
                          // Letters whose capital is ASCII, and letters that
                          // look alike but are not one name on NTFS.
                          "file",
                          "f\xC4\xB1le",   // dotless i: "FILE"
                          "\xC5\xBFtuff",  // long s: "STUFF"
                          "STUFF",
                          "\xE2\x84\xAA.dds",  // the Kelvin sign, not "k"
                          "k.dds",
                          "stra\xC3\x9F"
                          "e",  // sharp s, not its capital
                          "STRA\xE1\xBA\x9E"
                          "E",
                          "\xCF\x83\xCE\xBF\xCF\x82",  // final sigma: "ΣΟΣ"
                          "\xCE\xA3\xCE\x9F\xCE\xA3",
                          "\xC3\xA9.esp",    // é composed
                          "e\xCC\x81.esp"};  // é decomposed: another name

std::string Join(const std::string& folder, const std::string& name) {
  return folder.empty() ? name : folder + "/" + name;
}

std::string ParentOf(const std::string& path) {
  const auto slash = path.rfind('/');
  return slash == std::string::npos ? "" : path.substr(0, slash);
}

// `to` as a link in `folder` reaches it: relative, so that each copy of the
// tree links within itself.
std::string RelativeTarget(const std::string& folder, const std::string& to) {
  return fs::path(to).lexically_relative(folder.empty() ? "." : folder).string();
}

class Maker {
 public:
  Maker(const Choose& choose, const Options& options) : choose_(choose), options_(options) {}

  bool Chance(std::uint32_t percent) { return choose_(100) < percent; }
  std::uint32_t Below(std::uint32_t n) { return choose_(n); }
  const std::string& Pick(const Names& names) {
    return names[choose_(static_cast<std::uint32_t>(names.size()))];
  }

  // The tree, as steps that make it: "d PATH", "f PATH", "l PATH|TARGET",
  // "h PATH|EXISTING". Paths are relative to the case's root; the working
  // directory is "work".
  Names MakeTree() {
    folders_ = {"", "work"};
    steps_ = {"d work"};
    for (std::uint32_t i = Below(9); i > 0; --i) {
      Folder(Join(Pick(folders_), Pick(kFolderNames)));
    }
    if (Chance(30)) {  // deeper than the folders a walk keeps open
      std::string chain = "work";
      for (std::uint32_t depth = 3 + Below(4); depth > 0; --depth) Folder(chain += "/d");
    }
    for (const std::string& folder : Names(folders_)) {
      for (const std::string& name : kFileNames) {
        if (!folder.empty() && Chance(14)) New("f", Join(folder, name), files_);
      }
      // A file spelled as a folder may shadow it, or stop doing so when moved.
      if (!folder.empty() && Chance(10)) New("f", Join(folder, Pick(kFolderNames)), files_);
    }
    for (std::uint32_t i = options_.links ? Below(3) : 0; i > 0; --i) Link();
    for (std::uint32_t i = options_.links ? Below(3) : 0; i > 0 && !files_.empty(); --i) {
      const std::string existing = Pick(files_);
      const std::string path = Join(Pick(folders_), Pick(kFileNames));
      if (New("h", path, files_)) steps_.back() += "|" + existing;
    }
    return steps_;
  }

  Names MakeList() {
    // Most lists name files that are there, so that walks get past their
    // first pairs; the others stop anywhere.
    const std::uint32_t present = Chance(50) ? 95 : 65;
    Names entries;
    std::vector<Names> targets;
    for (std::uint32_t pairs = Below(7); pairs > 0; --pairs) {
      const Names source = !targets.empty() && Chance(20) ? Pick(targets) : SourceNames(present);
      targets.push_back(TargetNames(source));
      entries.push_back(Render(source));
      entries.push_back(Render(targets.back()));
    }
    if (Chance(10)) entries.push_back(Render(SourceNames(present)));
    if (!entries.empty() && Chance(5)) {
      const char* odd[] = {"", "Data\\", "..", ".", "C:\\x", "nul\\x"};
      entries[Below(static_cast<std::uint32_t>(entries.size()))] = odd[Below(6)];
    }
    return entries;
  }

 private:
  bool New(const char* kind, const std::string& path, Names& into) {
    // Where case is ignored, two names of one key would be one entry.
    const std::string key = options_.case_insensitive ? tavrik::NameKey(path) : path;
    if (path.empty() || !taken_.insert(key).second) return false;
    into.push_back(path);
    steps_.push_back(std::string(kind) + " " + path);
    return true;
  }
  void Folder(const std::string& path) {
    const std::string parent = ParentOf(path);
    if (std::find(folders_.begin(), folders_.end(), parent) != folders_.end()) {
      New("d", path, folders_);
    }
  }
  void Link() {
    const std::string folder = Pick(folders_);
    const std::string path = Join(folder, Chance(50) ? Pick(kFolderNames) : Pick(kFileNames));
    std::string target;
    std::string aliased;
    switch (Below(5)) {
      case 0:
      case 1:
        aliased = Pick(folders_);
        target = RelativeTarget(folder, aliased);
        break;
      case 2:
        target = files_.empty() ? "nowhere" : RelativeTarget(folder, Pick(files_));
        break;
      case 3:
        target = "nowhere";
        break;
      default:
        target = fs::path(path).filename().string();  // a loop of one link
    }
    if (target.empty()) target = ".";
    if (!New("l", path, links_)) return;
    steps_.back() += "|" + target;
    // One folder reached two ways: lists may go through the link too.
    if (!aliased.empty()) aliases_.emplace_back(path, aliased);
  }

  // A path as names from the working directory, at times through a link
  // to one of its folders.
  Names FromWork(std::string path) {
    for (const auto& [link, folder] : aliases_) {
      if (!folder.empty() && path.rfind(folder + "/", 0) == 0 && Chance(30)) {
        path = link + path.substr(folder.size());
        break;
      }
    }
    Names names;
    if (path.rfind("work", 0) != 0) names.push_back("..");
    std::stringstream parts(path);
    for (std::string name; std::getline(parts, name, '/');) names.push_back(name);
    if (names.size() > 0 && names[0] == "work") names.erase(names.begin());
    return names;
  }

  const Names& Pick(const std::vector<Names>& lists) {
    return lists[choose_(static_cast<std::uint32_t>(lists.size()))];
  }

  Names SourceNames(std::uint32_t present) {
    if (!links_.empty() && Chance(10)) return FromWork(Pick(links_));
    if (!files_.empty() && Chance(present)) return FromWork(Pick(files_));
    Names names = FromWork(Pick(folders_));
    names.push_back(Pick(kFileNames));
    return names;
  }

  Names TargetNames(const Names& source) {
    if (Chance(5)) return source;
    Names names;
    const std::uint32_t folder = Below(20);
    if (folder == 0 && !files_.empty()) {
      names = FromWork(Pick(files_));  // below a file
    } else if (folder == 1) {
      names = {"NoDir"};
    } else if (folder < 5 && !links_.empty()) {
      names = FromWork(Pick(links_));
    } else if (folder < 9 && !source.empty()) {
      names.assign(source.begin(), source.end() - 1);  // the source's own folder
    } else {
      names = FromWork(Pick(folders_));
    }
    const std::uint32_t kind = Below(10);
    if (kind == 9 && source.size() >= 2 && source[source.size() - 2] != "..") {
      // Beside the source's folder, under its name: a later path through
      // that folder may then meet the file first.
      names.assign(source.begin(), source.end() - 2);
      names.push_back(source[source.size() - 2]);
    } else if (kind < 3) {
      names.push_back(Pick(kind == 0 ? kFolderNames : kFileNames));
    } else if (kind < 6 && !source.empty()) {
      names.push_back(source.back());  // respelled below: in another case, say
    } else {
      names.push_back("new" + std::to_string(Below(4)));
    }
    return names;
  }

  // The names as a list spells them: separators of either kind, names in
  // another case or with trailing dots and spaces, "." and "x\.." on the way.
  std::string Render(const Names& names) {
    std::string text;
    for (std::size_t i = 0; i < names.size(); ++i) {
      if (Chance(8)) text += std::string(".") + Separator();
      if (Chance(6)) text += Pick(kFolderNames) + Separator() + ".." + Separator();
      text += Respelled(names[i]);
      if (i + 1 < names.size()) text += Separator();
    }
    return text;
  }
  const char* Separator() { return Chance(50) ? "\\" : "/"; }
  std::string Respelled(std::string name) {
    if (name == "..") return name;
    if (Chance(25)) {
      for (char& c : name) {
        if (std::isalpha(static_cast<unsigned char>(c)) && Chance(50)) c ^= 0x20;
      }
      if (name.size() >= 2 && name[0] == '\xC3' && Chance(50)) name[1] ^= 0x20;  // Ü, ü
    }
    if (Chance(12)) name += Pick({".", " ", ". "});
    return name;
  }

  const Choose& choose_;
  const Options& options_;
  Names folders_, files_, links_, steps_;
  std::vector<std::pair<std::string, std::string>> aliases_;  // link, folder it leads to
  std::set<std::string> taken_{"", "work", "WORK"};
};

void Make(const Names& steps, const fs::path& root) {
  int content = 0;
  for (const std::string& step : steps) {
    const std::string kind = step.substr(0, 1);
    const std::string fields = step.substr(2);
    const auto bar = fields.find('|');
    const std::string path = fields.substr(0, bar);
    const std::string rest = bar == std::string::npos ? "" : fields.substr(bar + 1);
    const fs::path at = root / path;
    if (kind == "d") fs::create_directory(at);
    if (kind == "f") std::ofstream(at, std::ios::binary) << "file " << ++content << " " << path;
    if (kind == "l") fs::create_symlink(rest, at);
    if (kind == "h") fs::create_hard_link(root / rest, at);
  }
}

// Every entry under `root`, links not followed: a folder, a link and where
// it points, or a file and what it holds.
std::map<std::string, std::string> Snapshot(const fs::path& root) {
  std::map<std::string, std::string> entries;
  for (const auto& item : fs::recursive_directory_iterator(root)) {
    const std::string path = item.path().lexically_relative(root).string();
    if (item.is_symlink()) {
      entries[path] = "link to " + fs::read_symlink(item.path()).string();
    } else if (item.is_directory()) {
      entries[path] = "folder";
    } else {
      std::ifstream in(item.path(), std::ios::binary);
      entries[path] = std::string(std::istreambuf_iterator<char>(in), {});
    }
  }
  return entries;
}

void SetList(tavrik::EntryList& list, const Names& entries) {
  list.clear();
  for (const std::string& entry : entries) list.push_back(entry);
}

struct Outcome {
  std::string what;  // "complete", "missing: TEXT" or "error N"
  std::string detail;
  std::size_t tests = 0;  // presence tests: the last is the pair a walk stopped at
};

// A platform as a walk sees it, counting its presence tests.
class Counting : public tavrik::Platform {
 public:
  Counting(tavrik::Platform& platform, Names& messages) : messages(messages), platform_(platform) {}
  Names& messages;
  std::size_t tests = 0;
  std::function<void(std::size_t test)> before_test;  // another program's changes

  void BeginWalk() override { platform_.BeginWalk(); }
  void EndWalk() override { platform_.EndWalk(); }
  void BeginPair(std::size_t pair, const std::string& source, const std::string& target) override {
    if (before_test) before_test(tests + 1);
    platform_.BeginPair(pair, source, target);
  }
  std::string FindFile(const std::string& path) override {
    ++tests;
    return platform_.FindFile(path);
  }
  void RenameFile(const std::string& source, const std::string& target) override {
    platform_.RenameFile(source, target);
  }
  void ShowMessage(const std::string& text) override { messages.push_back(text); }
  std::unique_ptr<tavrik::ByteSource> OpenListFile(const std::string& name) override {
    return platform_.OpenListFile(name);
  }

 private:
  tavrik::Platform& platform_;
};

// The walk of the real platform over the system's disk, holding at most
// `bound` folders between pairs, so that letting go of them and finding them
// again is what most pairs do.
class BoundedWalk : public tavrik::Platform {
 public:
  explicit BoundedWalk(std::size_t bound) : walk_(disk_, bound) {}
  void BeginWalk() override { walk_.Forget(); }
  void EndWalk() override { walk_.Forget(); }
  void BeginPair(std::size_t, const std::string& source, const std::string& target) override {
    walk_.BeginPair(source, target);
  }
  std::string FindFile(const std::string& path) override { return walk_.FindFile(path); }
  void RenameFile(const std::string& source, const std::string& target) override {
    walk_.RenameFile(source, target);
  }
  void ShowMessage(const std::string&) override {}
  std::unique_ptr<tavrik::ByteSource> OpenListFile(const std::string& name) override {
    throw tavrik::FileError(ENOENT, "Cannot open", name);  // the lists are set directly
  }

 private:
  tavrik::SystemDisk disk_;
  tavrik::PathWalk walk_;
};

Outcome Click(Counting& platform, const Names& activation, const Names& deactivation,
              bool activate) {
  tavrik::Brennel brennel(platform);
  SetList(brennel.colInputA, activation);
  SetList(brennel.colInputD, deactivation);
  platform.messages.clear();
  platform.tests = 0;
  Outcome outcome{"complete", "", 0};
  try {
    activate ? brennel.Command3_Click() : brennel.Command4_Click();
    if (!platform.messages.empty()) {
      outcome.what = "missing: " + platform.messages.front() +
                     (platform.messages.size() > 1 ? " (and more boxes)" : "");
    }
  } catch (const tavrik::Error& error) {
    outcome = {"error " + std::to_string(error.Number()), error.Description()};
  }
  outcome.tests = platform.tests;
  return outcome;
}

// `before` as the dry run's moves leave it: each moved entry at its new path.
std::map<std::string, std::string> Predicted(
    std::map<std::string, std::string> before, const fs::path& root,
    const std::vector<std::pair<std::string, std::string>>& moved) {
  // A path as the snapshot names it: its folder without links.
  const fs::path base = fs::canonical(root);
  const auto relative = [&](const std::string& path) {
    const fs::path absolute = fs::path(path).is_absolute() ? fs::path(path) : root / "work" / path;
    return (fs::canonical(absolute.parent_path()) / absolute.filename())
        .lexically_relative(base)
        .string();
  };
  std::map<std::string, std::string> after = before;
  for (const auto& [from, to] : moved) after.erase(relative(from));
  for (const auto& [from, to] : moved) after[relative(to)] = before[relative(from)];
  return after;
}

std::string Lines(const Names& names, const char* prefix) {
  std::string text;
  for (const std::string& name : names) text += prefix + name + "]\n";
  return text;
}

std::string TreeDifference(const std::map<std::string, std::string>& real,
                           const std::map<std::string, std::string>& model) {
  std::string text;
  for (const auto& [path, what] : real) {
    const auto other = model.find(path);
    if (other == model.end()) {
      text += "  only after the walk: " + path + " (" + what + ")\n";
    } else if (other->second != what) {
      text += "  differs: " + path + ": walk '" + what + "', reference '" + other->second + "'\n";
    }
  }
  for (const auto& [path, what] : model) {
    if (real.count(path) == 0) text += "  only after the reference: " + path + " (" + what + ")\n";
  }
  return text;
}

// A change another program makes: before the presence test `test` of a
// click, `kind` with the choices `first` and `second`, which pick what to
// change among the entries of the tree as it is then, in sorted order, so
// that both copies change alike while they agree.
struct Change {
  std::size_t click = 0, test = 0;
  std::uint32_t kind = 0, first = 0, second = 0;
  std::string Text() const {
    const char* kinds[] = {"a file in a list's spelling", "remove a file",
                           "a folder in a list's spelling", "a folder swapped for a new one",
                           "a link where a folder was"};
    return std::string("before test ") + std::to_string(test) + ": " + kinds[kind] + " (" +
           std::to_string(first) + ", " + std::to_string(second) + ")";
  }
};

// The names the lists spell, as a walk creates or looks for them (with and
// without trailing dots and spaces), and each in capitals: a name another
// program creates in any spelling must be seen by the next pair, since the
// watches report it.
Names Spellings(const Names& activation, const Names& deactivation) {
  std::set<std::string> spellings;
  for (const Names* list : {&activation, &deactivation}) {
    for (const std::string& entry : *list) {
      std::string name;
      for (std::size_t at = 0; at <= entry.size(); ++at) {
        if (at < entry.size() && entry[at] != '\\' && entry[at] != '/') {
          name += entry[at];
          continue;
        }
        if (!name.empty() && name != "." && name != "..") {
          for (const std::string& spelled : {std::string(tavrik::WithoutTrailingDots(name)), name}) {
            spellings.insert(spelled);
            spellings.insert(tavrik::NameKey(spelled));
          }
        }
        name.clear();
      }
    }
  }
  return Names(spellings.begin(), spellings.end());
}

void Apply(const Change& change, const fs::path& root, const Names& spellings,
           const Options& options) {
  Names folders{""}, files;
  for (const auto& [path, what] : Snapshot(root)) {
    if (what == "folder") folders.push_back(path);
    if (what != "folder" && what.rfind("link to ", 0) != 0) files.push_back(path);
  }
  const auto absent = [](const fs::path& path) { return !fs::exists(fs::symlink_status(path)); };
  const std::string& folder = folders[change.first % folders.size()];
  std::error_code ignored;
  switch (change.kind) {
    case 0:
    case 2: {
      if (spellings.empty()) break;
      const fs::path path = root / folder / spellings[change.second % spellings.size()];
      if (!absent(path)) break;
      if (change.kind == 2 && fs::create_directory(path, ignored)) {
        std::ofstream(path / kFileNames[change.second % kFileNames.size()]) << "made meanwhile";
      } else if (change.kind == 0) {
        std::ofstream(path, std::ios::binary) << "made meanwhile";
      }
      break;
    }
    case 1:
      if (!files.empty()) fs::remove(root / files[change.first % files.size()], ignored);
      break;
    default: {
      // The working directory stays: its path is what lists start from.
      const fs::path away = root / (folder + (change.kind == 3 ? ".old" : ".gone"));
      if (folder.empty() || folder == "work" || !absent(away)) break;
      fs::rename(root / folder, away, ignored);
      if (change.kind == 3 || !options.links) {
        fs::create_directory(root / folder, ignored);
      } else {
        // To the folder itself, moved, or to a new one.
        const std::string to = change.second % 2 ? folder + ".gone" : folder + ".new";
        fs::create_directory(root / to, ignored);
        fs::create_directory_symlink(RelativeTarget(ParentOf(folder), to), root / folder, ignored);
      }
    }
  }
}

}  // namespace

std::string RunCase(const Choose& choose, const std::string& scratch, const Options& options) {
  Maker maker(choose, options);
  const Names steps = maker.MakeTree();
  const Names activation = maker.MakeList();
  const Names deactivation = maker.Chance(50) ? activation : maker.MakeList();
  const bool holding_few = maker.Chance(50);
  std::vector<bool> clicks(1 + maker.Below(3));
  for (std::size_t click = 0; click < clicks.size(); ++click) {
    clicks[click] = maker.Chance(click == 0 ? 85 : 50);
  }
  std::vector<Change> changes;
  for (std::size_t click = 0; options.changes && click < clicks.size(); ++click) {
    for (std::uint32_t n = 1 + maker.Below(2); n > 0; --n) {
      changes.push_back(
          {click, 1 + maker.Below(6), maker.Below(5), maker.Below(1000), maker.Below(1000)});
    }
  }
  const Names spellings = Spellings(activation, deactivation);
  const fs::path real_root = fs::path(scratch) / "walk";
  const fs::path model_root = fs::path(scratch) / "reference";
  for (const fs::path& root : {real_root, model_root}) {
    fs::create_directory(root);
    Make(steps, root);
  }
  std::string report = std::string(holding_few ? "the walk holds 2 folders at most\n" : "") +
                       "tree:\n" + Lines(steps, "  [") + "activation list:\n" +
                       Lines(activation, "  [") + "deactivation list:\n" +
                       Lines(deactivation, "  [");
  for (const Change& change : changes) {
    report += "click " + std::to_string(change.click + 1) + ", " + change.Text() + "\n";
  }
  const fs::path previous = fs::current_path();
  std::string difference;

  // What brennel-check predicts, on the same folder, before the walk.
  const bool predicting = !options.changes && !options.case_insensitive;
  const auto at_start = Snapshot(real_root);
  Names dry_messages;
  // One of each for every case: a platform's watches cost milliseconds to retire.
  static const std::unique_ptr<tavrik::DryRun> dry_run = tavrik::MakeDryRun();
  dry_run->Reset();
  Counting dry(*dry_run, dry_messages);
  std::vector<Outcome> predicted;
  fs::current_path(real_root / "work");
  for (std::size_t click = 0; predicting && click < clicks.size(); ++click) {
    predicted.push_back(Click(dry, activation, deactivation, clicks[click]));
    if (predicted.back().what.rfind("error", 0) == 0) break;
  }
  fs::current_path(previous);
  const auto predicted_end = Predicted(at_start, real_root, dry_run->Moved());
  if (Snapshot(real_root) != at_start) difference += "the dry run changed the disk\n";

  Names real_messages, model_messages;
  static tavrik::SystemPlatform system(nullptr);
  static BoundedWalk bounded(2);
  reference::ReferencePlatform reference_platform(options.case_insensitive);
  Counting real(holding_few ? static_cast<tavrik::Platform&>(bounded) : system, real_messages),
      model(reference_platform, model_messages);
  for (std::size_t click = 0; click < clicks.size() && difference.empty(); ++click) {
    report += clicks[click] ? "click Activate\n" : "click Deactivate\n";
    for (auto [counting, root] : {std::pair{&real, real_root}, {&model, model_root}}) {
      counting->before_test = [&, click, root = root](std::size_t test) {
        if (options.drop_cached_names) std::ofstream("/proc/sys/vm/drop_caches") << "2";
        for (const Change& change : changes) {
          if (change.click == click && change.test == test) {
            Apply(change, root, spellings, options);
          }
        }
      };
    }
    fs::current_path(real_root / "work");
    const Outcome by_walk = Click(real, activation, deactivation, clicks[click]);
    fs::current_path(model_root / "work");
    const Outcome by_model = Click(model, activation, deactivation, clicks[click]);
    fs::current_path(previous);
    if (by_walk.what != by_model.what) {
      difference = "the walk ended with '" + by_walk.what + "' (" + by_walk.detail +
                   "), the reference with '" + by_model.what + "' (" + by_model.detail + ")\n";
    }
    difference += TreeDifference(Snapshot(real_root), Snapshot(model_root));
    const Outcome check = predicting ? predicted[click] : by_walk;
    if (check.what != by_walk.what || check.detail != by_walk.detail ||
        check.tests != by_walk.tests) {
      difference += "brennel-check predicted '" + check.what + "' (" + check.detail + ") at test " +
                    std::to_string(check.tests) + ", the walk ended with '" + by_walk.what + "' (" +
                    by_walk.detail + ") at test " + std::to_string(by_walk.tests) + "\n";
    }
    if (by_walk.what.rfind("error", 0) == 0) break;
  }
  if (difference.empty() && predicting) {
    const std::string ends = TreeDifference(Snapshot(real_root), predicted_end);
    if (!ends.empty()) difference = "brennel-check predicted another end:\n" + ends;
  }
  fs::remove_all(real_root);
  fs::remove_all(model_root);
  return difference.empty() ? "" : report + difference;
}

}  // namespace differential
