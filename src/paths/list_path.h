#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

#include "list_limits.h"

namespace tavrik {

/// A list's path as its text reads, before any folder is looked at. Lists
/// are written on Windows, and these are the rules Windows applies to a
/// path's text before a file system sees it: a backslash or a slash
/// separates names, "." is dropped and ".." takes away the name before it.
struct ListPath {
  /// The names start at the root ("\Games\x"), not at the working directory.
  bool from_root = false;
  /// The names, "." and ".." applied. A ".." with no name before it stays at
  /// the start of a path from the working directory (the folder above it);
  /// at the root it is dropped.
  std::vector<std::string_view> names;
  /// The text ends in a separator, "." or "..": it names a folder.
  bool names_folder = false;
};

/// `text` read as a list's path. The names are views into `text`.
ListPath ParseListPath(std::string_view text);

/// The ".." that `path` starts with: the only ones left once it is read.
std::size_t LeadingUps(const ListPath& path);

/// Where the last name of a list's path starts: after its last separator.
std::size_t LastNameStart(std::string_view path);

/// True for a last name that names a folder: "" (the text ends in a
/// separator), "." or "..".
inline bool NamesFolder(std::string_view name) {
  return name.empty() || name == "." || name == "..";
}

inline bool IsSeparator(char c) { return c == '\\' || c == '/'; }

/// True when a path starts with a drive (`C:\...`, `C:...`) or names a
/// network share (`\\server\...`, `//server/...`).
bool IsDriveOrShare(std::string_view path);

/// Windows takes paths of at most this many UTF-16 code units; a longer one
/// names no file there, and the Linux build treats it the same way.
inline constexpr std::size_t kLongestPath = kInt16Max;

/// The length of UTF-8 `text` in UTF-16 code units.
std::size_t Utf16Length(std::string_view text);

/// True when `path` is longer than Windows takes.
inline bool TooLongForWindows(std::string_view path) {
  // No text has more UTF-16 code units than UTF-8 bytes.
  return path.size() > kLongestPath && Utf16Length(path) > kLongestPath;
}

/// `name` without the dots and spaces at its end, which Windows drops from
/// every name of a path ("rock.dds." is "rock.dds"). "." and "..", and a
/// name that would be left empty, stay as they are.
std::string_view WithoutTrailingDots(std::string_view name);

}  // namespace tavrik
