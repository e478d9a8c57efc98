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
  // The last presence test: the list's path and the file it found, so that
  // the rename that follows it need not look again.
  std::string tested_path;
  std::string found_path;

  /// The entry on disk that the list's `source` (Linux syntax) names:
  /// itself when it exists as spelled, else its match in another case.
  std::string SourceOnDisk(const std::string& source);
  /// Moves `from` to the list's `target` (Linux syntax), checking first that
  /// no entry of the target directory matches it in any case, unless that
  /// entry is `from` itself (a rename that changes only the case). Returns
  /// 0 or an errno; throws when the target is taken or not found.
  int MoveTo(const std::string& from, const std::string& target, const std::string& list_source,
             const std::string& list_target);
};

std::string SystemPlatform::State::SourceOnDisk(const std::string& source) {
  struct stat st;
  if (lstat(source.c_str(), &st) == 0) return source;
  ThrowUnlessMissing(errno, source);
  const std::string found = names.Resolve(source);
  return found.empty() ? source : found;
}

int SystemPlatform::State::MoveTo(const std::string& from, const std::string& target,
                                  const std::string& list_source, const std::string& list_target) {
  const std::string name = BaseName(target);
  const std::string directory = target.find('/') == std::string::npos ? "" : DirName(target);
  const std::optional<std::string> on_disk = names.ResolveDirectory(directory);
  if (!on_disk) {
    struct stat st;
    const bool not_a_folder =
        !directory.empty() && stat(directory.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
    throw RenameError(not_a_folder ? ENOTDIR : ENOENT, list_source, list_target);
  }
  DirectoryCache& cache = names.Cache();
  const Listing* listing = cache.Find(*on_disk);
  if (listing == nullptr) throw RenameError(ENOENT, list_source, list_target);
  for (const std::string& entry : listing->Matching(name)) {
    const bool is_source =
        entry == BaseName(from) && cache.KeyOf(DirName(from)) == cache.KeyOf(*on_disk);
    if (is_source) continue;
    const Error exists = RenameError(EEXIST, list_source, list_target);
    if (entry == name) throw exists;
    throw Error(EEXIST, exists.Description() + " (as " + Quoted(JoinPath(*on_disk, entry)) + ")");
  }
  const std::string to = JoinPath(*on_disk, name);
  const int number = MoveNoReplace(from, to);
  if (number == 0) cache.Moved(DirName(from), BaseName(from), *on_disk, name);
  // Moving a file onto its own name succeeds and changes nothing.
  if (number == EEXIST && SameEntry(from, to)) return 0;
  return number;
}

SystemPlatform::SystemPlatform(MessageBox message_box)
    : message_box_(std::move(message_box)), state_(std::make_unique<State>()) {}

SystemPlatform::~SystemPlatform() = default;

void SystemPlatform::BeginWalk() {
  state_->names.Forget();
  state_->tested_path.clear();
  state_->found_path.clear();
}

std::string SystemPlatform::FindFile(const std::string& path) {
  state_->tested_path.clear();
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
  if (!S_ISREG(st.st_mode)) return {};
  state_->tested_path = path;
  state_->found_path = found;
  return BaseName(found);
}

void SystemPlatform::RenameFile(const std::string& source, const std::string& target) {
  if (HasNul(source) || HasNul(target) || source.empty() || target.empty()) {
    throw RenameError(source.empty() || target.empty() ? ENOENT : EINVAL, source, target);
  }
  const std::optional<std::string> from_list = LinuxPath(source);
  const std::optional<std::string> to_list = LinuxPath(target);
  if (!from_list || !to_list) throw Unmappable(source, target);
  // Right after its presence test the source is known; otherwise find it.
  const bool tested = source == state_->tested_path;
  const std::string from = tested ? state_->found_path : state_->SourceOnDisk(*from_list);
  state_->tested_path.clear();
  const int number = state_->MoveTo(from, *to_list, source, target);
  if (number != 0) throw RenameError(number, source, target);
}

std::string SystemPlatform::DecodeLegacyText(std::string_view bytes) {
  return DecodeWindows1252(bytes);
}

}  // namespace tavrik
