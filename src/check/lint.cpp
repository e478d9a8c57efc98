#include "lint.h"

#include <algorithm>
#include <cerrno>
#include <functional>
#include <string_view>

#include "launcher.h"
#include "list_path.h"
#include "presses.h"
#include "shift.h"
#include "shown_text.h"

namespace tavrik {

namespace {

std::uint64_t Digest(std::string_view text) { return std::hash<std::string_view>()(text); }

// What an entry names, for telling two entries apart: its identity on disk,
// or its text where it reaches no folder.
std::uint64_t IdentityOf(const std::string& entry, const PathFacts& facts) {
  return facts.identity.empty() ? Digest("list text " + entry) : Digest(facts.identity);
}

bool Ambiguous(const Error& error) {
#ifdef ENOTUNIQ
  return error.Number() == ENOTUNIQ;
#else
  static_cast<void>(error);
  return false;  // Windows matches names in any case itself: never ambiguous
#endif
}

std::string FolderOf(const std::string& path) {
  const std::size_t separator = path.find_last_of("/\\");
  return separator == std::string::npos ? std::string() : path.substr(0, separator);
}

// `name` in `folder`, with the separator the folder's path uses.
std::string JoinedPath(const std::string& folder, const std::string& name) {
  const std::size_t separator = folder.find_last_of("/\\");
  return folder + (separator == std::string::npos ? '/' : folder[separator]) + name;
}

std::string PairCount(std::size_t pairs) {
  return std::to_string(pairs) + (pairs == 1 ? " pair" : " pairs");
}

}  // namespace

void Linter::Add(const CheckedList& list, std::size_t entry, const char* severity, const char* kind,
                 std::string text) {
  if (++counted_[{list.name, kind}] > kShownPerKind) return;
  Finding finding{list.name, entry, {}, severity, kind, std::move(text)};
  if (entry > 0 && entry <= list.positions.size()) finding.position = list.positions[entry - 1];
  findings_.push_back(std::move(finding));
}

void Linter::Finish() {
  // In the order of the lists' entries; the whole list's first.
  std::stable_sort(findings_.begin(), findings_.end(), [](const Finding& a, const Finding& b) {
    return a.list != b.list ? a.list == kActivationListFile : a.entry < b.entry;
  });
  for (const auto& [which, count] : counted_) {
    if (count <= kShownPerKind) continue;
    std::string severity = "note";
    for (const Finding& finding : findings_) {
      if (finding.list == which.first && finding.kind == which.second) severity = finding.severity;
    }
    findings_.push_back({which.first,
                         0,
                         {},
                         severity,
                         which.second,
                         std::to_string(count - kShownPerKind) + " more like these, not shown"});
  }
}

std::string Linter::Shown(const std::string& where) const {
  if (where.size() > here_.size() + 1 && where.compare(0, here_.size(), here_) == 0 &&
      (where[here_.size()] == '/' || where[here_.size()] == '\\')) {
    return where.substr(here_.size() + 1);
  }
  return where;
}

// The two lists side by side, pair by pair: where the deactivation list
// holds the activation list's text, what it names is not asked again.
void Linter::Lint(const CheckedList& activation, const CheckedList& deactivation) {
  const CheckedList* lists[2] = {&activation, &deactivation};
  std::size_t pairs = 0;
  for (const CheckedList* list : lists) {
    if (!list->readable) {
      Add(*list, 0, "warning", "unreadable-list",
          "the list file is missing or cannot be read: its button does nothing; write it, or "
          "make it readable");
      continue;
    }
    if (list->Size() > kLongestWalk) {
      Add(*list, kLongestWalk + 1, "error", "too-many-entries",
          "the list holds more than 32,767 entries: its button refuses it before any rename; "
          "split the mod, or take entries out");
    } else if (list->entries->more_text_followed()) {
      Add(*list, 0, "error", "too-much-text",
          "the list holds more than 10 MiB of text: its button refuses it before any rename "
          "(error 7); take entries out, or make its paths shorter");
    }
    identities_[list->activation ? 0 : 1].assign(list->Size(), 0);
    pairs = std::max(pairs, list->Pairs());
  }
  for (std::size_t pair = 0; pair < pairs; ++pair) {
    Known known[2];  // the pair's two entries, in the list last looked at
    for (const CheckedList* list : lists) {
      if (!list->readable || pair >= list->Pairs()) continue;
      for (const std::size_t number : {2 * pair + 1, 2 * pair + 2}) {
        Known& entry = known[number - 2 * pair - 1];
        const bool again = !list->activation && pair < activation.Pairs() && activation.readable &&
                           activation.Entry(number) == list->Entry(number);
        if (!again) entry = Ask(list->Entry(number));
        Learn(*list, number, entry);
      }
      if (!known[0].facts || !known[1].facts) continue;  // the walk stops with its own error
      const PathFacts& first = *known[0].facts;
      const PathFacts& second = *known[1].facts;
      list->activation ? LintPair(*list, pair, first, second)
                       : LintPair(*list, pair, second, first);
    }
  }
  for (const CheckedList* list : lists) {
    if (list->readable) LintRest(*list);
  }
}

Linter::Known Linter::Ask(const std::string& entry) {
  Known known;
  try {
    known.facts = run_.Facts(entry);
  } catch (const Error& error) {
    if (Ambiguous(error)) known.ambiguity = error.Description();
  }
  known.identity = IdentityOf(entry, known.facts.value_or(PathFacts()));
  return known;
}

void Linter::Learn(const CheckedList& list, std::size_t number, const Known& known) {
  identities_[list.activation ? 0 : 1][number - 1] = known.identity;
  if (!known.ambiguity.empty()) {
    Add(list, number, "error", "ambiguous-name",
        known.ambiguity + ": the walk stops here with an error; spell it exactly as one of them");
  }
  LintEntry(list, number, known.facts.value_or(PathFacts()));
}

// The entry left over, and what the list's order tells.
void Linter::LintRest(const CheckedList& list) {
  const std::size_t size = list.Size();
  for (std::size_t number = 2 * list.Pairs() + 1; number <= size; ++number) {
    Learn(list, number, Ask(list.Entry(number)));
  }
  const Shift shift = FindShift(list);
  shifts_[list.activation ? 0 : 1] = shift;
  if (shift.entry > 0 && !shift.empty) {
    Add(list, shift.entry, "warning", "shifted-pairs",
        "pair " + std::to_string(shift.pair + 1) + " renames " + Named(list.Source(shift.pair)) +
            " to " + Named(list.Target(shift.pair)) +
            ", and the pairs after it agree only without " + Named(list.Entry(shift.entry)) +
            ": from here on the pairs are shifted by one entry; is the entry beside it missing, or "
            "is it one too many?");
  }
  if (size % 2 == 1 && size <= kLongestWalk) {
    const std::string shift_at = shift.entry > 0 ? list.At(shift.entry) : "";
    Add(list, size, "warning", "odd-entry",
        "an entry left over: the list has an odd number of entries, so this one belongs to "
        "no pair" +
            (shift_at.empty() ? std::string("; add its partner, or take it out")
                              : " (it follows from the shift at " + shift_at + ")"));
  }
}

void Linter::LintEntry(const CheckedList& list, std::size_t number, const PathFacts& facts) {
  const std::string& entry = list.Entry(number);
  if (entry.empty()) {
    const std::size_t later = (list.Size() - number) / 2;
    Add(list, number, "warning", "empty-entry",
        later == 0 ? std::string("empty entry (a blank line or a doubled comma); take it out")
                   : "empty entry (a blank line or a doubled comma) shifts the " +
                         PairCount(later) + " after it; take it out");
    return;
  }
  const ListPath path = ParseListPath(entry);
  const bool above = !path.names.empty() && path.names.front() == "..";
  if (IsDriveOrShare(entry) || path.from_root || above) {
    Add(list, number, "warning", "leaves-folder",
        "the path leads outside the mod's folder" +
            (facts.where.empty() ? std::string() : ", to " + Named(facts.where)) +
            ": a list can move files anywhere its user may write; keep it inside unless that is "
            "meant");
  }
}

void Linter::LintPair(const CheckedList& list, std::size_t pair, const PathFacts& from,
                      const PathFacts& to) {
  const std::size_t source_entry = list.SourceEntry(pair);
  const std::size_t target_entry = list.TargetEntry(pair);
  const std::string& source = list.Source(pair);
  const std::string& target = list.Target(pair);
  if (source.empty() || target.empty()) return;
  if (from.file_found) {
    Spelling(list, source_entry, from, true);
    CaseTwin(list, source_entry, from);
  }
  if (from.folder_found) SplitFolders(list, source_entry, from, false);
  if (to.folder_found) {
    Spelling(list, target_entry, to, false);
    SplitFolders(list, target_entry, to, true);
  } else if (from.folder_found && !IsDriveOrShare(target)) {  // else missing-source says it
    const std::string folder = Shown(FolderOf(to.where));
    Add(list, target_entry, "error", "no-target-folder",
        (folder.empty() ? std::string("the target's folder does not exist")
                        : "the target's folder " + Named(folder) + " does not exist") +
            ": the rename will be refused; make the folder, or fix the path");
  }
  const std::vector<std::uint64_t>& identities = identities_[list.activation ? 0 : 1];
  const std::uint64_t from_key = identities[source_entry - 1];
  const std::uint64_t to_key = identities[target_entry - 1];
  auto& moved_away = moved_away_[list.activation ? 0 : 1];
  auto& put_there = put_there_[list.activation ? 0 : 1];
  const ListPath target_path = ParseListPath(target);
  const std::string_view new_name = target_path.names.empty()
                                        ? std::string_view()
                                        : WithoutTrailingDots(target_path.names.back());
  if (from.file_found && from_key == to_key && new_name == from.name) {
    Add(list, source_entry, "warning", "same-path",
        "the pair's source is its own target: it renames nothing; take it out, or fix its "
        "target");
    return;
  }
  if (const auto earlier = moved_away.find(from_key); earlier != moved_away.end()) {
    Add(list, source_entry, "warning", "duplicate-source",
        "pair " + std::to_string(pair + 1) + " moves the file that pair " +
            std::to_string(earlier->second) +
            " moved away already: the walk stops here; take one of the two out");
  }
  if (const auto earlier = put_there.find(to_key); earlier != put_there.end()) {
    Add(list, target_entry, "warning", "duplicate-target",
        "pair " + std::to_string(pair + 1) + " moves a file onto the target of pair " +
            std::to_string(earlier->second) +
            ": the rename will be refused; give it a target of its own");
  }
  put_there.erase(from_key);
  moved_away.erase(to_key);
  moved_away.emplace(from_key, pair + 1);
  put_there.emplace(to_key, pair + 1);
}

void Linter::Spelling(const CheckedList& list, std::size_t entry, const PathFacts& facts,
                      bool whole) {
  const bool other_case = facts.folder_other_case || (whole && facts.file_other_case);
  const bool trailing = facts.folder_trailing_dots || (whole && facts.file_trailing_dots);
  const std::string on_disk = Shown(whole ? facts.where : FolderOf(facts.where));
  const std::string& path = list.Entry(entry);
  if (other_case) {
    Add(list, entry, "note", "other-case",
        Named(path) + " matches the disk only in another case: " + Named(on_disk) +
            "; spell it so");
  }
  if (trailing) {
    Add(list, entry, "note", "trailing-dots",
        Named(path) + " matches the disk only without the dots and spaces at the end of a name: " +
            Named(on_disk) + "; spell it so");
  }
}

std::vector<std::string> Linter::TwinsOf(const std::string& folder, const std::string& name) {
  auto known = twins_.find(Digest(folder));
  if (known == twins_.end()) {
    known = twins_.emplace(Digest(folder), run_.CaseTwins(folder.empty() ? "/" : folder)).first;
  }
  for (const std::vector<std::string>& group : known->second) {
    for (const std::string& twin : group) {
      if (twin != name) continue;
      std::vector<std::string> others;
      for (const std::string& other : group) {
        if (other != name) others.push_back(other);
      }
      return others;
    }
  }
  return {};
}

// Each folder on the way of an entry, as the disk spells it: the folders
// its own names walk through, not those above the working directory.
void Linter::SplitFolders(const CheckedList& list, std::size_t number, const PathFacts& facts,
                          bool target) {
  const ListPath path = ParseListPath(list.Entry(number));
  std::size_t walked = path.names.empty() ? 0 : path.names.size() - 1;
  for (const std::string_view name : path.names) {
    if (name != ".." || walked == 0) break;
    --walked;
  }
  std::string folder = FolderOf(facts.where);
  for (; walked > 0 && !folder.empty(); --walked) {
    const std::string parent = FolderOf(folder);
    const std::string name = folder.substr(parent.size() + (parent.size() < folder.size()));
    if (looked_at_.insert(Digest(folder)).second) {
      const std::vector<std::string> twins = TwinsOf(parent, name);
      if (!twins.empty()) {
        std::string others;
        for (const std::string& twin : twins) {
          others += (others.empty() ? "" : ", ") + Named(Shown(JoinedPath(parent, twin)));
        }
        Add(list, number, "warning", "split-folder",
            "the folder " + Named(Shown(folder)) + " has a twin that differs only in case, " +
                others +
                ": a game run through a Windows compatibility layer sees only one of them; "
                "the walk " +
                (target ? "puts this pair's file in " : "takes this pair's file from ") +
                Named(Shown(folder)) + "; merge the two");
      }
    }
    folder = parent;
  }
}

void Linter::CaseTwin(const CheckedList& list, std::size_t number, const PathFacts& facts) {
  if (!looked_at_.insert(Digest(facts.where)).second) return;
  const std::string folder = FolderOf(facts.where);
  const std::vector<std::string> twins = TwinsOf(folder, LastName(facts.where));
  if (twins.empty()) return;
  std::string others;
  for (const std::string& twin : twins) {
    others += (others.empty() ? "" : ", ") + Named(Shown(JoinedPath(folder, twin)));
  }
  Add(list, number, "warning", "case-twin",
      Named(Shown(facts.where)) + " has a twin that differs only in case, " + others +
          ": Windows takes them for one file, and a game may load either; the walk moves " +
          Named(LastName(facts.where)) + "; take the other away");
}

namespace {

struct Agreement {
  std::size_t forward = 0, backward = 0;
  bool whole = false;
};

// How far two lists' pairs (as identities) agree, in the same or the
// reverse order.
Agreement Agree(const std::vector<std::uint64_t>& a, const std::vector<std::uint64_t>& d) {
  Agreement agreement;
  const std::size_t pa = std::min(a.size(), kLongestWalk) / 2;
  const std::size_t pd = std::min(d.size(), kLongestWalk) / 2;
  const auto same = [&](std::size_t in_d, std::size_t in_a) {
    return d[2 * in_d] == a[2 * in_a] && d[2 * in_d + 1] == a[2 * in_a + 1];
  };
  while (agreement.forward < std::min(pa, pd) && same(agreement.forward, agreement.forward)) {
    ++agreement.forward;
  }
  while (pa == pd && agreement.backward < pa &&
         same(agreement.backward, pa - 1 - agreement.backward)) {
    ++agreement.backward;
  }
  agreement.whole = pa == pd && (agreement.forward == pa || agreement.backward == pa);
  return agreement;
}

// The identities without what shifts the list: its empty entries, or the
// entry its pairs' names leave alone.
std::vector<std::uint64_t> Unshifted(const CheckedList& list, const Shift& shift,
                                     const std::vector<std::uint64_t>& identities) {
  std::vector<std::uint64_t> kept;
  for (std::size_t i = 0; i < identities.size(); ++i) {
    const bool shifts = shift.empty ? list.Entry(i + 1).empty() : i + 1 == shift.entry;
    if (!shifts) kept.push_back(identities[i]);
  }
  return kept;
}

std::string PairText(const CheckedList& list, std::size_t pair) {
  return Named(list.First(pair)) + " and " + Named(list.Second(pair));
}

}  // namespace

void Linter::CompareLists(const CheckedList& activation, const CheckedList& deactivation) {
  if (!activation.readable || !deactivation.readable) return;
  const std::vector<std::uint64_t>& a = identities_[0];
  const std::vector<std::uint64_t>& d = identities_[1];
  const Agreement agreement = Agree(a, d);
  if (agreement.whole) return;
  // A shift moves every pair after it: when the lists agree without what
  // shifts them, that is where they part, and the other list is not to blame.
  if ((shifts_[0].entry > 0 || shifts_[1].entry > 0) &&
      Agree(Unshifted(activation, shifts_[0], a), Unshifted(deactivation, shifts_[1], d)).whole) {
    for (const CheckedList* list : {&activation, &deactivation}) {
      const Shift& shift = shifts_[list->activation ? 0 : 1];
      if (shift.entry == 0) continue;
      Add(*list, shift.entry, "note", "lists-differ",
          std::string("the two lists' pairs part at this ") +
              (shift.empty ? "empty entry" : "shift") +
              ", and agree without it: the pairs after it differ because of it");
    }
    return;
  }
  const bool reverse = agreement.backward > agreement.forward;
  const std::size_t in_d = reverse ? agreement.backward : agreement.forward;
  const std::size_t pa = activation.Pairs(), pd = deactivation.Pairs();
  std::string order = reverse ? " (in reverse order)" : "";
  // A shift before the lists part is the likelier cause.
  for (const CheckedList* list : {&activation, &deactivation}) {
    const Shift& shift = shifts_[list->activation ? 0 : 1];
    const std::size_t parting = list->activation && reverse ? pa - 1 - in_d : in_d;
    if (shift.entry > 0 && shift.pair <= parting) {
      order += "; it follows from the shift at " + list->At(shift.entry);
      break;
    }
  }
  if (in_d < pd && (reverse || in_d < pa)) {
    const std::size_t in_a = reverse ? pa - 1 - in_d : in_d;
    Add(deactivation, 2 * in_d + 1, "note", "lists-differ",
        "pair " + std::to_string(in_d + 1) + " here, " + PairText(deactivation, in_d) +
            ", is not pair " + std::to_string(in_a + 1) + " of Tavrik.mla, " +
            PairText(activation, in_a) + " (" + activation.At(2 * in_a + 1) +
            "): the lists' pairs agree up to here" + order);
    Add(activation, 2 * in_a + 1, "note", "lists-differ",
        "pair " + std::to_string(in_a + 1) + " here, " + PairText(activation, in_a) +
            ", is not pair " + std::to_string(in_d + 1) + " of Tavrik.mld, " +
            PairText(deactivation, in_d) + " (" + deactivation.At(2 * in_d + 1) + ")" + order);
    return;
  }
  const CheckedList& longer = pa > pd ? activation : deactivation;
  const CheckedList& shorter = pa > pd ? deactivation : activation;
  const std::size_t first = std::min(pa, pd);
  Add(longer, 2 * first + 1, "note", "lists-differ",
      "pair " + std::to_string(first + 1) + " here, " + PairText(longer, first) + ", has none in " +
          shorter.name + ", which ends after " + PairCount(first));
  if (first > 0) {
    Add(shorter, 2 * first, "note", "lists-differ",
        "this list ends after " + PairCount(first) + "; " + longer.name + " goes on with pair " +
            std::to_string(first + 1) + ", " + PairText(longer, first) + " (" +
            longer.At(2 * first + 1) + ")");
  }
}

void Linter::Misplaced(const CheckedList& list, const ModState& state) {
  for (const std::size_t pair : state.missing) {
    // An empty entry says it itself; a file that an earlier pair moves
    // away, duplicate-source.
    const std::string& source = list.Source(pair - 1);
    if (source.empty()) continue;
    try {
      if (run_.Facts(source).file_found) continue;
    } catch (const Error&) {
      continue;  // ambiguous-name
    }
    Add(list, list.SourceEntry(pair - 1), "warning", "missing-source",
        Named(list.Source(pair - 1)) + " is missing, and so is its target " +
            Named(list.Target(pair - 1)) +
            ": the walk stops at this pair; ship the file, or take the pair out");
  }
  if (!list.activation) return;
  for (const std::size_t pair : state.disagreeing) {
    Add(list, list.SourceEntry(pair - 1), "warning", "missing-source",
        Named(list.Source(pair - 1)) + " is missing, but its target " +
            Named(list.Target(pair - 1)) +
            " is there: already done (while pairs before it are not), or are source and target "
            "swapped?");
  }
}

bool Linter::OwnFile(std::size_t pair) {
  if (own_.empty()) {
    // Where any pair starts counts once more than where it ends, so that a
    // file is the mod's own when it starts a pair, or ends two.
    for (const std::vector<std::uint64_t>& identities : identities_) {
      for (std::size_t i = 0; i + 1 < std::min(identities.size(), kLongestWalk); i += 2) {
        own_[identities[i]] += 2;
      }
    }
    const std::vector<std::uint64_t>& a = identities_[0];
    for (std::size_t i = 1; i < std::min(a.size(), kLongestWalk); i += 2) ++own_[a[i]];
  }
  const std::size_t index = 2 * pair - 1;
  if (index >= identities_[0].size()) return false;
  const auto found = own_.find(identities_[0][index]);
  return found != own_.end() && found->second > 1;
}

}  // namespace tavrik
