// brennel-check's check: the lists read as the tool reads them, walked by the
// tool's own Brennel on a dry run, and each entry and pair looked at on disk.

#include "check.h"

#include <algorithm>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <unordered_set>
#include <utility>

#include "launcher.h"
#include "list_path.h"
#include "shown_text.h"

namespace tavrik {

namespace {

// The group of the finding that tells a shift.
std::string ShiftKey(const Shift& shift) {
  return shift.empty ? "empty-entry\t" : "shifted-pairs\t";
}

std::string PairText(const CheckedList& list, std::size_t pair) {
  return Named(list.First(pair)) + " and " + Named(list.Second(pair));
}

// Where two paths to one file part, as NTFS compares names ("Data/textures" for
// "Data/textures/a" and "Data/Textures/a"): the group of a split folder's findings.
std::string SplitGroup(const std::string& a, const std::string& b) {
  const std::size_t at = std::ranges::mismatch(a, b).in1 - a.begin();
  return NameKeyOf(a.substr(0, a.find_first_of("/\\", at)));
}

std::string Beside(const std::string& path, const std::string& name) {
  const std::string folder = FolderOf(path);
  return folder + path[folder.size()] + name;
}

// What of `twin` (from it, after `under`) its twin `folder` holds too under a
// name Windows takes for one: what a merge of the two puts one copy over the
// other of. Folders of one name merge, and are looked into.
void InBoth(DryRun& run, const std::string& folder, const std::string& twin,
            const std::string& under, std::vector<std::string>& both) {
  std::map<std::string, std::pair<std::string, bool>> ours;  // by key: name, a folder
  for (auto& [name, is_folder] : run.FolderNames(folder)) {
    ours.try_emplace(NameKeyOf(name), name, is_folder);
  }
  const char separator = folder[FolderOf(folder).size()];
  for (const auto& [name, is_folder] : run.FolderNames(twin)) {
    const auto same = ours.find(NameKeyOf(name));
    if (same == ours.end()) continue;
    if (is_folder && same->second.second) {
      InBoth(run, folder + separator + same->second.first, twin + separator + name,
             under + name + separator, both);
    } else {
      both.push_back(under + name);
    }
  }
}

// "'a', 'b' and 3 more".
std::string NamesText(std::vector<std::string> names) {
  constexpr std::size_t kNamed = 3;
  std::ranges::sort(names);
  const std::size_t named = names.size() > kNamed + 1 ? kNamed : names.size();
  std::string text;
  for (std::size_t i = 0; i < named; ++i) {
    text += (i == 0                                    ? ""
             : i + 1 == named && named == names.size() ? " and "
                                                       : ", ") +
            Named(names[i]);
  }
  return named < names.size() ? text + " and " + std::to_string(names.size() - named) + " more"
                              : text;
}

// What each entry of `list` names by its text; without what shifts the list (its empty
// entries, or the entry its pairs' names leave alone) when `unshifted`.
std::vector<std::string_view> Keys(const CheckedList& list, bool unshifted = false) {
  std::vector<std::string_view> keys;
  for (std::size_t i = 1; i <= std::min(list.Size(), kLongestWalk); ++i) {
    const bool shifts = list.shift.empty ? list.Entry(i).empty() : i == list.shift.entry;
    if (!unshifted || !shifts) keys.push_back(list.Key(i));
  }
  return keys;
}

// Where two lists' pairs part, by their Keys: how many agree in the same
// order and in the reverse; none when either holds for every pair.
std::optional<std::pair<std::size_t, std::size_t>> Parting(const std::vector<std::string_view>& a,
                                                           const std::vector<std::string_view>& d) {
  const std::size_t pa = a.size() / 2, pd = d.size() / 2;
  const auto same = [&](std::size_t in_d, std::size_t in_a) {
    return d[2 * in_d] == a[2 * in_a] && d[2 * in_d + 1] == a[2 * in_a + 1];
  };
  std::size_t forward = 0, backward = 0;
  while (forward < std::min(pa, pd) && same(forward, forward)) ++forward;
  while (pa == pd && backward < pa && same(backward, pa - 1 - backward)) ++backward;
  if (pa == pd && (forward == pa || backward == pa)) return std::nullopt;
  return std::pair(forward, backward);
}

// Reads a list into the Brennel's own `entries`, as Form_Load does.
CheckedList Load(DryRun& run, const char* name, bool activation, EntryList& entries) {
  CheckedList list;
  list.name = name;
  list.activation = activation;
  list.entries = &entries;
  list.readable = Goes([&] { run.OpenListFile(name); });
  LoadEntryList(run, name, entries, &list.positions);
  list.shift = FindShift(list);
  return list;
}

// The findings about a mod's lists. Paths on disk are shown from `here`, the working directory.
class Linter {
 public:
  Linter(DryRun& run, Presser& presser, std::string here, bool every_text,
         std::vector<Finding>& findings)
      : run_(run),
        presser_(presser),
        here_(std::move(here)),
        every_text_(every_text),
        findings_(findings) {}

