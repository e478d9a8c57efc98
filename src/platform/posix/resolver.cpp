// The rule for names, asked of the disk as it is at each call.

#include "resolver.h"

#include <unistd.h>

#include <cstdlib>
#include <memory>

#include "error_condition.h"
#include "list_path.h"
#include "name_key.h"

namespace tavrik {

namespace {

// Candidates named in the message about an ambiguous name; a folder of
// thousands of case variants must not make a message of thousands.
constexpr std::size_t kNamedCandidates = 8;

Error Ambiguous(const std::string& folder, std::string_view name, const Listing::Matches& matches) {
  std::string names;
  std::size_t count = 0;
  for (const std::string& match : matches) {
    if (++count <= kNamedCandidates)
      names += (names.empty() ? "" : ", ") + Quoted(JoinPath(folder, match));
  }
  if (count > kNamedCandidates)
    names += " and " + std::to_string(count - kNamedCandidates) + " more";
  return Error(ENOTUNIQ, "cannot tell which of " + names + " the list means by " +
                             Quoted(JoinPath(folder, name)) + ": they differ only in case");
}

}  // namespace

void Resolver::Forget() {
  known_.clear();
  continuing_ = false;
  created_.clear();
  latest_ = latest_other_ = {};
  spelled_.clear();
  route_keys_.clear();
  folder_ids_.clear();
  here_.reset();
}

std::optional<Located> Resolver::Locate(std::string_view text) {
  const std::string_view name = text.substr(LastNameStart(text));
  if (NamesFolder(name)) return std::nullopt;  // not looked at
  Trace trace = TraceOf(text);
  if (trace.folder.number != 0) return std::nullopt;
  const auto regular = [](const Entry& entry) { return entry.number == 0 && S_ISREG(entry.mode); };
  // A respelling stopped half-way may have left the file under the name it
  // parks files under: either spelling of the pair finds it there.
  if (!regular(trace.entry) &&
      !(Probe(trace.folder.path, RespellAside(WithoutTrailingDots(name)), 0, trace.entry) &&
        regular(trace.entry))) {
    return std::nullopt;
  }
  return Located{std::move(trace.folder.path), std::move(trace.entry.name)};
}

Resolver::Trace Resolver::TraceOf(std::string_view text) {
  Begin();
  const std::size_t start = LastNameStart(text);
  const std::string_view name = text.substr(start), folder = text.substr(0, start);
  if (NamesFolder(name)) return {Reach(text, false, false), {}};
  // Most lists spell names as the disk does: one call finds the file.
  Trace trace;
  if (const std::string* exact = AsSpelled(folder)) {
    trace.folder.path = *exact;
    if (Probe(*exact, name, 0, trace.entry)) return trace;
  }
  for (const bool verify : {false, true}) {
    trace.folder = Reach(folder, false, verify);
    if (trace.folder.number == 0) trace.entry = Find(trace.folder.path, name, false);
    // A folder taken from a listing is proved by the call that finds the
    // file in it; without one, each is asked for.
    if (!trace.entry.name.empty() || !trace.folder.assumed) break;
  }
  return trace;
}

Destination Resolver::DestinationOf(Located& from, std::string_view text, Pass pass) {
  Begin();
  const std::size_t start = LastNameStart(text);
  const std::string_view spelled = text.substr(start), folder = text.substr(0, start);
  if (NamesFolder(spelled)) {
    const Reached reached = Reach(text, false, true);  // "x\.." is the folder itself
    throw SystemFailure(reached.number != 0 ? reached.number : EEXIST);
  }
  Reached reached = Reach(folder, true, pass != Pass::kFirst);
  // A folder taken from a listing unasked failed: each is asked for.
  if (reached.number != 0 && reached.assumed) reached = Reach(folder, true, true);
  if (reached.number != 0) throw SystemFailure(reached.number);
  // Windows drops trailing dots and spaces from the name it creates.
  Destination to{reached.path, std::string(WithoutTrailingDots(spelled))};
  to.assumed = reached.assumed;
  // Two paths that differ only in case are one folder where the file system
  // ignores case: then each name is compared as the folder lists it.
  const bool same_folder =
      from.folder == to.folder ||
      (NameKeyEqual()(from.folder, to.folder) && Canonical(from.folder) == Canonical(to.folder));
  // The same entry: nothing to ask of the disk, which may be read-only.
  to.same = same_folder && (spelled == from.name || to.name == from.name);
  if (to.same) return to;
  // After the disk refused, only what it holds now decides.
  const bool listed = pass != Pass::kRefused || Listed(to.folder, true) != nullptr;
  std::string taken = Taken(from, same_folder, to.folder, spelled, to.name);
  // Whether that is the file itself, only the folder as it is now tells.
  if (!taken.empty() && same_folder && Listed(to.folder, true) != nullptr) {
    taken = Taken(from, same_folder, to.folder, spelled, to.name);
  }
  if (!taken.empty() && !(same_folder && SourceItself(from, to.folder, taken))) {
    RefuseTaken(from, to.folder, to.name, spelled, taken);
  }
  // The source itself, listed in another case or taken by the file system
  // for the new spelling: a file system that ignores case.
  to.respell = !taken.empty() || (pass == Pass::kRefused && listed && same_folder &&
                                  NameKey(from.name) == NameKey(to.name));
  if (pass == Pass::kRefused && !to.respell) throw SystemFailure(EEXIST);
  return to;
}

void Resolver::Moved(const Located& from, const Destination& to) {
  ++clock_;
  // A file system that ignores case may list the entry otherwise than the
  // name used: its listing is then read again when it is needed.
  const auto source = known_.find(from.folder);
  if (source != known_.end() && !source->second.unlistable &&
      !source->second.listing.Remove(from.name)) {
    known_.erase(source);
  }
  // A respelling may go by two spellings of one folder: read it again.
  const auto target = known_.find(to.folder);
  if (target != known_.end()) {
    if (to.respell) {
      known_.erase(target);
    } else {
      target->second.listing.Insert(to.name);
    }
  }
  const std::uint32_t folder = FolderId(to.folder);
  created_.insert_or_assign(to.name, Created{clock_, folder});
  if (folder != latest_.folder) latest_other_ = latest_;
  latest_ = {clock_, folder};
  // A way found in another case is found again once the walk made a name
  // of that key: through another path to a folder, it may be a twin.
  if (route_keys_.count(to.name) != 0) {
    for (auto& [text, spelled] : spelled_) spelled.route = {};
    route_keys_.clear();
  }
}

std::uint32_t Resolver::FolderId(const std::string& folder) {
  return folder_ids_.emplace(folder, static_cast<std::uint32_t>(folder_ids_.size() + 1))
      .first->second;
}

// The folder the list's `text` spells, as spelled and from where it
// starts, read once a walk.
Resolver::Spelled& Resolver::SpelledOf(std::string_view text) {
  auto known = spelled_.find(text);
  if (known != spelled_.end()) return known->second;
  const ListPath path = ParseListPath(text);
  std::string exact = Start(LeadingUps(path), path.from_root);
  for (std::size_t i = LeadingUps(path); i < path.names.size(); ++i)
    exact = JoinPath(exact, path.names[i]);
  const bool bare = LeadingUps(path) == path.names.size();
  return spelled_.emplace(text, Spelled{Normal(std::move(exact)), bare, false, {}}).first->second;
}

// The folder as spelled, unless the disk lacked it earlier in this walk
// (each name is then asked for in turn, as spelled first): nullptr.
const std::string* Resolver::AsSpelled(std::string_view text) {
  const Spelled& spelled = SpelledOf(text);
  return spelled.lacked ? nullptr : &spelled.exact;
}

// The folder that the list's `text` reaches by the rule.
Reached Resolver::Reach(std::string_view text, bool target, bool verify) {
  Spelled& spelled = SpelledOf(text);
  if (spelled.bare) return {spelled.exact};
  if (!spelled.lacked) {
    // A folder whose names this walk has read was there as spelled: the
    // rename that follows proves it is still, at its own call.
    if (target && !verify && known_.count(spelled.exact) != 0) return {spelled.exact, 0, 0, true};
    struct stat status;
    if (disk_.Stat(spelled.exact, ".", true, status) == 0) return {spelled.exact};
    spelled.lacked = true;
  }
  // The way found before holds while no name it took in another case or
  // without its trailing dots is on disk as the list spells it; the call
  // that goes through it proves the rest.
  Route& route = spelled.route;
  if (!verify && !route.path.empty() &&
      (route.asked_at >= call_start_ ||
       std::all_of(route.lacking.begin(), route.lacking.end(), [&](const Route::Name& name) {
         struct stat status;
         return disk_.Stat(name.folder, name.name, false, status) == ENOENT;
       }))) {
    route.asked_at = clock_;
    return {route.path, 0, route.matched, true};
  }
  const ListPath path = ParseListPath(text);
  Reached reached{Start(LeadingUps(path), path.from_root)};
  route = {};
  for (std::size_t i = LeadingUps(path); i < path.names.size(); ++i) {
    const Entry entry = Find(reached.path, path.names[i], !verify);
    reached.matched |= entry.matched;
    reached.assumed |= entry.assumed;
    const int number = entry.name.empty() ? ENOENT : entry.number;
    if (number != 0 || !S_ISDIR(entry.mode)) {
      return {"", number ? number : ENOTDIR, reached.matched, reached.assumed};
    }
    const auto lack = [&](std::string_view name) {
      if (entry.matched == 0 || name == entry.name) return;
      route.lacking.push_back({reached.path, std::string(name)});
      route_keys_.insert(std::string(name));
    };
    lack(path.names[i]);
    if (WithoutTrailingDots(path.names[i]) != path.names[i])
      lack(WithoutTrailingDots(path.names[i]));
    reached.path = Normal(JoinPath(reached.path, entry.name));
  }
  if (reached.matched != 0) {
    route.path = reached.path;
    route.matched = reached.matched;
    route.asked_at = clock_;
  }
  return reached;
}

// Where a path starts: the root, the working directory, or a folder above
// it, taken from the working directory's path as Windows takes ".." from
// the text (the system's own ".." where no path is known).
std::string Resolver::Start(std::size_t ups, bool from_root) {
  if (from_root) return Normal("/");
  std::string path = ups == 0 ? "" : Here();
  for (std::size_t up = 0; up < ups && path != "/"; ++up) {
    if (here_->empty()) {
      path = JoinPath(path, "..");
    } else {
      const std::size_t slash = path.rfind('/');
      path.erase(slash == 0 ? 1 : slash);
    }
  }
  return Normal(std::move(path));
}

const std::string& Resolver::Here() {
  if (!here_) {
    std::unique_ptr<char, decltype(&std::free)> path(getcwd(nullptr, 0), &std::free);
    here_ = path != nullptr && path.get()[0] == '/' ? path.get() : "";
  }
  return *here_;
}

// A path from the root through the working directory is a path from it, so
// that the two spellings of one folder are one path.
std::string Resolver::Normal(std::string path) {
  if (path.empty() || path[0] != '/' || Here().empty()) return path;
  const std::string& here = Here();
  if (path == here) return "";
  if (here == "/") return path.substr(1);
  const bool below = path.size() > here.size() && path.compare(0, here.size(), here) == 0 &&
                     path[here.size()] == '/';
  return below ? path.substr(here.size() + 1) : path;
}

// The rule for one name: as spelled; else without its trailing dots and
// spaces; else the one entry that matches it, and then the trimmed name, in
// any case. A link is the entry it is, whatever it points to. A folder on
// the way (`on_the_way`) found in a listing is taken for one unasked: the
// call that goes through it proves it, or fails and has it asked for.
Entry Resolver::Find(const std::string& folder, std::string_view name, bool on_the_way) {
  Entry entry;
  if (Probe(folder, name, 0, entry)) return entry;
  const std::string_view trimmed = WithoutTrailingDots(name);
  if (trimmed != name && Probe(folder, trimmed, kMatchedTrimmed, entry)) return entry;
  for (bool fresh = false;; fresh = true) {
    const Known* listed = Listed(folder, fresh);
    if (listed == nullptr) return {};
    const Known& known = *listed;
    Lookup lookup = InAnyCase(folder, known, name, kMatchedOtherCase, on_the_way, entry);
    if (lookup == Lookup::kNone && trimmed != name) {
      lookup =
          InAnyCase(folder, known, trimmed, kMatchedOtherCase | kMatchedTrimmed, on_the_way, entry);
    }
    if (lookup == Lookup::kFound) return entry;
    // Missing is not decided on the names of another folder since put in
    // this one's place (swapped, or a link put there): it is read again.
    if (fresh || (lookup == Lookup::kNone && !Swapped(folder, known))) return {};
  }
}

bool Resolver::Swapped(const std::string& folder, const Known& known) {
  struct stat status;
  return disk_.Stat(folder, ".", true, status) != 0 || status.st_dev != known.device ||
         status.st_ino != known.inode;
}

// The entry of the listing that `spelling` means in another case. A listing
// read before this call is trusted only as far as the disk confirms it: a
// listed name the disk lacks, several candidates, or a name of this key
// that the walk made elsewhere mean the folder is read again (kStale).
Resolver::Lookup Resolver::InAnyCase(const std::string& folder, const Known& known,
                                     std::string_view spelling, unsigned matched, bool unasked,
                                     Entry& entry) {
  const Listing::Matches matches = known.listing.MatchesOf(spelling);
  const bool fresh = known.read_at >= call_start_;
  if (Listing::Has(matches, spelling)) {  // the disk lacked it a moment ago
    if (!fresh) return Lookup::kStale;
    return Probe(folder, spelling, matched & kMatchedTrimmed, entry) ? Lookup::kFound
                                                                     : Lookup::kNone;
  }
  if (!fresh && Stale(known, spelling)) return Lookup::kStale;
  if (matches.empty()) return Lookup::kNone;
  if (!matches.one()) {
    if (!fresh) return Lookup::kStale;
    throw Ambiguous(folder, spelling, matches);
  }
  if (unasked) {
    entry = {*matches.begin(), 0, S_IFDIR, matched, true};
    return Lookup::kFound;
  }
  if (Probe(folder, *matches.begin(), matched, entry)) return Lookup::kFound;
  return fresh ? Lookup::kNone : Lookup::kStale;
}

// True when `name` is an entry of `folder` now, also a link to nothing or a
// loop of links; fills `entry`. Throws Error when the folder cannot be
// looked at.
bool Resolver::Probe(const std::string& folder, std::string_view name, unsigned matched,
                     Entry& entry) {
  std::string spelled(name);
  struct stat status {};
  int number = disk_.Stat(folder, spelled, false, status);
  // ENOTDIR, ELOOP: the folder is no longer one, or never was as spelled.
  if (number == ENOENT || number == ENOTDIR || number == ENAMETOOLONG || number == ELOOP) {
    return false;
  }
  if (number != 0) throw SystemFailure(number);
  entry = {std::move(spelled), 0, status.st_mode, matched};
  if (!S_ISLNK(status.st_mode)) return true;
  number = disk_.Stat(folder, entry.name, true, status);
  if (number != 0 && number != ENOENT && number != ENOTDIR && number != ELOOP) {
    throw SystemFailure(number);
  }
  entry.mode = status.st_mode;
  entry.number = number == 0 || number == ELOOP ? number : ENOENT;  // a link to nothing, a loop
  return true;
}

// The folder's listing, read again when `fresh` asks for one read at this
// call; nullptr when it may not be read, or is gone.
Resolver::Known* Resolver::Listed(const std::string& folder, bool fresh) {
  const auto known = known_.find(folder);
  if (known != known_.end() && !(fresh && known->second.read_at < call_start_)) {
    return known->second.unlistable ? nullptr : &known->second;
  }
  Known read;
  read.read_at = clock_;
  read.folder = FolderId(folder);
  struct stat status {};
  disk_.Stat(folder, ".", true, status);
  read.device = status.st_dev;
  read.inode = status.st_ino;
  const int number =
      disk_.ReadNames(folder, [&](std::string_view name) { read.listing.Insert(name); });
  // Gone since it was reached, or no folder (a link taken for one unasked).
  if (number == ENOENT || number == ENOTDIR || number == ELOOP) return nullptr;
  // May be entered but not read (EACCES): names are taken as spelled.
  read.unlistable = number == EACCES || number == EPERM;
  if (number != 0 && !read.unlistable) {
    throw Error(number, "cannot read the folder " + Quoted(folder.empty() ? "." : folder) + ": " +
                            SystemReason(number));
  }
  Known& kept = known_[folder] = std::move(read);
  return kept.unlistable ? nullptr : &kept;
}

// True when the walk made a name of `name`'s key through another path
// after `known` was read: a folder reached two ways (a link, a bind mount,
// a FUSE view of it) does not see it in its listing.
bool Resolver::Stale(const Known& known, std::string_view name) const {
  // Most walks make names in one folder only: no key need be looked at.
  const std::uint64_t elsewhere = known.folder == latest_.folder ? latest_other_.at : latest_.at;
  if (elsewhere <= known.read_at) return false;
  const auto created = created_.find(name);
  return created != created_.end() && created->second.at > known.read_at &&
         created->second.folder != known.folder;
}

// The entry of `folder` other than the file itself that `spelled` or `name`
// means in any case, as the disk has it now; "" when none.
std::string Resolver::Taken(const Located& from, bool same_folder, const std::string& folder,
                            std::string_view spelled, std::string_view name) {
  // The list's exact spelling, where it is not the name the rename makes
  // (trailing dots), is asked of the disk like any other exact spelling.
  struct stat status, source;
  if (spelled != name && !(same_folder && spelled == from.name) &&
      disk_.Stat(folder, std::string(spelled), false, status) == 0 &&
      !(same_folder && disk_.Stat(from.folder, from.name, false, source) == 0 &&
        SameEntry(source, status))) {  // where case is ignored, it may be the file itself
    return std::string(spelled);
  }
  for (bool fresh = false;; fresh = true) {
    const Known* listed = Listed(folder, fresh);
    if (listed == nullptr) return {};  // unlistable: only the rename itself guards
    const Known& known = *listed;
    const Listing* listing = &known.listing;
    const bool read_now = known.read_at >= call_start_;
    if (!read_now && (Stale(known, spelled) || Stale(known, name))) continue;
    std::string taken;
    const std::string_view wanted[] = {spelled, name};
    for (std::size_t i = 0; taken.empty() && i < (name == spelled ? 1 : 2); ++i) {
      for (const std::string& entry : listing->MatchesOf(wanted[i])) {
        if (same_folder && entry == from.name) continue;
        if (taken.empty() || entry == wanted[i]) taken = entry;
      }
    }
    // A listed name the disk no longer has: read the folder again.
    if (taken.empty() || read_now || disk_.Stat(folder, taken, false, status) == 0) return taken;
  }
}

// True when `taken` is the source itself: the file system found the source
// as the list spells it although the folder lists it otherwise (it ignores
// case), and it lists no other entry of that key.
bool Resolver::SourceItself(const Located& from, const std::string& folder,
                            const std::string& taken) {
  const Known* listed = Listed(folder, true);
  const Listing* listing = listed != nullptr ? &listed->listing : nullptr;
  if (listing == nullptr || listing->Contains(from.name)) return false;
  const Listing::Matches matches = listing->MatchesOf(from.name);
  return matches.one() && *matches.begin() == taken;
}

void Resolver::RefuseTaken(const Located& from, const std::string& folder, std::string_view name,
                           std::string_view spelled, const std::string& taken) {
  std::string reason = SystemReason(EEXIST);
  if (taken != name && taken != spelled) reason += " (as " + Quoted(JoinPath(folder, taken)) + ")";
  // A move stopped between its link and its unlink leaves one file under
  // both names; which one the mod means is for the user to say.
  struct stat source, there;
  if (disk_.Stat(from.folder, from.name, false, source) == 0 &&
      disk_.Stat(folder, taken, false, there) == 0 && source.st_dev == there.st_dev &&
      source.st_ino == there.st_ino) {
    reason +=
        "; it is another name of the same file, as a move stopped half-way leaves one: "
        "delete the name the file should not have";
  }
  throw Error(EEXIST, reason);
}

// `path` with each name as its folder lists it, where that is in another
// case: the spelling a file system that ignores case keeps.
std::string Resolver::Canonical(const std::string& path) {
  std::string canonical = !path.empty() && path[0] == '/' ? "/" : "";
  for (std::size_t start = canonical.size(); start < path.size();) {
    const std::size_t end = std::min(path.find('/', start), path.size());
    const std::string name = path.substr(start, end - start);
    start = end + 1;
    const Known* listed = name == ".." ? nullptr : Listed(canonical, false);
    const Listing* listing = listed != nullptr ? &listed->listing : nullptr;
    const Listing::Matches matches =
        listing != nullptr ? listing->MatchesOf(name) : Listing::Matches{};
    const bool other = matches.one() && *matches.begin() != name;
    canonical = JoinPath(canonical, other ? *matches.begin() : name);
  }
  return canonical;
}

}  // namespace tavrik
