// File operations on Linux. Paths are UTF-8 and used as the list gives them.

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <memory>
#include <system_error>

#include "error_condition.h"
#include "system_platform.h"
#include "text_encoding.h"

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

std::string BaseName(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string DirName(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

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

}  // namespace

struct SystemPlatform::State {};

SystemPlatform::SystemPlatform(MessageBox message_box)
    : message_box_(std::move(message_box)), state_(std::make_unique<State>()) {}

SystemPlatform::~SystemPlatform() = default;

std::string SystemPlatform::FindFile(const std::string& path) {
  // No globbing: '*' and '?' are ordinary characters of a Linux name.
  if (path.empty() || HasNul(path)) return {};
  struct stat st;
  if (stat(path.c_str(), &st) == 0) return S_ISREG(st.st_mode) ? BaseName(path) : std::string();
  const int number = errno;
  if (number == ENOENT || number == ENOTDIR) return {};
  throw Error(number,
              "Cannot look for " + Quoted(path) + ": " + std::generic_category().message(number));
}

void SystemPlatform::RenameFile(const std::string& source, const std::string& target) {
  if (HasNul(source) || HasNul(target) || source.empty() || target.empty()) {
    throw RenameError(source.empty() || target.empty() ? ENOENT : EINVAL, source, target);
  }
  int number = 0;
  if (renameat2(AT_FDCWD, source.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) != 0) {
    number = errno;
    if (NoReplaceUnsupported(number)) {
      number = MoveByLink(source, target);
      if (LinkUnsupported(number)) number = MoveAfterCheck(source, target);
    }
  }
  if (number == 0) return;
  // Moving a file onto its own name succeeds and changes nothing.
  if (number == EEXIST && SameEntry(source, target)) return;
  throw RenameError(number, source, target);
}

std::string SystemPlatform::DecodeLegacyText(std::string_view bytes) {
  return DecodeWindows1252(bytes);
}

}  // namespace tavrik
