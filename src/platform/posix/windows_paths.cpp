#include "windows_paths.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <system_error>

#include "error_condition.h"

namespace tavrik {

namespace {

bool IsAsciiLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// True when the entry `path` exists as spelled (whatever it is).
bool ExistsAsSpelled(const std::string& path) {
  struct stat st;
  if (lstat(path.c_str(), &st) == 0) return true;
  const int number = errno;
  if (number == ENOENT || number == ENOTDIR) return false;
  throw Error(number, "Cannot look for '" + path + "': " + std::generic_category().message(number));
}

Error Ambiguous(const std::string& directory, const std::string& name,
                const std::vector<std::string>& candidates) {
  std::string names;
  for (const std::string& candidate : candidates) {
    names += (names.empty() ? "'" : ", '") + JoinPath(directory, candidate) + "'";
  }
  return Error(ENOTUNIQ, "Cannot tell which of " + names + " the list means by '" +
                             JoinPath(directory, name) + "': they differ only in case");
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

std::string NameResolver::Resolve(const std::string& path) {
  std::string resolved = path.starts_with('/') ? "/" : "";
  std::size_t start = 0;
  while (start <= path.size()) {
    const std::size_t end = std::min(path.find('/', start), path.size());
    const std::string name = path.substr(start, end - start);
    start = end + 1;
    // Doubled slashes and "." or ".." need no matching.
    if (name.empty() || name == "." || name == ".." || ExistsAsSpelled(JoinPath(resolved, name))) {
      if (!name.empty()) resolved = JoinPath(resolved, name);
      continue;
    }
    const std::string directory = resolved.empty() ? "." : resolved;
    const Listing* listing = cache_.Current(directory);
    if (listing == nullptr) return {};
    const std::vector<std::string>& matches = listing->Matching(name);
    if (matches.empty()) return {};
    if (matches.size() > 1) throw Ambiguous(resolved, name, matches);
    resolved = JoinPath(resolved, matches.front());
  }
  return resolved;
}

}  // namespace tavrik