  /// The findings about each list's entries and pairs on the disk as it is,
  /// each entry and folder looked at once, and where the two lists part.
  void Lint(const CheckedList& activation, const CheckedList& deactivation) {
    for (const CheckedList* list : {&activation, &deactivation}) {
      if (!list->readable) {
        Add(*list, 0, Kind::kUnreadableList,
            "the list file is missing or cannot be read: its button does nothing; write it, or "
            "make it readable");
        continue;
      }
      const bool too_many = list->TooMany();
      if (list->Refused()) {
        const Cause refused = ListRefusal(too_many);
        Add(*list, too_many ? kLongestWalk + 1 : 0, refused.kind,
            refused.text + ": its button refuses it before any rename" +
                (too_many ? "" : " (error " + std::to_string(error_number::kOutOfMemory) + ")") +
                "; " + refused.fix);
      }
      std::optional<PathFacts> first;
      for (std::size_t number = 1; number <= list->Size(); ++number) {
        std::optional<PathFacts> facts = Ask(*list, number);
        const std::size_t pair = number / 2 - 1;
        if (number % 2 == 0 && pair < list->Pairs() && first && facts) {  // else the walk errs
          list->activation ? LintPair(*list, pair, *first, *facts)
                           : LintPair(*list, pair, *facts, *first);
        }
        // Every pair whose file an earlier one moves away, not only the one a walk stops at.
        if (number % 2 == 0 && pair < list->Unshifted() && !list->Source(pair).empty()) {
          if (const Cause away = presser_.MovedAway(*list, pair); away.kind != Kind::kNone) {
            Told(*list, pair + 1, away, away.kind, "");
          }
        }
        first = std::move(facts);
      }
      LintRest(*list);
    }
    CompareLists(activation, deactivation);
  }

