// File operations on Linux. Paths are UTF-8; lists are written on Windows, so
// backslashes separate directories and names that differ from the disk only
// in case still find their files (windows_paths.h).

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <memory>
#include <optional>
#include <system_error>

#include "error_condition.h"
#include "system_platform.h"
#include "text_encoding.h"
#include "windows_paths.h"

namespace tavrik {

namespace {

std::string Quoted(const std::string& path) { return "'" + path + "'"; }

Error RenameError(int number, const std::string& source, const std::string& target) {
  std::string description = "Cannot rename " + Quoted(source) + " to " + Quoted(target) + ": " +
                            std::generic_category().message(number);
  if (number == EXDEV) description += " (they are on different file systems; nothing is copied)";
  return Error(number, description);
}

bool HasNul(const std::string& path) { return path.find('\0') != std::string::npos; }

std::string RealDirectory(const std::string& path) {
  std::unique_ptr<char, decltype(&std::free)> real(realpath(DirName(path).c_str(), nullptr),
                                                   &std::free);
  return real ? std::string(real.get()) : std::string();
}

// True when both paths name the same directory entry, so that moving one to
// the other changes nothing (two hard links to one file are not that).
bool SameEntry(const std::string& source, const std::string& target) {
  struct stat a, b;
  if (lstat(source.c_str(), &a) != 0 || lstat(target.c_str(), &b) != 0) return false;
  if (a.st_dev != b.st_dev || a.st_ino != b.st_ino) return false;
  if (BaseName(source) != BaseName(target)) return false;
  const std::string directory = RealDirectory(source);
  return !directory.empty() && directory == RealDirectory(target);
}

bool NoReplaceUnsupported(int number) {
  return number == EINVAL || number == ENOSYS || number == EOPNOTSUPP;
}

bool LinkUnsupported(int number) {
  return number == EPERM || number == EOPNOTSUPP || number == ENOSYS || number == EMLINK;
}

// For file systems without RENAME_NOREPLACE: a hard link cannot replace a
// file either. Returns 0 or the errno of the failure.
int MoveByLink(const std::string& source, const std::string& target) {
  if (link(source.c_str(), target.c_str()) != 0) return errno;
  if (unlink(source.c_str()) != 0) {
    const int number = errno;
    unlink(target.c_str());  // leave the file where it was
    return number;
  }
  return 0;
}

// Last resort (no hard links either, as on FAT): check, then rename. Another
// process could create the target between the two calls.
int MoveAfterCheck(const std::string& source, const std::string& target) {
  struct stat st;
  if (lstat(target.c_str(), &st) == 0) return EEXIST;
  return rename(source.c_str(), target.c_str()) == 0 ? 0 : errno;
}

// Moves `source` to `target` unless `target` exists. Returns 0 or an errno.
int MoveNoReplace(const std::string& source, const std::string& target) {
  if (renameat2(AT_FDCWD, source.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0) {
    return 0;
  }
  int number = errno;
  if (NoReplaceUnsupported(number)) {
    number = MoveByLink(source, target);
    if (LinkUnsupported(number)) number = MoveAfterCheck(source, target);
  }
  return number;
}

Error Unmappable(const std::string& source, const std::string& target) {
  const Error error = RenameError(ENOENT, source, target);
  return Error(ENOENT, error.Description() +
                           " (drive letters and network paths have no counterpart on Linux)");
}

void ThrowUnlessMissing(int number, const std::string& path) {
  if (number == ENOENT || number == ENOTDIR) return;
  throw Error(number,
              "Cannot look for " + Quoted(path) + ": " + std::generic_category().message(number));
}

}  // namespace

struct SystemPlatform::State {
  NameResolver names;

