#include "name_rule.h"

#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdlib>
#include <memory>

#include "error_condition.h"
#include "name_key.h"

namespace tavrik {

namespace {

// Not thousands in a message, for a folder of case variants.
constexpr std::size_t kNamedCandidates = 8;

Listed::Kind KindOf(mode_t mode) {
  if (S_ISREG(mode)) return Listed::Kind::kFile;
  if (S_ISDIR(mode)) return Listed::Kind::kFolder;
  return S_ISLNK(mode) ? Listed::Kind::kLink : Listed::Kind::kOther;
}

// A failed lookup that only says the name is not there (or no folder is).
bool Absent(int number) {
  return number == ENOENT || number == ENOTDIR || number == ENAMETOOLONG || number == ELOOP;
}

}  // namespace

Error Ambiguous(const std::string& folder, std::string_view spelled,
                const Listing::Matches& matches, bool one_name_to_the_file_system) {
  // Listed alike (NTFS with ignore_case lists names in lower case), their
  // inode numbers tell them apart.
  const bool alike = std::all_of(matches.begin(), matches.end(), [&](const auto& entry) {
    return entry.first == matches.begin()->first;
  });
  std::string names;
  std::size_t count = 0;
  for (const auto& [match, listed] : matches) {
    if (++count > kNamedCandidates) continue;
    names += (names.empty() ? "" : ", ") + Quoted(JoinPath(folder, match));
    if (alike) names += " (inode " + std::to_string(listed.inode) + ")";
  }
  if (count > kNamedCandidates)
    names += " and " + std::to_string(count - kNamedCandidates) + " more";
  std::string reason = "cannot tell which of " + names + " the list means by " +
                       Quoted(JoinPath(folder, spelled)) + ": they differ only in case";
  if (one_name_to_the_file_system) {
    reason +=
        ", and this file system takes them for one name; give all but one of them another name "
        "where case is kept apart (for NTFS, mounted without ignore_case)";
  }
  return Error(ENOTUNIQ, reason);
}

NameRule::Reached NameRule::FolderOf(std::string_view text) {
  const std::size_t start = LastNameStart(text);
  const std::string_view folder = NamesFolder(text.substr(start)) ? text : text.substr(0, start);
  if (const Folders::Way way = folders_.WayOf(folder); way.folder != nullptr)
    return {way.folder, 0, way.matched};
  const Reached reached = FolderOf(ParseListPath(text));
  if (reached.number == 0) folders_.Remember(folder, {reached.folder, reached.matched});
  return reached;
}

NameRule::Reached NameRule::FolderOf(const ListPath& path) {
  const std::size_t ups = LeadingUps(path);
  const auto rest = path.names.begin() + ups, end = path.names.end() - !path.names_folder;
  if (!path.from_root && ups == 0) return Walk(folders_.Here(), {rest, end});
  // From the root or above the working directory: by the text, so that ".."
  // never leaves through a link, and through the working directory where
  // the path passes it: one folder, one way to it.
  const std::vector<std::string>* here = HereNames();
  std::vector<std::string_view> names;
  if (!path.from_root && here == nullptr) {  // no path known: the system's own ".."
    names.assign(ups, "..");
    names.insert(names.end(), rest, end);
    return Walk(folders_.Here(), names);
  }
  if (!path.from_root) names.assign(here->begin(), here->end() - std::min(ups, here->size()));
  names.insert(names.end(), rest, end);
  if (here != nullptr && names.size() >= here->size() &&
      std::equal(here->begin(), here->end(), names.begin())) {
    return Walk(folders_.Here(), {names.begin() + here->size(), names.end()});
  }
  // The working folder spelled otherwise is still the working folder.
  return Walk(folders_.Root(), names, here != nullptr ? &folders_.Here() : nullptr);
}

NameRule::Reached NameRule::Walk(Folder& start, std::span<const std::string_view> names,
                                 Folder* here) {
  Reached reached{&start};
  bool through_link = false;
  for (const std::string_view spelled : names) {
    const Entry entry = Find(*reached.folder, spelled, true);
    if (entry.name.empty()) return {nullptr, ENOENT, reached.matched};
    reached.matched |= entry.matched;
    // The entry found is the one meant, whatever it is.
    if (entry.kind == Listed::Kind::kFile || entry.kind == Listed::Kind::kOther)
      return {nullptr, ENOTDIR, reached.matched};
    // A folder is known by the name its parent lists, however spelled.
    if (const int number = folders_.Child(*reached.folder, entry.AsListed(), reached.folder)) {
      if (!Absent(number)) throw SystemFailure(number);
      return {nullptr, number == ENAMETOOLONG ? ENOENT : number, reached.matched};
    }
    // Not through a link: a folder that leads elsewhere is a way of its own.
    through_link = through_link || reached.folder->linked;
    if (here != nullptr && !through_link && reached.folder->device == here->device &&
        reached.folder->inode == here->inode) {
      reached.folder = here;
    }
  }
  return reached;
}

NameRule::Entry NameRule::Find(Folder& folder, std::string_view spelled, bool on_the_way) {
  // Names kept from before a change are a hint: what they find is asked of
  // the disk, and where it is not so, the folder is read again.
  while (true) {
    if (std::optional<Entry> entry = Look(folder, spelled, on_the_way)) return *entry;
    if (folder.hinted) Folders::Reread(folder);  // else read afresh already
  }
}

std::optional<NameRule::Entry> NameRule::Look(Folder& folder, std::string_view spelled,
                                              bool on_the_way) {
  const std::string_view trimmed = WithoutTrailingDots(spelled);
  const std::string_view spellings[] = {spelled, trimmed};
  const std::size_t count = trimmed == spelled ? 1 : 2;
  // What the disk has under `name` now, for a listing that is a hint only.
  const auto found = [&](std::string_view name, std::string_view listed, Listed::Kind kind,
                         unsigned matched) -> std::optional<Entry> {
    if (folder.hinted) {
      struct stat status;
      const int number = disk_.Stat(folders_.Handle(folder), std::string(name), false, status);
      if (number != 0 && !Absent(number)) throw SystemFailure(number);
      if (number != 0) return std::nullopt;
      kind = KindOf(status.st_mode);
    }
    return Entry{std::string(name), std::string(listed), kind, matched};
  };
  // As spelled, then without trailing dots: as the folder lists it, or,
  // where the file system ignores case, as it finds it itself (NTFS with
  // ignore_case lists every name in lower case).
  const Listing* names = nullptr;
  Listing::Matches only;  // the one spelling's, of a name without trailing dots
  for (std::size_t i = 0; i < count; ++i) {
    names = on_the_way ? folders_.Names(folder) : folders_.NamesFor(folder, spellings[i]);
    if (names == nullptr) break;
    const Listing::Matches matches = only = names->MatchesOf(spellings[i]);  // itself among them
    if (const Listed* listed = matches.Find(spellings[i]))
      return found(spellings[i], spellings[i], listed->kind, i * kMatchedTrimmed);
    if (matches.empty()) continue;
    // Whether it does, its finding the spelling it does not list tells.
    if (!folder.ignores_case) {
      bool reread = false;
      folder.ignores_case = FindsUnlisted(folder, std::string(spellings[i]),
                                          std::string(matches.begin()->first), reread);
      if (reread) return std::nullopt;  // its names are read afresh: look again
    }
    const auto& [name, listed] = *matches.begin();
    if (*folder.ignores_case) return found(spellings[i], name, listed.kind, i * kMatchedTrimmed);
  }
  // Then in another case, where case is told apart.
  for (std::size_t i = 0; names != nullptr && i < count; ++i) {
    const Listing::Matches matches = count == 1 ? only : names->MatchesOf(spellings[i]);
    if (matches.empty()) continue;
    if (!matches.one()) {
      if (folder.hinted) return std::nullopt;  // two names of a hint may be one by now
      throw Ambiguous(folders_.PathOf(folder), spellings[i], matches, false);
    }
    const auto& [name, listed] = *matches.begin();
    return found(name, name, listed.kind, kMatchedOtherCase | i * kMatchedTrimmed);
  }
  // Not listed: the file system may match it by a rule of its own, and a
  // folder that may not be listed has only these names.
  for (std::size_t i = 0; i < count; ++i) {
    struct stat status;
    const int number =
        disk_.Stat(folders_.Handle(folder), std::string(spellings[i]), false, status);
    if (number == 0)
      return Entry{std::string(spellings[i]), "", KindOf(status.st_mode),
                   static_cast<unsigned>(i * kMatchedTrimmed)};
    if (!Absent(number)) throw SystemFailure(number);
  }
  return Entry{};
}

bool NameRule::IsFile(Folder& folder, const Entry& entry) {
  if (entry.kind == Listed::Kind::kFile) return true;
  if (entry.kind != Listed::Kind::kLink && entry.kind != Listed::Kind::kUnknown) return false;
  // Where a link leads, no watch says: it is asked each time.
  struct stat status;
  const int number = disk_.Stat(folders_.Handle(folder), entry.name, true, status);
  if (number != 0 && !Absent(number)) throw SystemFailure(number);
  return number == 0 && S_ISREG(status.st_mode);
}

std::optional<bool> NameRule::IgnoresCase(Folder& folder, const std::string& name) {
  if (folder.ignores_case) return folder.ignores_case;
  const std::optional<std::string> other = UnlistedSpelling(name, folders_.Names(folder));
  if (!other) return std::nullopt;
  bool reread = false;
  folder.ignores_case = FindsUnlisted(folder, *other, name, reread);
  return folder.ignores_case;
}

// Whether the file system finds `unlisted` by its own rule for case: as the
// very entry `listed` is (one inode), or, where it numbers inodes by name
// (exfat-fuse), as no entry of its names read again now (`reread`): a name
// another program made since they were read is no such proof.
bool NameRule::FindsUnlisted(Folder& folder, const std::string& unlisted, const std::string& listed,
                             bool& reread) {
  const FolderHandle handle = folders_.Handle(folder);
  struct stat found, known;
  const int number = disk_.Stat(handle, unlisted, false, found);
  if (number != 0 && !Absent(number)) throw SystemFailure(number);
  if (number != 0) return false;
  if (disk_.Stat(handle, listed, false, known) == 0 && SameInode(found, known)) return true;
  Folders::Reread(folder);
  reread = true;
  const Listing* names = folders_.Names(folder);
  return names != nullptr && names->Find(unlisted) == nullptr;
}

std::optional<std::string> UnlistedSpelling(const std::string& name, const Listing* names) {
  std::string lower = name;
  for (char& c : lower) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  for (std::string& other : std::array{NameKey(name), lower}) {
    if (other != name && (names == nullptr || names->Find(other) == nullptr)) return other;
  }
  return std::nullopt;
}

std::optional<bool> FindsInAnyCase(Disk& disk, FolderHandle folder, const std::string& name,
                                   const Listing* names) {
  const std::optional<std::string> other = UnlistedSpelling(name, names);
  if (!other) return std::nullopt;
  struct stat status;
  const int number = disk.Stat(folder, *other, false, status);
  if (number != 0 && !Absent(number)) throw SystemFailure(number);
  return number == 0;
}

const std::vector<std::string>* NameRule::HereNames() {
  if (!here_asked_) {
    here_asked_ = true;
    here_.clear();
    std::unique_ptr<char, decltype(&std::free)> path(getcwd(nullptr, 0), &std::free);
    here_known_ = path != nullptr && path.get()[0] == '/';
    const std::string_view text = here_known_ ? path.get() : "";
    for (std::size_t start = 1; start < text.size();) {
      const std::size_t slash = std::min(text.find('/', start), text.size());
      here_.emplace_back(text.substr(start, slash - start));
      start = slash + 1;
    }
  }
  return here_known_ ? &here_ : nullptr;
}

}  // namespace tavrik
