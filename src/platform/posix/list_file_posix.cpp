// The list files on Linux: read with the system's own calls, and found as
// Windows finds them, in any case.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <memory>
#include <vector>

#include "error_condition.h"
#include "listing.h"
#include "system_disk.h"
#include "system_platform.h"

namespace tavrik {

namespace {

class ListFile : public ByteSource {
 public:
  ListFile(int fd, std::string name, std::uint64_t size)
      : fd_(fd), name_(std::move(name)), size_(size) {}
  ~ListFile() override { close(fd_); }
  ListFile(const ListFile&) = delete;
  ListFile& operator=(const ListFile&) = delete;

  std::size_t Read(char* buffer, std::size_t size) override {
    while (true) {
      const ssize_t got = read(fd_, buffer, size);
      if (got >= 0) return static_cast<std::size_t>(got);
      if (errno != EINTR) throw FileError(errno, "Cannot read", name_);
    }
  }
  std::uint64_t SizeHint() const override { return size_; }

 private:
  int fd_;
  std::string name_;
  std::uint64_t size_;
};

// Opens `path` when it is a regular file. O_NONBLOCK: opening a pipe must
// not wait for a writer; what is opened is checked before a byte is read.
std::unique_ptr<ByteSource> OpenRegular(const std::string& path, const std::string& name) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) throw FileError(errno, "Cannot open", name);
  struct stat st;
  const int number = fstat(fd, &st) != 0 ? errno : S_ISDIR(st.st_mode) ? EISDIR : 0;
  if (number != 0 || !S_ISREG(st.st_mode)) {
    close(fd);
    if (number != 0) throw FileError(number, "Cannot open", name);
    throw Error(EINVAL, "Cannot open " + Quoted(name) + ": not a regular file");
  }
  try {
    return std::make_unique<ListFile>(fd, path, static_cast<std::uint64_t>(st.st_size));
  } catch (...) {
    close(fd);
    throw;
  }
}

// The entries of the working directory other than `name` that match it
// without regard to case.
std::vector<std::string> OtherCaseMatches(const std::string& name) {
  Listing listing;
  SystemDisk().ReadNames(kWorkingDirectory,
                         [&](std::string_view entry, Listed) { listing.Insert(entry); });
  std::vector<std::string> matches;
  for (const auto& [entry, listed] : listing.MatchesOf(name)) {
    if (entry != name) matches.push_back(entry);
  }
  return matches;
}

}  // namespace

std::unique_ptr<ByteSource> SystemPlatform::OpenListFile(const std::string& name) {
  if (name.empty() || name.find('\0') != std::string::npos)
    throw FileError(ENOENT, "Cannot open", name);
  // A mod may ship "tavrik.mla", which Windows finds as "Tavrik.mla". The
  // exact name wins; of other spellings only a single one is taken.
  struct stat status;
  if (name.find('/') != std::string::npos || lstat(name.c_str(), &status) == 0) {
    return OpenRegular(name, name);
  }
  const std::vector<std::string> matches = OtherCaseMatches(name);
  if (matches.empty()) throw FileError(ENOENT, "Cannot open", name);
  if (matches.size() > 1) {
    throw Error(EEXIST, "Cannot open " + Quoted(name) + ": it is spelled " + Quoted(matches[0]) +
                            " and " + Quoted(matches[1]) + " in this folder");
  }
  return OpenRegular(matches[0], name);
}

}  // namespace tavrik
