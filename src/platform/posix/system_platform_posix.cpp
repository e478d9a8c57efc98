// File operations on Linux: the presence test and the rename of a walk,
// with names found by the rule of folder_tree.h and files moved without
// ever replacing one.

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <optional>

#include "error_condition.h"
#include "folder_tree.h"
#include "list_path.h"
#include "system_platform.h"
#include "text_encoding.h"

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

bool SameFile(int from_fd, const std::string& from, int to_fd, const std::string& to) {
  struct stat a, b;
  return fstatat(from_fd, from.c_str(), &a, AT_SYMLINK_NOFOLLOW) == 0 &&
         fstatat(to_fd, to.c_str(), &b, AT_SYMLINK_NOFOLLOW) == 0 && a.st_dev == b.st_dev &&
         a.st_ino == b.st_ino;
}

// A file system that ignores case (exFAT, NTFS, casefolded ext4) takes the
// new spelling for the file itself, and some keep the old spelling on a
// plain rename: the file goes to a free name of its own and then to the new
// spelling. Returns 0 or an errno; on a failure the file keeps its name.
int Respell(int fd, const std::string& from, const std::string& to) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::string aside =
        ".brennel-" + std::to_string(getpid()) + "-" + std::to_string(attempt) + ".tmp";
    int number = MoveNoReplace(fd, from, fd, aside);
    if (number == EEXIST) continue;
    if (number != 0) return number;
    number = MoveNoReplace(fd, aside, fd, to);
    if (number != 0) MoveNoReplace(fd, aside, fd, from);
    return number;
  }
  return EEXIST;
}

}  // namespace

struct SystemPlatform::State {
  Disk disk;
  FolderTree folders{disk};
  // The last presence test: the list's path and the file it found, whose
  // folder stays open for the rename that follows.
  std::string tested_path;
  std::optional<FolderTree::Located> tested;

  void Forget() {
    tested.reset();
    tested_path.clear();
    folders.Forget();
  }

  // Moves `from` to the list's `target`. Throws Error with the reason.
  void Move(FolderTree::Located& from, const std::string& target) {
    const FolderTree::Destination to = folders.DestinationOf(from, target);
    if (to.same) return;
    const int from_fd = from.folder.fd();
    int number = MoveNoReplace(from_fd, from.name, to.folder.fd(), to.name);
    if (number == EEXIST && &to.folder.folder() == &from.folder.folder() &&
        SameFile(from_fd, from.name, from_fd, to.name)) {
      number = Respell(from_fd, from.name, to.name);
    }
    if (number != 0) throw Error(number, MoveReason(number));
    folders.Moved(from.folder.folder(), from.name, to.folder.folder(), to.name);
  }
};

SystemPlatform::SystemPlatform(MessageBox message_box)
    : message_box_(std::move(message_box)), state_(std::make_unique<State>()) {}

SystemPlatform::~SystemPlatform() = default;

void SystemPlatform::BeginWalk() { state_->Forget(); }

void SystemPlatform::EndWalk() { state_->Forget(); }

std::string SystemPlatform::FindFile(const std::string& path) {
  state_->tested.reset();
  state_->tested_path.clear();
  // No globbing: '*' and '?' are ordinary characters of a Linux name.
  if (path.empty() || HasNul(path) || IsDriveOrShare(path) || TooLongForWindows(path)) {
    return {};
  }
  try {
    state_->tested = state_->folders.Locate(path);
  } catch (const Error& error) {
    throw Error(error.Number(), "Cannot look for " + Quoted(path) + ": " + error.Description());
  }
  if (!state_->tested) return {};
  state_->tested_path = path;
  return state_->tested->name;
}

void SystemPlatform::RenameFile(const std::string& source, const std::string& target) {
  const auto refuse = [&](int number, const std::string& note = "") {
    throw RenameError(number, source, target, SystemReason(number) + note);
  };
  if (source.empty() || target.empty()) refuse(ENOENT);
  if (HasNul(source) || HasNul(target)) refuse(EINVAL);
  if (IsDriveOrShare(source) || IsDriveOrShare(target)) {
    refuse(ENOENT, " (drive letters and network paths have no counterpart on Linux)");
  }
  if (TooLongForWindows(source) || TooLongForWindows(target)) {
    refuse(ENAMETOOLONG);
  }
  // Right after its presence test the source is known; otherwise find it.
  std::optional<FolderTree::Located> from = std::move(state_->tested);
  const bool tested = from && source == state_->tested_path;
  state_->tested.reset();
  state_->tested_path.clear();
  try {
    if (!tested) from = state_->folders.Locate(source);
    if (!from) throw SystemFailure(ENOENT);
    state_->Move(*from, target);
  } catch (const Error& error) {
    throw RenameError(error.Number(), source, target, error.Description());
  }
}

std::string SystemPlatform::DecodeLegacyText(std::string_view bytes) {
  return DecodeWindows1252(bytes);
}

}  // namespace tavrik
