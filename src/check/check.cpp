// brennel-check's findings: the lists read as the tool reads them, walked by
// the tool's own Brennel on a dry run.

#include "check.h"

#include <algorithm>
#include <map>
#include <unordered_map>

#include "launcher.h"
#include "list_path.h"

namespace tavrik {

namespace {

// The walk takes lists of at most this many entries.
constexpr std::size_t kLongestWalk = kInt16Max;

struct List {
  const char* name = "";
  bool activation = true;
  bool readable = false;
  EntryList entries;
  std::vector<FieldPosition> positions;

  std::size_t Pairs() const { return std::min(entries.size(), kLongestWalk) / 2; }
  const std::string& Source(std::size_t pair) const {
    return entries[2 * pair + (activation ? 0 : 1)];
  }
  const std::string& Target(std::size_t pair) const {
    return entries[2 * pair + (activation ? 1 : 0)];
  }
};

List Load(DryRun& run, const char* name, bool activation) {
  List list;
  list.name = name;
  list.activation = activation;
  try {
    run.OpenListFile(name);
    list.readable = true;
  } catch (const Error&) {
  }
  LoadEntryList(run, name, list.entries, &list.positions);
  return list;
}

// The DryRun as the walk sees it, counting its presence tests, so that the
// pair a walk stopped at is known.
class Counting : public Platform {
 public:
  explicit Counting(DryRun& run) : run_(run) {}
  std::size_t tests = 0;

  void BeginWalk() override { run_.BeginWalk(); }
  void EndWalk() override { run_.EndWalk(); }
  std::string FindFile(const std::string& path) override {
    ++tests;
    return run_.FindFile(path);
  }
  void RenameFile(const std::string& source, const std::string& target) override {
    run_.RenameFile(source, target);
  }
  void ShowMessage(const std::string& text) override { run_.ShowMessage(text); }
  std::unique_ptr<ByteSource> OpenListFile(const std::string& name) override {
    return run_.OpenListFile(name);
  }

 private:
  DryRun& run_;
};

// A press of a button with the lists `brennel` holds.
Outcome Press(DryRun& run, Brennel& brennel, Counting& counting, bool activate) {
  Outcome outcome;
  counting.tests = 0;
  run.messages.clear();
  run.TakeRenames();
  try {
    activate ? brennel.Command3_Click() : brennel.Command4_Click();
    if (!run.messages.empty()) {
      outcome.result = "missing";
      outcome.text = run.messages.front();
    } else if (counting.tests > 0) {
      outcome.result = "complete";
    }
  } catch (const Error& error) {
    outcome.result = "error";
    outcome.text = "Error " + std::to_string(error.Number()) + ": " + error.Description();
  }
  if (outcome.result != "complete" && counting.tests > 0) outcome.pair = counting.tests;
  outcome.renames = run.TakeRenames();
  return outcome;
}

ButtonRun PressBoth(DryRun& run, Brennel& brennel, Counting& counting, bool activate_first) {
  run.Reset();
  ButtonRun both;
  both.from_now = Press(run, brennel, counting, activate_first);
  both.then_other = Press(run, brennel, counting, !activate_first);
  both.round_trip = run.AllBack();
  run.Reset();
  return both;
}

// The state of the activation list's files. Undone from the last pair to
// the first, a pair whose file is at its target is done; then, walked as
// an activation starts, every source must be there. Files in that order
// are a walk stopped after its done pairs; any other pair disagrees.
void DetectState(DryRun& run, const List& list, CheckReport& report) {
  const std::size_t pairs = list.Pairs();
  std::vector<bool> done(pairs, false);
  std::vector<std::size_t> disagreeing;
  run.Reset();
  run.BeginWalk();
  for (std::size_t pair = pairs; pair-- > 0;) {
    try {
      if (run.FindFile(list.Target(pair)).empty()) continue;
      run.RenameFile(list.Target(pair), list.Source(pair));
      done[pair] = true;
    } catch (const Error&) {
      disagreeing.push_back(pair + 1);  // at its target, but cannot go back
    }
  }
  const std::size_t through = std::find(done.begin(), done.end(), false) - done.begin();
  for (std::size_t pair = 0; pair < pairs; ++pair) {
    if (pair >= through && done[pair]) disagreeing.push_back(pair + 1);
    try {
      if (run.FindFile(list.Source(pair)).empty()) {
        disagreeing.push_back(pair + 1);
      } else {
        run.RenameFile(list.Source(pair), list.Target(pair));
      }
    } catch (const Error&) {
      // A target in the way is for the dry runs to tell; the file is here.
    }
  }
  run.EndWalk();
  run.Reset();
  std::sort(disagreeing.begin(), disagreeing.end());
  disagreeing.erase(std::unique(disagreeing.begin(), disagreeing.end()), disagreeing.end());
  if (!disagreeing.empty()) {
    report.state = "mixed";
    report.disagreeing = std::move(disagreeing);
  } else if (through == 0) {
    report.state = "inactive";
  } else if (through == pairs) {
    report.state = "active";
  } else {
    report.state = "partial";
    report.partial_pairs = through;
  }
}

class Linter {
 public:
  Linter(DryRun& run, std::vector<Finding>& findings) : run_(run), findings_(findings) {}