  /// The pairs whose file is in neither place, at both, or (the activation
  /// list) at its target out of turn.
  void Misplaced(const CheckedList& list, const ModState& state) {
    // A list its button refuses whole stops at no pair: its missing files follow from that.
    const std::string refused =
        list.Refused() ? NameOf(ListRefusal(list.TooMany()).kind) + std::string("\t") : "";
    std::unordered_set<std::size_t> misspelt;  // the first entries of misspelt pairs
    for (const std::size_t pair : state.At(PairPlace::kNeither)) {
      const Cause cause = presser_.Missing(list, pair - 1);
      // An empty entry says it itself; a file an earlier pair moves, the walk's stop.
      if (cause.kind == Kind::kEmptyEntry || cause.kind == Kind::kDuplicateSource) continue;
      const bool split = cause.kind == Kind::kSplitFolder && !cause.moves.empty();
      if (cause.kind == Kind::kMisspelt) misspelt.insert(2 * pair - 1);
      Told(list, pair, cause, split ? Kind::kMissingSource : cause.kind,
           !refused.empty() ? refused
           : split          ? "split-folder\t" + SplitGroup(cause.moves[0].from, cause.moves[0].to)
                            : "");
    }
    for (Finding& finding : findings_) {  // where the lists part follows from the misspelling
      if (finding.kind == Kind::kListsDiffer && misspelt.contains(finding.entry)) {
        finding.under = "misspelt\t";
      }
    }
    if (!list.activation) return;
    for (const std::size_t pair : state.At(PairPlace::kBoth)) {
      Add(list, list.TargetEntry(pair - 1), Kind::kBothNames,
          "a file is at both paths of the pair, " + Named(presser_.OnDisk(list.First(pair - 1))) +
              " and " + Named(presser_.OnDisk(list.Second(pair - 1))) +
              ": no walk moves one onto the other; move one of them aside");
    }
    if (state.state != State::kMixed) return;
    const std::size_t stop = StopOf(state.places, PairPlace::kSecond) + 1;  // the first not moved
    for (const std::size_t pair : state.At(PairPlace::kSecond)) {
      if (pair < stop) continue;
      Add(list, list.SourceEntry(pair - 1), Kind::kMissingSource,
          Named(list.Source(pair - 1)) + " is missing, but its target " +
              Named(list.Target(pair - 1)) + " is there, while the file of pair " +
              std::to_string(stop) + " is not moved: it is out of turn");
    }
  }

  /// What stops a press, where no other finding tells it.
  void Stopped(const CheckedList& list, const Outcome& outcome) {
    const Cause& cause = outcome.cause;
    const auto told = [&](const Finding& finding) {  // already, of either path of the pair
      return finding.list == list.name && (finding.entry + 1) / 2 == outcome.pair &&
             finding.kind == cause.kind;
    };
    const bool telling = cause.kind == Kind::kDuplicateSource ||
                         cause.kind == Kind::kDuplicateTarget || cause.kind == Kind::kMisspelt ||
                         cause.kind == Kind::kRefused;
    if (outcome.pair > 0 && telling && std::ranges::none_of(findings_, told)) {
      Told(list, outcome.pair, cause, cause.kind, "");
    }
  }

  /// A list that cannot be what its author meant, at the first entry it
  /// spoils: every other finding of the list follows from it.
  void Unmeant(const CheckedList& list, const tavrik::Unmeant& unmeant) {
    const std::string key = "unmeant-list\t" + std::string(list.name);
    for (Finding& finding : findings_) {
      if (finding.list == list.name && finding.under.empty()) finding.under = key;
    }
    Add(list, unmeant.entry, Kind::kUnmeantList, unmeant.text + "; " + unmeant.fix, list.name);
  }

  /// Sorts the findings by list, then entry; the whole list's first.
  /// Mostly they are already, which is cheaper to see than to sort.
  void Finish() {
    const auto before = [](const Finding& a, const Finding& b) {
      return a.list != b.list ? a.list == kActivationListFile : a.entry < b.entry;
    };
    if (!std::ranges::is_sorted(findings_, before)) std::ranges::stable_sort(findings_, before);
  }

 private:
  void Add(const CheckedList& list, std::size_t entry, Kind kind, std::string text,
           std::string group = "", std::string under = "") {
    const bool placed = entry > 0 && entry <= list.positions.size();
    findings_.push_back({list.name, entry, placed ? list.positions[entry - 1] : FieldPosition(),
                         SeverityOf(kind), kind, std::move(text), std::move(group),
                         std::move(under)});
  }

  // A path on disk as findings name it: from the working directory.
  std::string Shown(const std::string& where) const { return Named(FromHere(where, here_)); }

