#include "windows_paths.h"

#include <algorithm>

namespace tavrik {

namespace {

bool IsAsciiLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool IsSeparator(char c) { return c == '/' || c == '\\'; }

}  // namespace

bool IsDriveOrShare(std::string_view path) {
  const bool drive = path.size() >= 2 && IsAsciiLetter(path[0]) && path[1] == ':';
  const bool share = path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1]);
  return drive || share;
}

std::string WithSlashes(std::string_view path) {
  std::string linux_path(path);
  std::replace(linux_path.begin(), linux_path.end(), '\\', '/');
  return linux_path;
}

SplitPath Split(std::string_view path) {
  const char* const begin = path.data();
  const char* end = begin + path.size();
  while (end != begin && !IsSeparator(end[-1])) --end;
  if (end == begin) return {{}, path};
  const auto slash = static_cast<std::size_t>(end - begin) - 1;
  return {path.substr(0, slash == 0 ? 1 : slash), path.substr(slash + 1)};
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
  if (name.empty() || (name.back() != '.' && name.back() != ' ')) return name;
  if (name == "." || name == "..") return name;
  const std::size_t last = name.find_last_not_of(". ");
  return last == std::string_view::npos ? name : name.substr(0, last + 1);
}

}  // namespace tavrik