  void Lint(const List& list) {
    if (!list.readable) {
      Add(list, 0, "warning", "unreadable-list",
          "the list file is missing or cannot be read: its button does nothing");
      return;
    }
    const std::size_t size = list.entries.size();
    if (size > kLongestWalk) {
      Add(list, kLongestWalk + 1, "error", "too-many-entries",
          "the list holds more than 32,767 entries: its button refuses it before any rename");
    }
    for (std::size_t i = 0; i < size; ++i) LintEntry(list, i);
    if (size % 2 == 1 && size <= kLongestWalk) {
      Add(list, size, "warning", "odd-entry",
          "an entry left over: the list has an odd number of entries, so this one belongs to "
          "no pair");
    }
    LintPairs(list);
  }

  // A deactivation list normally holds the activation list's pairs, in the
  // same or the reverse order.
  void CompareLists(const List& activation, const List& deactivation) {
    if (!activation.readable || !deactivation.readable) return;
    const std::size_t pairs = activation.Pairs();
    const auto same = [&](std::size_t d, std::size_t a) {
      return Key(deactivation.entries[2 * d]) == Key(activation.entries[2 * a]) &&
             Key(deactivation.entries[2 * d + 1]) == Key(activation.entries[2 * a + 1]);
    };
    std::size_t forward = 0, backward = 0;
    const bool counts = deactivation.Pairs() == pairs;
    while (counts && forward < pairs && same(forward, forward)) ++forward;
    while (counts && backward < pairs && same(backward, pairs - 1 - backward)) ++backward;
    if (counts && (forward == pairs || backward == pairs)) return;
    const std::size_t differs = counts ? std::max(forward, backward) : 0;
    Add(deactivation, std::min(2 * differs + 1, deactivation.entries.size()), "note",
        "lists-differ",
        "the deactivation list's pairs are not the activation list's pairs, in the same or "
        "the reverse order" +
            (counts ? " (from pair " + std::to_string(differs + 1) + " on)"
                    : std::string(" (") + std::to_string(deactivation.Pairs()) + " pairs against " +
                          std::to_string(pairs) + ")"));
  }

 private:
  void Add(const List& list, std::size_t entry, const char* severity, const char* kind,
           std::string text) {
    Finding finding{list.name, entry, {}, severity, kind, std::move(text)};
    if (entry > 0 && entry <= list.positions.size()) finding.position = list.positions[entry - 1];
    findings_.push_back(std::move(finding));
  }

  // The disk does not change while the lists are looked at: each path is
  // asked about once.
  const PathFacts& Facts(const std::string& path) {
    const auto known = facts_.find(path);
    if (known != facts_.end()) return known->second;
    PathFacts facts;
    try {
      facts = run_.Facts(path);
    } catch (const Error&) {
      // An ambiguous name: the walk says so.
    }
    return facts_.emplace(path, std::move(facts)).first->second;
  }

  // What `path` names, for telling two entries apart.
  std::string Key(const std::string& path) {
    const PathFacts& facts = Facts(path);
    return facts.identity.empty() ? "list text " + path : facts.identity;
  }

  void LintEntry(const List& list, std::size_t i) {
    const std::string& entry = list.entries[i];
    const std::size_t number = i + 1;
    if (entry.empty()) {
      const std::size_t later = (list.entries.size() - number) / 2;
      Add(list, number, "warning", "empty-entry",
          later == 0 ? std::string("empty entry (a blank line or a doubled comma)")
                     : "empty entry (a blank line or a doubled comma) shifts the " +
                           std::to_string(later) + (later == 1 ? " pair" : " pairs") + " after it");
      return;
    }
    const ListPath path = ParseListPath(entry);
    const bool above = !path.names.empty() && path.names.front() == "..";
    if (IsDriveOrShare(entry) || path.from_root || above) {
      const PathFacts& facts = Facts(entry);
      Add(list, number, "warning", "leaves-folder",
          "the path leads outside the mod's folder" +
              (facts.where.empty() ? std::string() : ", to '" + facts.where + "'"));
    }
  }

