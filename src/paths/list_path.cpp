#include "list_path.h"

#include "text_encoding.h"

namespace tavrik {

namespace {

bool IsAsciiLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

}  // namespace

ListPath ParseListPath(std::string_view text) {
  ListPath path;
  path.from_root = !text.empty() && IsSeparator(text.front());
  std::size_t leading_ups = 0;  // ".." that stay, at the start
  std::string_view last;
  for (std::size_t start = 0; start <= text.size();) {
    std::size_t end = start;
    while (end < text.size() && !IsSeparator(text[end])) ++end;
    last = text.substr(start, end - start);
    if (last == "..") {
      if (path.names.size() > leading_ups) {
        path.names.pop_back();
      } else if (!path.from_root) {
        path.names.push_back(last);
        ++leading_ups;
      }
    } else if (!last.empty() && last != ".") {
      path.names.push_back(last);
    }
    start = end + 1;
  }
  path.names_folder = last.empty() || last == "." || last == "..";
  return path;
}

std::size_t LeadingUps(const ListPath& path) {
  std::size_t ups = 0;
  while (ups < path.names.size() && path.names[ups] == "..") ++ups;
  return ups;
}

std::size_t LastNameStart(std::string_view path) {
  std::size_t start = path.size();
  while (start > 0 && !IsSeparator(path[start - 1])) --start;
  return start;
}

bool IsDriveOrShare(std::string_view path) {
  const bool drive = path.size() >= 2 && IsAsciiLetter(path[0]) && path[1] == ':';
  const bool share = path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1]);
  return drive || share;
}

std::size_t Utf16Length(std::string_view text) {
  std::size_t length = 0;
  for (const char byte : text) length += Utf16UnitsOf(byte);
  return length;
}

std::string_view WithoutTrailingDots(std::string_view name) {
  if (name.empty() || (name.back() != '.' && name.back() != ' ')) return name;
  if (name == "." || name == "..") return name;
  const std::size_t last = name.find_last_not_of(". ");
  return last == std::string_view::npos ? name : name.substr(0, last + 1);
}

}  // namespace tavrik