  // What entry `number` reaches on disk, and its findings of its own; none
  // when a name on its way is ambiguous.
  std::optional<PathFacts> Ask(const CheckedList& list, std::size_t number) {
    const std::string& entry = list.Entry(number);
    std::optional<PathFacts> facts;
    try {
      facts = run_.Facts(entry);
    } catch (const Error& error) {
      // One folder's ambiguity makes a finding of every entry through it.
      if (FailureOf(error.Number()) == Failure::kAmbiguous) {
        Add(list, number, Kind::kAmbiguousName,
            error.Description() +
                ": the walk stops here with an error; merge them into one, or spell the list "
                "exactly as one of them",
            error.Description());
      }
    }
    // Only a ".." can lead above the folder from inside it.
    const bool up = entry.find("..") != std::string::npos && LeadingUps(ParseListPath(entry)) > 0;
    if (entry.empty()) {
      const std::size_t later = (list.Size() - number) / 2;
      Add(list, number, Kind::kEmptyEntry,
          "empty entry (a blank line or a doubled comma)" +
              (later == 0 ? std::string() : " shifts the " + Counted(later, "pair") + " after it") +
              "; take it out");
    } else if (IsDriveOrShare(entry) || IsSeparator(entry[0]) || up) {
      Add(list, number, Kind::kLeavesFolder,
          "the path leads outside the mod's folder" +
              (!facts || facts->where.empty() ? std::string() : ", to " + Named(facts->where)) +
              ": a list can move files anywhere its user may write; keep it inside unless that "
              "is meant");
    }
    return facts;
  }

  void LintPair(const CheckedList& list, std::size_t pair, const PathFacts& from,
                const PathFacts& to) {
    const std::size_t source_entry = list.SourceEntry(pair), target_entry = list.TargetEntry(pair);
    const std::string &source = list.Source(pair), &target = list.Target(pair);
    if (source.empty() || target.empty()) return;
    if (from.file_found) {
      Spelling(list, source_entry, from, true);
      const std::string& file = from.where;
      const auto [folder, name] = FolderAndName(file);
      const std::vector<std::string> twins = presser_.TwinsOf(folder, name);
      if (!twins.empty() && files_told_.insert(file).second) {  // at the first pair that moves it
        for (const std::string& twin : twins) {
          Add(list, source_entry, Kind::kCaseTwin,
              Shown(file) + " has a twin that differs only in case, " + Shown(Beside(file, twin)) +
                  ": Windows takes them for one file, a game may load either, and the walk "
                  "takes the twin for its target's name; the walk moves " +
                  Named(LastName(file)) + "; take the other away");
        }
      }
    }
    if (from.folder_found) SplitFolders(list, source_entry, from, false);
    if (to.folder_found) {
      Spelling(list, target_entry, to, false);
      SplitFolders(list, target_entry, to, true);
    } else if (from.folder_found && !IsDriveOrShare(target)) {  // else missing-source says it
      Add(list, target_entry, Kind::kNoTargetFolder,
          "the target's folder " + Shown(FolderOf(to.where)) +
              " does not exist: the rename will be refused; make the folder, or fix the path");
    }
    if (from.file_found && list.Key(source_entry) == list.Key(target_entry) &&
        WithoutTrailingDots(LastName(target)) == LastName(from.where)) {
      Add(list, source_entry, Kind::kSamePath,
          "the pair's source is its own target: it renames nothing; take it out, or fix its "
          "target");
    }
  }

  // The whole entry as the disk spells it: a name the folder lacks, as the rename would make it.
  void Spelling(const CheckedList& list, std::size_t entry, const PathFacts& facts, bool whole) {
    const auto note = [&](Kind kind, std::size_t& first, const char* how, const char* fix) {
      // A list typed in another case has a note an entry: where only a kind's
      // first is shown, it counts the others.
      if (!every_text_ && first < findings_.size()) return void(++findings_[first].count);
      first = findings_.size();
      Add(list, entry, kind,
          Named(list.Entry(entry)) + " matches the disk only " + how + ": " + Shown(facts.where) +
              "; " + fix);
    };
    if (facts.folder_other_case || (whole && facts.file_other_case)) {
      note(Kind::kOtherCase, other_case_told_, "in another case",
           "the walk finds it so, and spelling it so is surer");
    }
    if (facts.folder_trailing_dots || (whole && facts.file_trailing_dots)) {
      note(Kind::kTrailingDots, dots_told_, "without the dots and spaces at the end of a name",
           "spell it so");
    }
  }