  void LintPairs(const List& list) {
    // Where each file is as the walk goes: moved away by a pair, or put
    // somewhere by one, by what it names.
    std::map<std::string, std::size_t> moved_away, put_there;
    for (std::size_t pair = 0; pair < list.Pairs(); ++pair) {
      const std::size_t source_entry = 2 * pair + (list.activation ? 1 : 2);
      const std::size_t target_entry = 2 * pair + (list.activation ? 2 : 1);
      const std::string& source = list.Source(pair);
      const std::string& target = list.Target(pair);
      if (source.empty() || target.empty()) continue;
      const PathFacts& from = Facts(source);
      const PathFacts& to = Facts(target);
      if (from.file_found) Spelling(list, source_entry, source, from, true);
      if (to.folder_found) Spelling(list, target_entry, target, to, false);
      if (!to.folder_found && !IsDriveOrShare(target)) {
        const std::string folder = to.where.substr(0, to.where.find_last_of("/\\"));
        Add(list, target_entry, "error", "no-target-folder",
            folder.empty() ? std::string("the target's folder does not exist")
                           : "the target's folder '" + folder + "' does not exist");
      }
      const std::string from_key = from.identity.empty() ? "list text " + source : from.identity;
      const std::string to_key = to.identity.empty() ? "list text " + target : to.identity;
      const std::string new_name(WithoutTrailingDots(ParseListPath(target).names.empty()
                                                         ? std::string_view()
                                                         : ParseListPath(target).names.back()));
      if (from.file_found && from_key == to_key && new_name == from.name) {
        Add(list, source_entry, "warning", "same-path",
            "the pair's source is its own target: it renames nothing");
        continue;
      }
      if (const auto earlier = moved_away.find(from_key); earlier != moved_away.end()) {
        Add(list, source_entry, "warning", "duplicate-source",
            "pair " + std::to_string(pair + 1) + " moves the file that pair " +
                std::to_string(earlier->second) + " moved away already");
      }
      if (const auto earlier = put_there.find(to_key); earlier != put_there.end()) {
        Add(list, target_entry, "warning", "duplicate-target",
            "pair " + std::to_string(pair + 1) + " moves a file onto the target of pair " +
                std::to_string(earlier->second));
      }
      put_there.erase(from_key);
      moved_away.erase(to_key);
      moved_away.emplace(from_key, pair + 1);
      put_there.emplace(to_key, pair + 1);
    }
  }

  void Spelling(const List& list, std::size_t entry, const std::string& path,
                const PathFacts& facts, bool whole) {
    const bool other_case = facts.folder_other_case || (whole && facts.file_other_case);
    const bool trailing = facts.folder_trailing_dots || (whole && facts.file_trailing_dots);
    const std::string on_disk =
        whole ? facts.where : facts.where.substr(0, facts.where.find_last_of("/\\"));
    if (other_case) {
      Add(list, entry, "note", "other-case",
          "'" + path + "' matches the disk only in another case: '" + on_disk + "'");
    }
    if (trailing) {
      Add(list, entry, "note", "trailing-dots",
          "'" + path +
              "' matches the disk only without the dots and spaces at the end of a "
              "name: '" +
              on_disk + "'");
    }
  }

  DryRun& run_;
  std::vector<Finding>& findings_;
  std::unordered_map<std::string, PathFacts> facts_;
};

}  // namespace

CheckReport Check(DryRun& run, const std::string& folder) {
  CheckReport report;
  report.folder = folder;
  run.Reset();
  // As Form_Load reads them: the deactivation list first.
  List deactivation = Load(run, kDeactivationListFile, false);
  List activation = Load(run, kActivationListFile, true);
  DetectState(run, activation, report);

  Counting counting(run);
  Brennel brennel(counting);
  brennel.colInputA = activation.entries;
  brennel.colInputD = deactivation.entries;
  report.activate = PressBoth(run, brennel, counting, true);
  report.deactivate = PressBoth(run, brennel, counting, false);

  Linter linter(run, report.findings);
  run.BeginWalk();
  linter.Lint(activation);
  linter.Lint(deactivation);
  linter.CompareLists(activation, deactivation);
  run.EndWalk();
  return report;
}

int ExitStatus(const CheckReport& report) {
  const ButtonRun* applies = report.state == "inactive" ? &report.activate
                             : report.state == "active" ? &report.deactivate
                                                        : nullptr;
  return applies != nullptr && applies->from_now.result == "complete" && applies->round_trip ? 0
                                                                                             : 1;
}

}  // namespace tavrik
