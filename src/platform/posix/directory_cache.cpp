#include "directory_cache.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <system_error>

#include "case_folding.h"
#include "error_condition.h"

namespace tavrik {

namespace {

Error ReadError(int number, const std::string& path) {
  return Error(number, "Cannot read the folder " + Quoted(path) + ": " +
                           std::generic_category().message(number));
}

struct CloseDirectory {
  void operator()(DIR* directory) const { closedir(directory); }
};

}  // namespace

std::vector<std::string> Listing::Matching(const std::string& name) const {
  std::vector<std::string> names;
  const auto [first, last] = by_folded_name_.equal_range(FoldCase(name));
  for (auto entry = first; entry != last; ++entry) names.push_back(entry->second);
  return names;
}

void Listing::Add(const std::string& name) {
  std::string folded = FoldCase(name);
  const auto [first, last] = by_folded_name_.equal_range(folded);
  for (auto entry = first; entry != last; ++entry) {
    if (entry->second == name) return;
  }
  by_folded_name_.emplace(std::move(folded), name);
}

void Listing::Remove(const std::string& name) {
  const auto [first, last] = by_folded_name_.equal_range(FoldCase(name));
  for (auto entry = first; entry != last; ++entry) {
    if (entry->second == name) {
      by_folded_name_.erase(entry);
      return;
    }
  }
}

void DirectoryCache::Forget() {
  keys_.clear();
  listings_.clear();
}

std::optional<DirectoryCache::Key> DirectoryCache::KeyOf(const std::string& path) {
  const std::string& spelling = path.empty() ? std::string(".") : path;
  const auto known = keys_.find(spelling);
  if (known != keys_.end()) return known->second;
  struct stat st;
  std::optional<Key> key;
  if (stat(spelling.c_str(), &st) == 0) {
    if (S_ISDIR(st.st_mode)) key = Key{st.st_dev, st.st_ino};
  } else if (errno != ENOENT && errno != ENOTDIR) {
    throw ReadError(errno, spelling);
  }
  keys_.emplace(spelling, key);
  return key;
}

const Listing* DirectoryCache::Find(const std::string& path) {
  const std::optional<Key> key = KeyOf(path);
  if (!key) return nullptr;
  const auto kept = listings_.find(*key);
  if (kept != listings_.end()) return &kept->second;
  return &listings_.emplace(*key, Read(path.empty() ? "." : path)).first->second;
}

Listing DirectoryCache::Read(const std::string& path) {
  std::unique_ptr<DIR, CloseDirectory> directory(opendir(path.c_str()));
  if (!directory) throw ReadError(errno, path);
  Listing listing;
  listing.Reserve(64);
  errno = 0;
  while (const dirent* entry = readdir(directory.get())) {
    const std::string_view name = entry->d_name;
    if (name != "." && name != "..") listing.Add(std::string(name));
    errno = 0;
  }
  if (errno != 0) throw ReadError(errno, path);
  return listing;
}

void DirectoryCache::Moved(const std::string& from, const std::string& from_name,
                           const std::string& to, const std::string& to_name) {
  // Only listings already read need the change; an unread one is read fresh.
  // The rename has happened: nothing here may fail.
  auto listing = [this](const std::string& path) -> Listing* {
    if (listings_.empty()) return nullptr;
    std::optional<Key> key;
    try {
      key = KeyOf(path);
    } catch (const Error&) {
      return nullptr;  // a directory that cannot be looked at was not read either
    }
    const auto kept = key ? listings_.find(*key) : listings_.end();
    return kept == listings_.end() ? nullptr : &kept->second;
  };
  if (Listing* source = listing(from)) source->Remove(from_name);
  if (Listing* target = listing(to)) target->Add(to_name);
}

}  // namespace tavrik
