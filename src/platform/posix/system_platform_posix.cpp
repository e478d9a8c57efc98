// File operations on Linux. Paths are UTF-8; lists are written on Windows, so
// backslashes separate folders and names that differ from the disk only in
// case still find their files (windows_paths.h). A walk opens each folder it
// touches once and tests and renames files relative to it
// (directory_cache.h): the kernel then resolves one name per call, not the
// whole path again.

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <optional>

#include "directory_cache.h"
#include "error_condition.h"
#include "system_platform.h"
#include "text_encoding.h"
#include "windows_paths.h"

namespace tavrik {

namespace {

Error RenameError(int number, const std::string& source, const std::string& target,
                  const std::string& reason) {
  return Error(number, "Cannot rename " + Quoted(source) + " to " + Quoted(target) + ": " + reason);
}

std::string MoveReason(int number) {
  std::string reason = SystemReason(number);
  if (number == EXDEV) reason += " (they are on different file systems; nothing is copied)";
  return reason;
}

bool HasNul(const std::string& path) { return path.find('\0') != std::string::npos; }

bool NoReplaceUnsupported(int number) {
  return number == EINVAL || number == ENOSYS || number == EOPNOTSUPP;
}

bool LinkUnsupported(int number) {
  return number == EPERM || number == EOPNOTSUPP || number == ENOSYS || number == EMLINK;
}

// A name in an open folder.
struct Located {
  Folder* folder = nullptr;
  std::string name;
};

// For file systems without RENAME_NOREPLACE: a hard link cannot replace a
// file either. Returns 0 or the errno of the failure.
int MoveByLink(int from_fd, const char* from, int to_fd, const char* to) {
  if (linkat(from_fd, from, to_fd, to, 0) != 0) return errno;
  if (unlinkat(from_fd, from, 0) != 0) {
    const int number = errno;
    unlinkat(to_fd, to, 0);  // leave the file where it was
    return number;
  }
  return 0;
}

// Last resort (no hard links either, as on FAT): check, then rename. Another
// process could create the target between the two calls.
int MoveAfterCheck(int from_fd, const char* from, int to_fd, const char* to) {
  struct stat status;
  if (fstatat(to_fd, to, &status, AT_SYMLINK_NOFOLLOW) == 0) return EEXIST;
  return renameat(from_fd, from, to_fd, to) == 0 ? 0 : errno;
}

// Moves `from` to `to` unless `to` exists. Returns 0 or an errno.
int MoveNoReplace(int from_fd, const std::string& from, int to_fd, const std::string& to) {
  if (renameat2(from_fd, from.c_str(), to_fd, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
  int number = errno;
  if (NoReplaceUnsupported(number)) {
    number = MoveByLink(from_fd, from.c_str(), to_fd, to.c_str());
    if (LinkUnsupported(number)) number = MoveAfterCheck(from_fd, from.c_str(), to_fd, to.c_str());
  }
  return number;
}

// Refuses a target that an entry other than `except` matches in any case.
void ThrowIfTaken(const Listing& listing, const Folder& folder, std::string_view name,
                  std::string_view except) {
  const std::string_view taken = listing.Taken(name, except);
  if (taken.empty()) return;
  std::string reason = SystemReason(EEXIST);
  if (taken != name) reason += " (as " + Quoted(JoinPath(folder.path, taken)) + ")";
  throw Error(EEXIST, reason);
}

}  // namespace

struct SystemPlatform::State {
  DirectoryCache folders;
  // The last presence test: the list's path and the file it found, so that
  // the rename that follows it need not look again.
  std::string tested_path;
  Located tested;

  void Forget() {
    tested_path.clear();
    tested = {};
    folders.Forget();
  }

  /// Finds the regular file that the list's `path` names and keeps it in
  /// `found`; false when there is none. Throws Error with the reason when
  /// it cannot be looked for.
  bool Locate(std::string_view path, Located& found);
  /// Moves `from` to the list's `target`, never replacing a file: no entry
  /// of the target folder may match the new name in any case, unless it is
  /// `from` itself (a rename that changes only the case). Throws Error with
  /// the reason.
  void MoveTo(const Located& from, std::string_view target);
  /// Why `folder`, which the cache did not find, is not there: the
  /// system's answer for its spelling (a loop of links, not a folder).
  static int MissingFolderNumber(std::string_view folder);
};

bool SystemPlatform::State::Locate(std::string_view path, Located& found) {
  const SplitPath split = Split(path);
  found.folder = folders.Find(split.folder);
  if (found.folder == nullptr || split.name.empty()) return false;
  found.name = split.name;
  struct stat status;
  return folders.Entry(*found.folder, found.name, status) && S_ISREG(status.st_mode);
}

void SystemPlatform::State::MoveTo(const Located& from, std::string_view target) {
  const SplitPath split = Split(target);
  Folder* to = folders.Find(split.folder);
  if (to == nullptr) {
    const int number = MissingFolderNumber(split.folder);
    throw SystemFailure(number);
  }
  // Windows drops trailing dots and spaces from the name it creates; on
  // Linux an entry may be spelled with them, and then it is meant.
  std::string_view name = split.name;
  if (WithoutTrailingDots(name) != name && !folders.Has(*to, std::string(name))) {
    name = WithoutTrailingDots(name);
  }
  // The same entry: nothing to do, and nothing to ask of the disk, which
  // may be read-only.
  if (to == from.folder && name == from.name) return;
  if (const Listing* listing = folders.ListingOf(*to)) {
    const std::string_view except = to == from.folder ? std::string_view(from.name) : "";
    ThrowIfTaken(*listing, *to, name, except);
    if (name != split.name) ThrowIfTaken(*listing, *to, split.name, except);
  }
  const std::string new_name(name);
  const int from_fd = folders.Fd(*from.folder);
  const int number = MoveNoReplace(from_fd, from.name, folders.Fd(*to), new_name);
  if (number != 0) throw Error(number, MoveReason(number));
  folders.Moved(*from.folder, from.name, *to, new_name);
}

int SystemPlatform::State::MissingFolderNumber(std::string_view folder) {
  struct stat status;
  if (stat(WithSlashes(folder).c_str(), &status) != 0) {
    return errno == ENAMETOOLONG ? ENOENT : errno;
  }
  return S_ISDIR(status.st_mode) ? ENOENT : ENOTDIR;
}

SystemPlatform::SystemPlatform(MessageBox message_box)
    : message_box_(std::move(message_box)), state_(std::make_unique<State>()) {}

SystemPlatform::~SystemPlatform() = default;

void SystemPlatform::BeginWalk() { state_->Forget(); }

void SystemPlatform::EndWalk() { state_->Forget(); }

std::string SystemPlatform::FindFile(const std::string& path) {
  state_->tested_path.clear();
  // No globbing: '*' and '?' are ordinary characters of a Linux name.
  if (path.empty() || HasNul(path) || IsDriveOrShare(path)) return {};
  try {
    if (!state_->Locate(path, state_->tested)) return {};
    state_->tested_path = path;
    return state_->tested.name;
  } catch (const Error& error) {
    throw Error(error.Number(), "Cannot look for " + Quoted(path) + ": " + error.Description());
  }
}

void SystemPlatform::RenameFile(const std::string& source, const std::string& target) {
  if (source.empty() || target.empty()) {
    throw RenameError(ENOENT, source, target, SystemReason(ENOENT));
  }
  if (HasNul(source) || HasNul(target))
    throw RenameError(EINVAL, source, target, SystemReason(EINVAL));
  if (IsDriveOrShare(source) || IsDriveOrShare(target)) {
    throw RenameError(
        ENOENT, source, target,
        SystemReason(ENOENT) + " (drive letters and network paths have no counterpart on Linux)");
  }
  // Right after its presence test the source is known; otherwise find it.
  const bool tested = source == state_->tested_path;
  state_->tested_path.clear();
  try {
    Located found;
    if (!tested && !state_->Locate(source, found)) throw SystemFailure(ENOENT);
    state_->MoveTo(tested ? state_->tested : found, target);
  } catch (const Error& error) {
    throw RenameError(error.Number(), source, target, error.Description());
  }
}

std::string SystemPlatform::DecodeLegacyText(std::string_view bytes) {
  return DecodeWindows1252(bytes);
}

}  // namespace tavrik
