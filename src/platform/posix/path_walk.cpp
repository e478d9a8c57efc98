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
  names_.Forget();
}

std::string PathWalk::FindFile(const std::string& path) {
  tested_.reset();
  tested_path_.clear();
  // No globbing: '*' and '?' are ordinary characters of a Linux name.
  if (path.empty() || HasNul(path) || IsDriveOrShare(path) || TooLongForWindows(path)) return {};
  try {
    tested_ = names_.Locate(path);
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
  std::optional<Located> from = std::move(tested_);
  const bool tested = from && source == tested_path_;
  tested_.reset();
  tested_path_.clear();
  try {
    if (tested) {
      names_.Continue();  // one pair: the rename sees what its test saw
    } else {
      from = names_.Locate(source);
    }
    if (!from) throw SystemFailure(ENOENT);
    Move(*from, target);
  } catch (const Error& error) {
    throw RenameError(error.Number(), source, target, error.Description());
  }
}

void PathWalk::Move(Located& from, const std::string& target) {
  Destination to = names_.DestinationOf(from, target);
  if (to.same) return;
  int number = MoveOnDisk(from, to);
  if (to.assumed && (number == ENOENT || number == ENOTDIR)) {
    // The folder this walk knew as spelled may be gone, and the rule now
    // find another in another case.
    Destination again = names_.DestinationOf(from, target, Resolver::Pass::kAgain);
    if (again.same) return;
    if (again.folder != to.folder) number = MoveOnDisk(from, to = std::move(again));
  }
  if (number == EEXIST && !to.respell) {
    // Throws unless the entry in the way is the file itself.
    to = names_.DestinationOf(from, target, Resolver::Pass::kRefused);
    number = MoveOnDisk(from, to);
  }
  if (number != 0) throw Error(number, MoveReason(number));
  names_.Moved(from, to);
}

int PathWalk::MoveOnDisk(const Located& from, const Destination& to) {
  if (to.respell) return disk_.Respell(to.folder, from.name, to.name);
  return disk_.Move(from.folder, from.name, to.folder, to.name);
}

}  // namespace tavrik
