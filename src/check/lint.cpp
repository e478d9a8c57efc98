#include "lint.h"

#include <algorithm>
#include <functional>
#include <string_view>

#include "launcher.h"
#include "list_limits.h"
#include "list_path.h"
#include "name_key.h"
#include "shown_text.h"

namespace tavrik {

namespace {

std::uint64_t Digest(std::string_view text) { return std::hash<std::string_view>()(text); }

// What an entry names, for telling two entries apart: its identity on disk,
// or its text where it reaches no folder.
std::uint64_t IdentityOf(const std::string& entry, const PathFacts& facts) {
  return facts.identity.empty() ? Digest("list text " + entry) : Digest(facts.identity);
}

// `name` in `folder`, with the separator the folder's path uses.
std::string JoinedPath(const std::string& folder, const std::string& name) {
  const std::size_t separator = folder.find_last_of("/\\");
  return folder + (separator == std::string::npos ? '/' : folder[separator]) + name;
}

// The group of the finding that tells a shift.
std::string ShiftKey(const Shift& shift) {
  return shift.empty ? "empty-entry\t" : "shifted-pairs\t";
}

}  // namespace

std::string SplitGroup(const std::string& a, const std::string& b) {
  std::size_t at = 0;
  while (at < a.size() && at < b.size() && a[at] == b[at]) ++at;
  return NameKey(a.substr(0, a.find_first_of("/\\", at)));
}

void Linter::Add(const CheckedList& list, std::size_t entry, Severity severity, const char* kind,
                 std::string text, std::string group, std::string under) {
  Finding finding{list.name,        entry,           {}, severity, kind, std::move(text),
                  std::move(group), std::move(under)};
  if (entry > 0 && entry <= list.positions.size()) finding.position = list.positions[entry - 1];
  findings_.push_back(std::move(finding));
}

void Linter::Finish() {
  // In the order of the lists' entries; the whole list's first.
  std::stable_sort(findings_.begin(), findings_.end(), [](const Finding& a, const Finding& b) {
    return a.list != b.list ? a.list == kActivationListFile : a.entry < b.entry;
  });
}

// The two lists side by side, pair by pair: where the deactivation list
// holds the activation list's text, what it names is not asked again.
void Linter::Lint(const CheckedList& activation, const CheckedList& deactivation) {
  const CheckedList* lists[2] = {&activation, &deactivation};
  std::size_t pairs = 0;
  for (const CheckedList* list : lists) {
    if (!list->readable) {
      Add(*list, 0, Severity::kWarning, "unreadable-list",
          "the list file is missing or cannot be read: its button does nothing; write it, or "
          "make it readable");
      continue;
    }
    if (list->Size() > kLongestWalk) {
      Add(*list, kLongestWalk + 1, Severity::kError, "too-many-entries",
          "the list holds more than " + Thousands(kLongestWalk) +
              " entries: its button refuses it before any rename; split the mod, or take "
              "entries out");
    } else if (list->entries->more_text_followed()) {
      Add(*list, 0, Severity::kError, "too-much-text",
          "the list holds more than " + std::to_string(kMaxListText >> 20) +
              " MiB of text: its button refuses it before any rename (error " +
              std::to_string(error_number::kOutOfMemory) +
              "); take entries out, or make its paths shorter");
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
    if (FailureOf(error.Number()) == Failure::kAmbiguous) known.ambiguity = error.Description();
  }
  known.identity = IdentityOf(entry, known.facts.value_or(PathFacts()));
  return known;
}

void Linter::Learn(const CheckedList& list, std::size_t number, const Known& known) {
  identities_[list.activation ? 0 : 1][number - 1] = known.identity;
  if (!known.ambiguity.empty()) {
    // One folder's ambiguity makes a finding of every entry through it.
    Add(list, number, Severity::kError, "ambiguous-name",
        known.ambiguity +
            ": the walk stops here with an error; merge them into one, or spell the "
            "list exactly as one of them",
        known.ambiguity);
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
  const std::string shift_at = shift.entry > 0 ? list.At(shift.entry) : "";
  const std::string under = shift.entry == 0 ? "" : ShiftKey(shift);
  if (shift.entry > 0 && !shift.empty) {
    Add(list, shift.entry, Severity::kWarning, "shifted-pairs",
        "pair " + std::to_string(shift.pair + 1) + " renames " + Named(list.Source(shift.pair)) +
            " to " + Named(list.Target(shift.pair)) +
            ", and the pairs after it agree only without " + Named(list.Entry(shift.entry)) +
            ": from here on the pairs are shifted by one entry; is the entry beside it missing, or "
            "is it one too many?");
  }
  if (size % 2 == 1 && size <= kLongestWalk) {
    Add(list, size, Severity::kWarning, "odd-entry",
        "an entry left over: the list has an odd number of entries, so this one belongs to "
        "no pair" +
            (shift_at.empty() ? std::string("; add its partner, or take it out")
                              : " (it follows from the shift at " + shift_at + ")"),
        "", under);
  }
}

void Linter::LintEntry(const CheckedList& list, std::size_t number, const PathFacts& facts) {
  const std::string& entry = list.Entry(number);
  if (entry.empty()) {
    const std::size_t later = (list.Size() - number) / 2;
    Add(list, number, Severity::kWarning, "empty-entry",
        later == 0 ? std::string("empty entry (a blank line or a doubled comma); take it out")
                   : "empty entry (a blank line or a doubled comma) shifts the " +
                         Counted(later, "pair") + " after it; take it out");
    return;
  }
  const ListPath path = ParseListPath(entry);
  const bool above = !path.names.empty() && path.names.front() == "..";
  if (IsDriveOrShare(entry) || path.from_root || above) {
    Add(list, number, Severity::kWarning, "leaves-folder",
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
  const std::string& target = list.Target(pair);
  if (list.Source(pair).empty() || target.empty()) return;
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
    Add(list, target_entry, Severity::kError, "no-target-folder",
        (folder.empty() ? std::string("the target's folder does not exist")
                        : "the target's folder " + Named(folder) + " does not exist") +
            ": the rename will be refused; make the folder, or fix the path");
  }
  const std::vector<std::uint64_t>& identities = identities_[list.activation ? 0 : 1];
  const ListPath target_path = ParseListPath(target);
  const std::string_view new_name = target_path.names.empty()
                                        ? std::string_view()
                                        : WithoutTrailingDots(target_path.names.back());
  if (from.file_found && identities[source_entry - 1] == identities[target_entry - 1] &&
      new_name == from.name) {
    Add(list, source_entry, Severity::kWarning, "same-path",
        "the pair's source is its own target: it renames nothing; take it out, or fix its "
        "target");
  }
}

// The whole entry as the disk spells it: a name the folder lacks, as the
// rename would make it.
void Linter::Spelling(const CheckedList& list, std::size_t entry, const PathFacts& facts,
                      bool whole) {
  const bool other_case = facts.folder_other_case || (whole && facts.file_other_case);
  const bool trailing = facts.folder_trailing_dots || (whole && facts.file_trailing_dots);
  const std::string& path = list.Entry(entry);
  if (other_case) {
    Add(list, entry, Severity::kNote, "other-case",
        Named(path) + " matches the disk only in another case: " + Named(Shown(facts.where)) +
            "; the walk finds it so, and spelling it so is surer");
  }
  if (trailing) {
    Add(list, entry, Severity::kNote, "trailing-dots",
        Named(path) + " matches the disk only without the dots and spaces at the end of a name: " +
            Named(Shown(facts.where)) + "; spell it so");
  }
}

std::vector<std::string> Linter::TwinsOf(const std::string& folder, const std::string& name) {
  auto known = twins_.find(Digest(folder));
  if (known == twins_.end()) {
    known = twins_.emplace(Digest(folder), run_.CaseTwins(folder.empty() ? "/" : folder)).first;
  }
  for (const std::vector<std::string>& group : known->second) {
    if (std::find(group.begin(), group.end(), name) == group.end()) continue;
    std::vector<std::string> others;
    for (const std::string& other : group) {
      if (other != name) others.push_back(other);
    }
    return others;
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
        Add(list, number, Severity::kWarning, "split-folder",
            "the folder " + Named(Shown(folder)) + " has a twin that differs only in case, " +
                others +
                ": a game run through a Windows compatibility layer sees only one of them; "
                "the walk " +
                (target ? "puts this pair's file in " : "takes this pair's file from ") +
                Named(Shown(folder)) + "; merge the two",
            NameKey(Shown(folder)));
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
  Add(list, number, Severity::kWarning, "case-twin",
      Named(Shown(facts.where)) + " has a twin that differs only in case, " + others +
          ": Windows takes them for one file, a game may load either, and the walk takes the "
          "twin for its target's name; the walk moves " +
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
      Add(*list, shift.entry, Severity::kNote, "lists-differ",
          std::string("the two lists' pairs part at this ") +
              (shift.empty ? "empty entry" : "shift") +
              ", and agree without it: the pairs after it differ because of it",
          "", ShiftKey(shift));
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
    Add(deactivation, 2 * in_d + 1, Severity::kNote, "lists-differ",
        "pair " + std::to_string(in_d + 1) + " here, " + PairText(deactivation, in_d) +
            ", is not pair " + std::to_string(in_a + 1) + " of Tavrik.mla, " +
            PairText(activation, in_a) + " (" + activation.At(2 * in_a + 1) +
            "): the lists' pairs agree up to here" + order);
    Add(activation, 2 * in_a + 1, Severity::kNote, "lists-differ",
        "pair " + std::to_string(in_a + 1) + " here, " + PairText(activation, in_a) +
            ", is not pair " + std::to_string(in_d + 1) + " of Tavrik.mld, " +
            PairText(deactivation, in_d) + " (" + deactivation.At(2 * in_d + 1) + ")" + order);
    return;
  }
  const CheckedList& longer = pa > pd ? activation : deactivation;
  const CheckedList& shorter = pa > pd ? deactivation : activation;
  const std::size_t first = std::min(pa, pd);
  Add(longer, 2 * first + 1, Severity::kNote, "lists-differ",
      "pair " + std::to_string(first + 1) + " here, " + PairText(longer, first) + ", has none in " +
          shorter.name + ", which ends after " + Counted(first, "pair"));
  if (first > 0) {
    Add(shorter, 2 * first, Severity::kNote, "lists-differ",
        "this list ends after " + Counted(first, "pair") + "; " + longer.name +
            " goes on with pair " + std::to_string(first + 1) + ", " + PairText(longer, first) +
            " (" + longer.At(2 * first + 1) + ")");
  }
}

void Linter::Misplaced(const CheckedList& list, const ModState& state) {
  for (const std::size_t pair : state.At(Place::kNeither)) {
    // An empty entry says it itself; a file that an earlier pair moves
    // away, the walk's stop.
    const std::string& source = list.Source(pair - 1);
    if (source.empty()) continue;
    try {
      if (run_.Facts(source).file_found) continue;
    } catch (const Error&) {
      continue;  // ambiguous-name
    }
    if (const std::string twin = presser_.InTwin(source); !twin.empty()) {
      Add(list, list.SourceEntry(pair - 1), Severity::kWarning, "missing-source",
          Named(source) + " is not there, but " + Named(twin) +
              " is, in a twin of a folder on its way: move it into " +
              Named(FolderOf(presser_.OnDisk(source))),
          "", "split-folder\t" + SplitGroup(twin, presser_.OnDisk(source)));
      continue;
    }
    Add(list, list.SourceEntry(pair - 1), Severity::kWarning, "missing-source",
        Named(source) + " is missing, and so is its target " + Named(list.Target(pair - 1)) +
            ": the walk stops at this pair; put the file there (from the mod's archive, or its "
            "author), or take the pair out");
  }
  if (!list.activation) return;
  for (const std::size_t pair : state.At(Place::kBoth)) {
    Add(list, list.TargetEntry(pair - 1), Severity::kWarning, "both-names",
        "a file is at both paths of the pair, " + Named(presser_.OnDisk(list.First(pair - 1))) +
            " and " + Named(presser_.OnDisk(list.Second(pair - 1))) +
            ": no walk moves one onto the other; move one of them aside");
  }
  if (state.state != State::kMixed) return;
  std::size_t stop = 1;  // the first pair not moved
  while (stop <= state.places.size() &&
         (state.places[stop - 1] == Place::kSecond || state.places[stop - 1] == Place::kSame)) {
    ++stop;
  }
  for (const std::size_t pair : state.At(Place::kSecond)) {
    if (pair <= stop) continue;
    Add(list, list.SourceEntry(pair - 1), Severity::kWarning, "missing-source",
        Named(list.Source(pair - 1)) + " is missing, but its target " +
            Named(list.Target(pair - 1)) + " is there, while the file of pair " +
            std::to_string(stop) + " is not moved: it is out of turn");
  }
}

void Linter::Stopped(const CheckedList& list, const Outcome& outcome) {
  static const std::unordered_set<std::string> kTold = {"duplicate-source", "duplicate-target",
                                                        "misspelt", "refused"};
  if (outcome.pair == 0 || kTold.count(outcome.cause.kind) == 0) return;
  const std::size_t pair = outcome.pair - 1;
  const std::size_t entry =
      outcome.cause.kind == "duplicate-target" ? list.TargetEntry(pair) : list.SourceEntry(pair);
  for (const Finding& finding : findings_) {
    if (finding.list == list.name && finding.entry == entry && finding.kind == outcome.cause.kind)
      return;
  }
  const bool error = outcome.cause.kind == "refused";
  Add(list, entry, error ? Severity::kError : Severity::kWarning, outcome.cause.kind.c_str(),
      outcome.cause.text + (outcome.cause.fix.empty() ? "" : "; " + outcome.cause.fix));
}

}  // namespace tavrik