  /// The entry on disk that a rename of the list's `source` moves.
  std::string Source(const std::string& source, const std::string& target);
  /// The path on disk to move `from` to for the list's `target`: its
  /// directories as found on disk, its last name as the list spells it.
  /// Throws when an entry of that directory matches it in any case, unless
  /// that entry is `from` itself (a rename that changes only the case).
  std::string Target(const std::string& from, const std::string& source, const std::string& target);
};

std::string SystemPlatform::State::Source(const std::string& source, const std::string& target) {
  const std::optional<std::string> path = LinuxPath(source);
  if (!path) throw Unmappable(source, target);
  struct stat st;
  if (lstat(path->c_str(), &st) == 0) return *path;
  ThrowUnlessMissing(errno, source);
  const std::string found = names.Resolve(*path);
  if (found.empty()) throw RenameError(ENOENT, source, target);
  return found;
}

std::string SystemPlatform::State::Target(const std::string& from, const std::string& source,
                                          const std::string& target) {
  const std::optional<std::string> path = LinuxPath(target);
  if (!path) throw Unmappable(source, target);
  const std::string name = BaseName(*path);
  // "" for a bare name, so that it is joined back without a "./".
  std::string directory = name == *path ? "" : DirName(*path);
  DirectoryCache& cache = names.Cache();
  // Our rename will change the source's folder too; its listing must be
  // current now for Moved to keep it so.
  if (DirName(from) != DirName(*path)) cache.DropStale(DirName(from));
  const Listing* listing = cache.Current(directory.empty() ? "." : directory);
  if (listing == nullptr) {
    directory = names.Resolve(directory);
    listing = directory.empty() ? nullptr : cache.Current(directory);
    if (listing == nullptr) throw RenameError(ENOENT, source, target);
  }
  for (const std::string& entry : listing->Matching(name)) {
    struct stat st;
    const bool is_source = entry == BaseName(from) && stat(DirName(from).c_str(), &st) == 0 &&
                           st.st_dev == listing->device && st.st_ino == listing->inode;
    if (is_source) continue;
    const Error exists = RenameError(EEXIST, source, target);
    if (entry == name) throw exists;
    throw Error(EEXIST, exists.Description() + " (as " + Quoted(JoinPath(directory, entry)) + ")");
  }
  return JoinPath(directory, name);
}

SystemPlatform::SystemPlatform(MessageBox message_box)
    : message_box_(std::move(message_box)), state_(std::make_unique<State>()) {}

SystemPlatform::~SystemPlatform() = default;

std::string SystemPlatform::FindFile(const std::string& path) {
  // No globbing: '*' and '?' are ordinary characters of a Linux name.
  if (path.empty() || HasNul(path)) return {};
  const std::optional<std::string> linux_path = LinuxPath(path);
  if (!linux_path) return {};
  // The list's own spelling first: one stat in the common case.
  std::string found = *linux_path;
  struct stat st;
  if (stat(found.c_str(), &st) != 0) {
    ThrowUnlessMissing(errno, path);
    found = state_->names.Resolve(found);
    if (found.empty()) return {};
    if (stat(found.c_str(), &st) != 0) {
      ThrowUnlessMissing(errno, path);
      return {};
    }
  }
  return S_ISREG(st.st_mode) ? BaseName(found) : std::string();
}

void SystemPlatform::RenameFile(const std::string& source, const std::string& target) {
  if (HasNul(source) || HasNul(target) || source.empty() || target.empty()) {
    throw RenameError(source.empty() || target.empty() ? ENOENT : EINVAL, source, target);
  }
  const std::string from = state_->Source(source, target);
  const std::string to = state_->Target(from, source, target);
  const int number = MoveNoReplace(from, to);
  if (number == 0) {
    state_->names.Cache().Moved(DirName(from), BaseName(from), DirName(to), BaseName(to));
    return;
  }
  // Moving a file onto its own name succeeds and changes nothing.
  if (number == EEXIST && SameEntry(from, to)) return;
  throw RenameError(number, source, target);
}

std::string SystemPlatform::DecodeLegacyText(std::string_view bytes) {
  return DecodeWindows1252(bytes);
}

}  // namespace tavrik
