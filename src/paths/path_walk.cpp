#include "path_walk.h"

#include <cerrno>

#include "error_condition.h"
#include "list_path.h"
#include "name_key.h"

namespace tavrik {

namespace {

bool HasNul(const std::string& path) { return path.find('\0') != std::string::npos; }

// A path that can name no file on Windows names none here either.
bool NamesNoFile(const std::string& path) {
  return path.empty() || HasNul(path) || IsDriveOrShare(path) || TooLongForWindows(path);
}

// The last name of a list's path: "" (a separator at its end), "." or ".."
// name a folder.
std::string_view LastName(std::string_view path) { return path.substr(LastNameStart(path)); }

}  // namespace

void PathWalk::Forget() {
  pair_.reset();
  tested_.reset();
  folders_.Forget();
  names_.Reset();
}

void PathWalk::BeginPair(const std::string& source, const std::string& target) {
  tested_.reset();
  folders_.Refresh();
  pair_.emplace(source, target);
}

std::string PathWalk::FindFile(const std::string& path) {
  tested_.reset();
  const std::optional<std::pair<std::string, std::string>> pair = std::exchange(pair_, {});
  const bool paired = pair && pair->first == path;
  if (!paired) folders_.Refresh();  // a presence test of its own
  // No globbing: '*' and '?' are ordinary characters of a Linux name.
  if (NamesNoFile(path)) return {};
  try {
    tested_ = Locate(path);
    if (!tested_ && paired) tested_ = Parked(path, pair->second);
  } catch (const Error& error) {
    throw Error(error.Number(), "Cannot look for " + Quoted(path) + ": " + error.Description());
  }
  tested_path_ = path;
  return tested_ ? tested_->name : "";
}

void PathWalk::RenameFile(const std::string& source, const std::string& target) {
  const auto refuse = [&](int number, std::string reason) {
    throw Error(number,
                "Cannot rename " + Quoted(source) + " to " + Quoted(target) + ": " + reason);
  };
  // Right after its presence test the source is known: the pair's own calls.
  std::optional<Found> from = std::exchange(tested_, {});
  pair_.reset();
  if (source != tested_path_) {
    from.reset();
    folders_.Refresh();
  }
  if (source.empty() || target.empty()) refuse(ENOENT, SystemReason(ENOENT));
  if (HasNul(source) || HasNul(target)) refuse(EINVAL, SystemReason(EINVAL));
  if (IsDriveOrShare(source) || IsDriveOrShare(target)) {
    refuse(ENOENT, SystemReason(ENOENT) +
                       " (drive letters and network paths have no counterpart on Linux)");
  }
  if (TooLongForWindows(source) || TooLongForWindows(target))
    refuse(ENAMETOOLONG, SystemReason(ENAMETOOLONG));
  try {
    // Looked at again where another program changed the disk before the
    // pair's own call, a few times at most: that call never replaces anyway.
    for (int look = 0;; ++look) {
      if (!from) from = Locate(source);
      if (!from) from = Parked(source, target);
      if (!from) throw SystemFailure(ENOENT);
      try {
        return Move(*from, source, target, look < kLooks);
      } catch (const Changed&) {
        from.reset();
      }
    }
  } catch (const Error& error) {
    refuse(static_cast<int>(error.Number()), error.Description());
  }
}

std::optional<PathWalk::Found> PathWalk::Locate(std::string_view path) {
  if (NamesFolder(LastName(path))) return std::nullopt;  // a folder: not looked at
  const NameRule::Reached reached = names_.FolderOf(path);
  if (reached.number != 0) return std::nullopt;
  NameRule::Entry entry = names_.Find(*reached.folder, LastName(path));
  if (entry.name.empty() || !names_.IsFile(*reached.folder, entry)) return std::nullopt;
  return Found{reached.folder, std::move(entry.name), std::move(entry.listed)};
}

// A respelling stopped half-way leaves its file under the name it parks
// files under. Only that pair finds it there: one that changes only the case
// of a name in one folder, on a file system that ignores case.
std::optional<PathWalk::Found> PathWalk::Parked(std::string_view path, std::string_view target) {
  if (NamesFolder(LastName(path)) || NamesFolder(LastName(target)) ||
      NamesNoFile(std::string(target))) {
    return std::nullopt;
  }
  const std::string_view name = WithoutTrailingDots(LastName(path));
  const std::string_view respelled = WithoutTrailingDots(LastName(target));
  if (name == respelled || !NameKeyEqual()(name, respelled)) return std::nullopt;
  const NameRule::Reached folder = names_.FolderOf(path);
  if (folder.number != 0) return std::nullopt;
  NameRule::Entry parked = names_.Find(*folder.folder, RespellAside(name));
  if (parked.name.empty() || !names_.IsFile(*folder.folder, parked) ||
      !names_.IgnoresCase(*folder.folder, parked.AsListed()).value_or(false)) {
    return std::nullopt;
  }
  try {  // the target is only looked at here; its own errors are the rename's
    if (names_.FolderOf(target).folder != folder.folder) return std::nullopt;
  } catch (const Error&) {
    return std::nullopt;
  }
  return Found{folder.folder, std::move(parked.name), std::move(parked.listed)};
}

void PathWalk::Move(const Found& from, const std::string& source, const std::string& target,
                    bool recheck) {
  // Most pairs rename a file in its folder, spelled alike: found already.
  const std::string_view spelled = LastName(target);
  const bool alike = !NamesFolder(spelled) && source.compare(0, LastNameStart(source), target, 0,
                                                             LastNameStart(target)) == 0;
  const NameRule::Reached to = alike ? NameRule::Reached{from.folder} : names_.FolderOf(target);
  // "x\.." is the folder x itself.
  if (NamesFolder(spelled)) throw SystemFailure(to.number != 0 ? to.number : EEXIST);
  if (to.number != 0) throw SystemFailure(to.number);
  Folder& folder = *to.folder;
  // Windows drops trailing dots and spaces from the name it makes.
  const std::string name(WithoutTrailingDots(spelled));
  const bool same_folder = &folder == from.folder;
  // The file's own entry: nothing to ask of the disk, which may be read-only.
  if (same_folder && (spelled == from.name || name == from.name)) return;
  // Where case is ignored, of two entries of the file's name the file
  // system does not say which a call reaches: neither is touched.
  const auto twins = [&]() -> Listing::Matches {
    const Listing* names = folders_.Names(*from.folder);
    return names != nullptr ? names->MatchesOf(from.AsListed()) : Listing::Matches{};
  };
  if (from.folder->hinted && twins().size() > 1) Folders::Reread(*from.folder);
  if (twins().size() > 1 && names_.IgnoresCase(*from.folder, from.AsListed()).value_or(false)) {
    // (Asking it may have read the names again.)
    if (const Listing::Matches found = twins(); found.size() > 1)
      throw Ambiguous(folders_.PathOf(*from.folder), from.name, found, true);
  }
  const std::string taken = Taken(folder, spelled, name, same_folder ? &from.AsListed() : nullptr);
  if (!taken.empty()) RefuseTaken(from, folder, name, spelled, taken);
  // Where case is ignored, the new spelling is the file itself.
  const bool respell = same_folder && NameKeyEqual()(from.name, name);
  // The pair acts on the disk as it found it, up to its own call.
  if (recheck && folders_.Changed()) throw Changed();
  const Folders::Pin held_from(folders_, *from.folder), held_to(folders_, folder);
  const int number = respell ? disk_.Respell(folder.handle, from.name, name)
                             : disk_.Move(from.folder->handle, from.name, folder.handle, name);
  struct stat parked;
  if (number == EEXIST && respell &&
      disk_.Stat(folder.handle, RespellAside(from.name), false, parked) == 0) {
    throw Error(number,
                SystemReason(number) + " (as " +
                    Quoted(JoinPath(folders_.PathOf(folder), RespellAside(from.name))) +
                    ", the name a change of case passes through here: move that file away)");
  }
  if (number == EEXIST) RefuseTaken(from, folder, name, spelled, name);
  // What the file system said of the two spellings changed while it was
  // asked: the pair looks again, and at its last look says so.
  if (number == ESTALE && recheck) throw Changed();
  if (number == ESTALE) {
    throw Error(number,
                "another program changed the folder while Brennel changed the case of the name; "
                "nothing was replaced: press the button again");
  }
  if (number == EXDEV) {
    throw Error(number,
                SystemReason(number) + " (they are on different file systems; nothing is copied)");
  }
  if (number != 0) throw SystemFailure(number);
  folders_.Moved(*from.folder, from.AsListed(), folder, name);
}

// The entry of `folder`, but the file itself (`self`), that the list's
// `spelled` or the new `name` means in any case, confirmed on disk; "" for none.
std::string PathWalk::Taken(Folder& folder, std::string_view spelled, std::string_view name,
                            const std::string* self) {
  const std::string_view spellings[] = {spelled, name};
  for (std::size_t i = 0; i < (name == spelled ? 1u : 2u); ++i) {
    const std::string_view wanted = spellings[i];
    const Listing* names = folders_.NamesFor(folder, wanted);
    if (names == nullptr) return {};  // may not be listed: only the rename itself guards
    for (const auto& [entry, listed] : names->MatchesOf(wanted)) {
      if (self != nullptr && entry == *self) continue;
      struct stat status;
      if (disk_.Stat(folders_.Handle(folder), entry, false, status) == 0) return entry;
      if (!folder.hinted) folders_.Distrust();  // listed, and not there
    }
  }
  return {};
}

void PathWalk::RefuseTaken(const Found& from, Folder& folder, std::string_view name,
                           std::string_view spelled, const std::string& taken) {
  std::string reason = SystemReason(EEXIST);
  if (taken != name && taken != spelled)
    reason += " (as " + Quoted(JoinPath(folders_.PathOf(folder), taken)) + ")";
  // Which of one file's two names the mod means is for the user to say.
  struct stat source, there;
  if (disk_.Stat(folders_.Handle(*from.folder), from.name, false, source) == 0 &&
      disk_.Stat(folders_.Handle(folder), taken, false, there) == 0 && OneFile(source, there)) {
    reason +=
        "; it is another name of the same file, as a move stopped half-way leaves one: "
        "delete the name the file should not have";
  }
  throw Error(EEXIST, reason);
}

}  // namespace tavrik
