// The launcher's platform on Linux: its walks go over the system's disk
// (path_walk.h over system_disk.h); the list files are read with the system's
// own calls, and found as Windows finds them, in any case.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <memory>

#include "error_condition.h"
#include "path_walk.h"
#include "system_disk.h"
#include "system_platform.h"
#include "text_encoding.h"

namespace tavrik {

struct SystemPlatform::State {
  SystemDisk disk;
  PathWalk walk{disk};
};

SystemPlatform::SystemPlatform(MessageBox message_box)
    : message_box_(std::move(message_box)), state_(std::make_unique<State>()) {}

SystemPlatform::~SystemPlatform() = default;

void SystemPlatform::BeginWalk() { state_->walk.Forget(); }

void SystemPlatform::EndWalk() { state_->walk.Forget(); }

void SystemPlatform::BeginPair(std::size_t, const std::string& source, const std::string& target) {
  state_->walk.BeginPair(source, target);
}

std::string SystemPlatform::FindFile(const std::string& path) {
  return state_->walk.FindFile(path);
}

void SystemPlatform::RenameFile(const std::string& source, const std::string& target) {
  state_->walk.RenameFile(source, target);
}

std::string SystemPlatform::DecodeLegacyText(std::string_view bytes) {
  return DecodeWindows1252(bytes);
}

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

}  // namespace

std::unique_ptr<ByteSource> SystemPlatform::OpenListFile(const std::string& name) {
  if (name.empty() || name.find('\0') != std::string::npos)
    throw FileError(ENOENT, "Cannot open", name);
  // A mod may ship "tavrik.mla", which Windows finds as "Tavrik.mla": the
  // walk's own rule finds it, and does not guess between several.
  if (name.find('/') != std::string::npos) return OpenRegular(name, name);
  PathWalk& walk = state_->walk;
  const NameRule::Entry entry = walk.names().Find(walk.folders().Here(), name);
  walk.Forget();
  if (entry.name.empty()) throw FileError(ENOENT, "Cannot open", name);
  return OpenRegular(entry.name, name);
}

}  // namespace tavrik
