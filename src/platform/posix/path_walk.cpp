// The presence test and the rename of a walk on Linux, over a Disk.

#include "path_walk.h"

#include <cerrno>

#include "error_condition.h"
#include "list_path.h"

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

}  // namespace

void PathWalk::Forget() {
  tested_.reset();
  tested_path_.clear();
  folders_.Forget();
}

std::string PathWalk::FindFile(const std::string& path) {
  tested_.reset();
  tested_path_.clear();
  // No globbing: '*' and '?' are ordinary characters of a Linux name.
  if (path.empty() || HasNul(path) || IsDriveOrShare(path) || TooLongForWindows(path)) return {};
  try {
    tested_ = folders_.Locate(path);
  } catch (const Error& error) {
    throw Error(error.Number(), "Cannot look for " + Quoted(path) + ": " + error.Description());
  }
  if (!tested_) return {};
  tested_path_ = path;
  return tested_->name;
}

void PathWalk::RenameFile(const std::string& source, const std::string& target) {
  const auto refuse = [&](int number, const std::string& note = "") {
    throw RenameError(number, source, target, SystemReason(number) + note);
  };
  if (source.empty() || target.empty()) refuse(ENOENT);
  if (HasNul(source) || HasNul(target)) refuse(EINVAL);
  if (IsDriveOrShare(source) || IsDriveOrShare(target)) {
    refuse(ENOENT, " (drive letters and network paths have no counterpart on Linux)");
  }
  if (TooLongForWindows(source) || TooLongForWindows(target)) refuse(ENAMETOOLONG);
  // Right after its presence test the source is known; otherwise find it.
  std::optional<FolderTree::Located> from = std::move(tested_);
  const bool tested = from && source == tested_path_;
  tested_.reset();
  tested_path_.clear();
  try {
    if (!tested) from = folders_.Locate(source);
    if (!from) throw SystemFailure(ENOENT);
    Move(*from, target);
  } catch (const Error& error) {
    throw RenameError(error.Number(), source, target, error.Description());
  }
}

void PathWalk::Move(FolderTree::Located& from, const std::string& target) {
  const FolderTree::Destination to = folders_.DestinationOf(from, target);
  if (to.same) return;
  const int number = disk_.Move(from.folder.folder(), from.name, to.folder.folder(), to.name);
  if (number != 0) throw Error(number, MoveReason(number));
  folders_.Moved(from.folder.folder(), from.name, to.folder.folder(), to.name);
}

}  // namespace tavrik
