#include "windows_paths.h"

#include <algorithm>

#include "error_condition.h"

namespace tavrik {

namespace {

bool IsAsciiLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

Error Ambiguous(const std::string& directory, const std::string& name,
                const std::vector<std::string>& candidates) {
  std::string names;
  for (const std::string& candidate : candidates) {
    if (!names.empty()) names += ", ";
    names += Quoted(JoinPath(directory, candidate));
  }
  return Error(ENOTUNIQ, "Cannot tell which of " + names + " the list means by " +
                             Quoted(JoinPath(directory, name)) + ": they differ only in case");
}

}  // namespace

std::optional<std::string> LinuxPath(const std::string& path) {
  std::string linux_path = path;
  std::replace(linux_path.begin(), linux_path.end(), '\\', '/');
  const bool drive = linux_path.size() >= 2 && IsAsciiLetter(linux_path[0]) && linux_path[1] == ':';
  const bool share = linux_path.starts_with("//");
  if (drive || share) return std::nullopt;
  return linux_path;
}

std::string JoinPath(const std::string& directory, const std::string& name) {
  if (directory.empty()) return name;
  return directory.back() == '/' ? directory + name : directory + "/" + name;
}

std::string BaseName(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string DirName(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

void NameResolver::Forget() {
  cache_.Forget();
  directories_.clear();
}

std::string NameResolver::Resolve(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  const std::string directory =
      slash == std::string::npos ? "" : (slash == 0 ? "/" : path.substr(0, slash));
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  const std::optional<std::string> on_disk = ResolveDirectory(directory);
  if (!on_disk) return {};
  if (name.empty() || name == "." || name == "..") return JoinPath(*on_disk, name);
  const std::optional<std::string> entry = MatchIn(*on_disk, name);
  return entry ? JoinPath(*on_disk, *entry) : std::string();
}

std::optional<std::string> NameResolver::ResolveDirectory(const std::string& directory) {
  const auto known = directories_.find(directory);
  if (known != directories_.end()) return known->second;
  std::optional<std::string> resolved;
  if (cache_.KeyOf(directory)) {
    resolved = directory;  // spelled as on disk: the common case
  } else {
    resolved.emplace();
    if (directory.starts_with('/')) resolved->push_back('/');
    std::size_t start = 0;
    while (resolved && start < directory.size()) {
      const std::size_t end = std::min(directory.find('/', start), directory.size());
      const std::string name = directory.substr(start, end - start);
      start = end + 1;
      // Doubled slashes and "." or ".." need no matching.
      if (name.empty() || name == "." || name == "..") {
        if (!name.empty()) resolved = JoinPath(*resolved, name);
        continue;
      }
      const std::optional<std::string> entry = MatchIn(*resolved, name);
      resolved = entry ? std::optional(JoinPath(*resolved, *entry)) : std::nullopt;
    }
    if (resolved && !cache_.KeyOf(*resolved)) resolved.reset();
  }
  directories_.emplace(directory, resolved);
  return resolved;
}

std::optional<std::string> NameResolver::MatchIn(const std::string& directory,
                                                 const std::string& name) {
  const Listing* listing = cache_.Find(directory);
  if (listing == nullptr) return std::nullopt;
  const std::vector<std::string> matches = listing->Matching(name);
  if (std::find(matches.begin(), matches.end(), name) != matches.end()) return name;
  if (matches.empty()) return std::nullopt;
  if (matches.size() > 1) throw Ambiguous(directory, name, matches);
  return matches.front();
}

}  // namespace tavrik