  // Each folder on the way of an entry inside the mod's folder, as the disk
  // spells it. A folder looked at had those above it looked at too.
  void SplitFolders(const CheckedList& list, std::size_t number, const PathFacts& facts,
                    bool target) {
    for (std::string_view at = FolderAndName(facts.where).first;
         at.size() > here_.size() && !folders_looked_at_.contains(at);
         at = FolderAndName(at).first) {
      const std::string& folder = *folders_looked_at_.emplace(at).first;
      std::string others;
      std::vector<std::string> both;  // a merge overwrites one copy of each
      const auto [parent, name] = FolderAndName(folder);
      for (const std::string& twin : presser_.TwinsOf(parent, name)) {
        others += (others.empty() ? "" : ", ") + Shown(Beside(folder, twin));
        InBoth(run_, folder, Beside(folder, twin), "", both);
      }
      if (others.empty()) continue;
      Add(list, number, Kind::kSplitFolder,
          "the folder " + Shown(folder) + " has a twin that differs only in case, " + others +
              ": a game run through a Windows compatibility layer sees only one of them; the "
              "walk " +
              (target ? "puts this pair's file in " : "takes this pair's file from ") +
              Shown(folder) +
              (both.empty() ? "; move the files of " + others + " into " + Shown(folder)
                            : "; both hold " + NamesText(std::move(both)) +
                                  ", and a merge would put one copy over the other: move the "
                                  "files only in " +
                                  others + " into " + Shown(folder) +
                                  ", and decide for each name in both which copy to keep"),
          NameKeyOf(FromHere(folder, here_)));
    }
  }

  // What the list's order tells: a shift, and the entry left over.
  void LintRest(const CheckedList& list) {
    const Shift& shift = list.shift;
    const std::string at = shift.entry > 0 ? list.At(shift.entry) : "";
    if (shift.entry > 0 && !shift.empty) {
      Add(list, shift.entry, Kind::kShiftedPairs,
          "pair " + std::to_string(shift.pair + 1) + " renames " + Named(list.Source(shift.pair)) +
              " to " + Named(list.Target(shift.pair)) +
              ", and the pairs after it agree only without " + Named(list.Entry(shift.entry)) +
              ": from here on the pairs are shifted by one entry; is the entry beside it missing, "
              "or is it one too many?");
    }
    if (list.Size() % 2 == 1 && !list.TooMany()) {
      Add(list, list.Size(), Kind::kOddEntry,
          "an entry left over: the list has an odd number of entries, so this one belongs to "
          "no pair" +
              (at.empty() ? std::string("; add its partner, or take it out")
                          : " (it follows from the shift at " + at + ")"),
          "", at.empty() ? "" : ShiftKey(shift));
    }
  }

