#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tavrik {

/// A list's path in Linux syntax: every backslash becomes a slash. Nothing
/// when the path starts with a drive (`C:\...`, `C:...`) or names a network
/// share (`\\server\...`), which have no counterpart on Linux.
std::optional<std::string> LinuxPath(const std::string& path);

/// A path in Linux syntax cut at its last slash: the folder ("" for the
/// working directory, "/" for the root) and the name in it.
struct SplitPath {
  std::string folder;
  std::string name;
};
SplitPath Split(const std::string& path);

/// `name` in `folder` ("" or "." for the working directory).
std::string JoinPath(std::string_view folder, std::string_view name);

/// `name` without the dots and spaces at its end, which Windows drops from
/// every name of a path ("rock.dds." is "rock.dds"). "." and "..", and a
/// name that would be left empty, stay as they are.
std::string_view WithoutTrailingDots(std::string_view name);

}  // namespace tavrik
