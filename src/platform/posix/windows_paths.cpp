#include "windows_paths.h"

#include <algorithm>

namespace tavrik {

namespace {

bool IsAsciiLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

}  // namespace

std::optional<std::string> LinuxPath(const std::string& path) {
  std::string linux_path = path;
  std::replace(linux_path.begin(), linux_path.end(), '\\', '/');
  const bool drive = linux_path.size() >= 2 && IsAsciiLetter(linux_path[0]) && linux_path[1] == ':';
  const bool share = linux_path.starts_with("//");
  if (drive || share) return std::nullopt;
  return linux_path;
}

SplitPath Split(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return {"", path};
  return {slash == 0 ? "/" : path.substr(0, slash), path.substr(slash + 1)};
}

std::string JoinPath(std::string_view folder, std::string_view name) {
  std::string path;
  if (!folder.empty() && folder != ".") {
    path.reserve(folder.size() + 1 + name.size());
    path += folder;
    if (folder.back() != '/') path += '/';
  }
  path += name;
  return path;
}

std::string_view WithoutTrailingDots(std::string_view name) {
  if (name == "." || name == "..") return name;
  const std::size_t last = name.find_last_not_of(". ");
  return last == std::string_view::npos ? name : name.substr(0, last + 1);
}

}  // namespace tavrik
