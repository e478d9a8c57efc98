#include "directory_cache.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <system_error>

#include "case_folding.h"
#include "error_condition.h"

namespace tavrik {

namespace {

// The coarsest time stamps a Linux file system keeps (FAT: two seconds).
constexpr time_t kTimeGranularitySeconds = 2;

bool operator==(const timespec& a, const timespec& b) {
  return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

bool Before(const timespec& a, const timespec& b) {
  return a.tv_sec < b.tv_sec || (a.tv_sec == b.tv_sec && a.tv_nsec < b.tv_nsec);
}

Error ReadError(int number, const std::string& path) {
  return Error(number,
               "Cannot read the folder '" + path + "': " + std::generic_category().message(number));
}

// Stats `path` as a directory: false when it is none (or is not there).
bool StatDirectory(const std::string& path, struct stat& st) {
  if (stat(path.c_str(), &st) != 0) {
    if (errno == ENOENT || errno == ENOTDIR) return false;
    throw ReadError(errno, path);
  }
  return S_ISDIR(st.st_mode);
}

}  // namespace

const std::vector<std::string>& Listing::Matching(const std::string& name) const {
  static const std::vector<std::string> kNone;
  const auto found = by_folded_name_.find(FoldCase(name));
  return found == by_folded_name_.end() ? kNone : found->second;
}

void Listing::Add(const std::string& name) {
  std::vector<std::string>& names = by_folded_name_[FoldCase(name)];
  if (std::find(names.begin(), names.end(), name) == names.end()) names.push_back(name);
}

void Listing::Remove(const std::string& name) {
  const auto found = by_folded_name_.find(FoldCase(name));
  if (found == by_folded_name_.end()) return;
  std::erase(found->second, name);
  if (found->second.empty()) by_folded_name_.erase(found);
}

bool Listing::StillCurrent(const struct stat& st) const {
  return settled_ && modified_ == st.st_mtim && changed_ == st.st_ctim;
}

const Listing* DirectoryCache::Current(const std::string& path) {
  struct stat st;
  if (!StatDirectory(path, st)) return nullptr;
  const Key key{st.st_dev, st.st_ino};
  const auto kept = listings_.find(key);
  if (kept != listings_.end() && kept->second.StillCurrent(st)) return &kept->second;
  Listing listing = Read(path);
  const Key read_key{listing.device, listing.inode};  // the directory may have been replaced
  listings_.erase(read_key);
  return &listings_.emplace(read_key, std::move(listing)).first->second;
}

Listing DirectoryCache::Read(const std::string& path) {
  // The clock before the read. A directory changed shortly before it may
  // change again without its time moving (times come from a coarse clock,
  // and some file systems keep whole seconds or coarser), so such a listing
  // is read again at its next use.
  timespec now{};
  clock_gettime(CLOCK_REALTIME_COARSE, &now);
  now.tv_sec -= kTimeGranularitySeconds;
  const int descriptor = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (descriptor < 0) throw ReadError(errno, path);
  struct stat st;
  DIR* directory = fdopendir(descriptor);
  if (directory == nullptr || fstat(descriptor, &st) != 0) {
    const int number = errno;
    directory != nullptr ? closedir(directory) : close(descriptor);
    throw ReadError(number, path);
  }
  Listing listing;
  listing.device = st.st_dev;
  listing.inode = st.st_ino;
  listing.modified_ = st.st_mtim;
  listing.changed_ = st.st_ctim;
  listing.settled_ = Before(st.st_mtim, now);
  errno = 0;
  while (const dirent* entry = readdir(directory)) {
    const std::string name = entry->d_name;
    if (name != "." && name != "..") listing.Add(name);
    errno = 0;
  }
  const int number = errno;
  closedir(directory);
  if (number != 0) throw ReadError(number, path);
  return listing;
}

void DirectoryCache::DropStale(const std::string& path) {
  struct stat st;
  if (stat(path.c_str(), &st) != 0) return;
  const auto kept = listings_.find(Key{st.st_dev, st.st_ino});
  if (kept == listings_.end()) return;
  if (!kept->second.StillCurrent(st)) listings_.erase(kept);
}

void DirectoryCache::Moved(const std::string& from, const std::string& from_name,
                           const std::string& to, const std::string& to_name) {
  // Both listings were current just before the rename (DropStale, Current):
  // after our own change they are current again with the new times.
  auto update = [this](const std::string& path, auto change) {
    struct stat st;
    if (stat(path.c_str(), &st) != 0) return;
    const auto kept = listings_.find(Key{st.st_dev, st.st_ino});
    if (kept == listings_.end()) return;
    change(kept->second);
    kept->second.modified_ = st.st_mtim;
    kept->second.changed_ = st.st_ctim;
    kept->second.settled_ = true;
  };
  if (from == to) {
    update(from, [&](Listing& listing) {
      listing.Remove(from_name);
      listing.Add(to_name);
    });
    return;
  }
  update(from, [&](Listing& listing) { listing.Remove(from_name); });
  update(to, [&](Listing& listing) { listing.Add(to_name); });
}

}  // namespace tavrik
