#pragma once

#include <optional>
#include <string>
#include <unordered_map>

#include "directory_cache.h"

namespace tavrik {

/// A list's path in Linux syntax: every backslash becomes a slash. Nothing
/// when the path starts with a drive (`C:\...`, `C:...`) or names a network
/// share (`\\server\...`), which have no counterpart on Linux.
std::optional<std::string> LinuxPath(const std::string& path);

/// The last component of `path` (after its last slash).
std::string BaseName(const std::string& path);
/// Everything before the last slash of `path`: "." without one, "/" for a
/// name in the root.
std::string DirName(const std::string& path);

/// `name` in `directory` ("" for the working directory).
std::string JoinPath(const std::string& directory, const std::string& name);

/// Finds what a list written on Windows means on a case-sensitive file
/// system. Each component is taken as spelled when that entry exists, and
/// otherwise matched without regard to case in its directory's listing. What
/// it finds is kept until Forget(), like the listings themselves.
class NameResolver {
 public:
  /// Drops everything learnt: the next walk looks at the disk afresh.
  void Forget();

  /// The path on disk for `path` (Linux syntax), or "" when some component
  /// matches nothing. Throws Error naming the candidates when a component
  /// matches several entries only without regard to case, and when a
  /// directory cannot be searched.
  std::string Resolve(const std::string& path);

  /// The same for a directory ("" is the working directory): nothing when
  /// it is not found or is not a directory.
  std::optional<std::string> ResolveDirectory(const std::string& directory);

  /// The listings this resolver keeps, shared with the rename.
  DirectoryCache& Cache() { return cache_; }

 private:
  // The entry of `directory` that `name` means: itself when it exists,
  // else its only match in another case.
  std::optional<std::string> MatchIn(const std::string& directory, const std::string& name);

  DirectoryCache cache_;
  std::unordered_map<std::string, std::optional<std::string>> directories_;
};

}  // namespace tavrik