  // A deactivation list normally holds the activation list's pairs, in the
  // same or the reverse order, as Windows compares paths: where they part, in both lists.
  void CompareLists(const CheckedList& activation, const CheckedList& deactivation) {
    if (!activation.readable || !deactivation.readable) return;
    const auto parting = Parting(Keys(activation), Keys(deactivation));
    if (!parting) return;
    const CheckedList* both[] = {&activation, &deactivation};
    // A shift moves every pair after it: when the lists agree without what
    // shifts them, that is where they part, and the other list is not to blame.
    if ((activation.shift.entry > 0 || deactivation.shift.entry > 0) &&
        !Parting(Keys(activation, true), Keys(deactivation, true))) {
      for (const CheckedList* list : both) {
        if (list->shift.entry == 0) continue;
        Add(*list, list->shift.entry, Kind::kListsDiffer,
            std::string("the two lists' pairs part at this ") +
                (list->shift.empty ? "empty entry" : "shift") +
                ", and agree without it: the pairs after it differ because of it",
            "", ShiftKey(list->shift));
      }
      return;
    }
    const auto [forward, backward] = *parting;
    const bool reverse = backward > forward;
    const std::size_t pa = activation.Pairs(), pd = deactivation.Pairs();
    const std::size_t in_d = std::max(forward, backward), in_a = reverse ? pa - 1 - in_d : in_d;
    std::string order = reverse ? " (in reverse order)" : "";
    for (const CheckedList* list : both) {  // a shift before the lists part is the likelier cause
      if (list->shift.entry > 0 && list->shift.pair <= (list->activation ? in_a : in_d)) {
        order += "; it follows from the shift at " + list->At(list->shift.entry);
        break;
      }
    }
    if (in_d < pd && (reverse || in_d < pa)) {
      const auto differs = [&](const CheckedList& list, std::size_t pair, const CheckedList& other,
                               std::size_t other_pair, const char* agree) {
        Add(list, 2 * pair + 1, Kind::kListsDiffer,
            "pair " + std::to_string(pair + 1) + " here, " + PairText(list, pair) +
                ", is not pair " + std::to_string(other_pair + 1) + " of " + other.name + ", " +
                PairText(other, other_pair) + " (" + other.At(2 * other_pair + 1) + ")" + agree +
                order);
      };
      differs(deactivation, in_d, activation, in_a, ": the lists' pairs agree up to here");
      differs(activation, in_a, deactivation, in_d, "");
      return;
    }
    const CheckedList &longer = pa > pd ? activation : deactivation,
                      &shorter = pa > pd ? deactivation : activation;
    const std::size_t first = std::min(pa, pd);
    Add(longer, 2 * first + 1, Kind::kListsDiffer,
        "pair " + std::to_string(first + 1) + " here, " + PairText(longer, first) +
            ", has none in " + shorter.name + ", which ends after " + Counted(first, "pair"));
    if (first > 0) {
      Add(shorter, 2 * first, Kind::kListsDiffer,
          "this list ends after " + Counted(first, "pair") + "; " + longer.name +
              " goes on with pair " + std::to_string(first + 1) + ", " + PairText(longer, first) +
              " (" + longer.At(2 * first + 1) + ")");
    }
  }

  // A cause as the finding at its entry (from 1), which names its own place "this entry".
  void Told(const CheckedList& list, std::size_t pair, const Cause& cause, Kind kind,
            std::string under) {
    const std::size_t entry = cause.entry > 0 ? cause.entry : list.SourceEntry(pair - 1);
    std::string text = cause.text + (cause.fix.empty() ? "" : "; " + cause.fix);
    const std::string at = list.At(entry);
    if (text.starts_with(at + " ")) text.replace(0, at.size(), "this entry");
    Add(list, entry, kind, std::move(text), "", std::move(under));
  }

  DryRun& run_;
  Presser& presser_;
  std::string here_;
  bool every_text_;
  std::size_t other_case_told_ = -1, dots_told_ = -1;  // the first note of each, once told
  std::vector<Finding>& findings_;
  std::set<std::string, std::less<>> files_told_, folders_looked_at_;  // for twins
};

}  // namespace

CheckReport Check(DryRun& run, const std::string& folder, bool every_text) {
  CheckReport report;
  report.folder = folder;
  run.Reset();
  Presser presser(run, folder);
  // As Form_Load reads them: the deactivation list first.
  const CheckedList deactivation =
      Load(run, kDeactivationListFile, false, presser.brennel().colInputD);
  const CheckedList activation = Load(run, kActivationListFile, true, presser.brennel().colInputA);
  presser.Know(activation, deactivation);
  if (!activation.readable && !deactivation.readable) {
    Advise(report, ModState(), presser);
    return report;
  }
  // The state by the activation list; by the deactivation list when only it
  // has pairs. Its pairs lie the same way: first paths for a deactivated mod.
  const bool by_activation = activation.Pairs() > 0 || deactivation.Pairs() == 0;
  const CheckedList& basis = by_activation ? activation : deactivation;
  std::vector<PairPlace> places = Locate(run, basis, presser.UsesIn(basis)),
                         by_deactivation = places;
  // Plain lists alike but for the case of letters and the separators lead to
  // the same places, where no folder holds names that differ only in case (not
  // so "x.off." and "x.off": a folder may hold only the first).
  if (by_activation && deactivation.Pairs() > 0 && *deactivation.entries != *activation.entries &&
      !(run.Twinless() && activation.Plain() && deactivation.Plain() &&
        Keys(activation) == Keys(deactivation))) {
    by_deactivation = Locate(run, deactivation, presser.UsesIn(deactivation));
  }
  // A button whose list has no pair stops nowhere: no walk of it left the files so.
  if (deactivation.Pairs() == 0) by_deactivation.clear();
  const ModState state =
      StateOf(std::move(places), by_deactivation, basis.shift.entry > 0, by_activation);
  if (basis.shift.entry > 0) {
    report.shift_at = basis.At(basis.shift.entry);
    report.shift_pair = basis.shift.pair + 1;
    report.shift_empty = basis.shift.empty;
  }
  report.state = state.state;
  report.pairs = state.places.size();
  report.stop = state.stop;
  report.moved = state.At(PairPlace::kSecond);
  report.missing = state.At(PairPlace::kNeither);
  report.both = state.At(PairPlace::kBoth);
  report.unknown = state.At(PairPlace::kUnknown);
  for (const std::size_t pair : report.missing) {
    if (!presser.InTwin(basis.Source(pair - 1)).empty()) report.in_twins.push_back(pair);
  }
  const bool inactive = report.state == State::kInactive || report.state == State::kIncomplete;
  // No file at a second path, nor one at both of a pair's: no target was there.
  if (by_activation && inactive && state.At(PairPlace::kSame).empty()) presser.KnowNoTargets();
  presser.Both(!inactive, report.activate, report.deactivate);

  Linter linter(run, presser, folder, every_text, report.findings);
  run.BeginWalk();
  tavrik::Unmeant unmeant[] = {UnmeantList(run, activation, folder),
                               UnmeantList(run, deactivation, folder)};
  linter.Lint(activation, deactivation);
  linter.Misplaced(basis, state);
  if (by_activation && deactivation.Pairs() > 0) {  // its missing files, in its own lines
    linter.Misplaced(deactivation, ModState{State::kInactive, by_deactivation, 0, false});
  }
  run.EndWalk();
  linter.Stopped(activation, report.activate.from_now());
  linter.Stopped(deactivation, report.activate.then_other());
  linter.Stopped(deactivation, report.deactivate.from_now());
  linter.Stopped(activation, report.deactivate.then_other());
  for (const CheckedList* list : {&activation, &deactivation}) {
    const tavrik::Unmeant& told = unmeant[list == &activation ? 0 : 1];
    if (told.list.empty()) continue;
    linter.Unmeant(*list, told);
    // The report's lines tell the list the state is told by, or else the other.
    if (report.unmeant.list.empty() || list == &basis) report.unmeant = told;
  }
  // Both lists spoilt alike: both are fixed alike.
  if (!unmeant[0].list.empty() && !unmeant[1].list.empty() &&
      unmeant[0].reason == unmeant[1].reason) {
    const std::string& other = unmeant[report.unmeant.list == unmeant[0].list ? 1 : 0].list;
    std::string& fix = report.unmeant.fix;
    if (const std::size_t at = fix.find(report.unmeant.list); at != std::string::npos) {
      fix.insert(at + report.unmeant.list.size(), " and " + other);
    }
  }
  linter.Finish();
  Advise(report, state, presser);
  return report;
}

int ExitStatus(const CheckReport& report) {
  if (report.state == State::kNoLists) return 2;
  if (report.state != State::kInactive && report.state != State::kActive) return 1;
  // A list cut off leaves its last file where it is, whatever the walks do.
  if (std::ranges::any_of(report.findings,
                          [](const Finding& f) { return f.kind == Kind::kOddEntry; })) {
    return 1;
  }
  const Trial& applies = report.state == State::kInactive ? report.activate : report.deactivate;
  return applies.from_now().result == Result::kComplete && applies.round_trip ? 0 : 1;
}

}  // namespace tavrik
