#pragma once

#include <string>
#include <string_view>

namespace tavrik {

/// True when a list's path starts with a drive (`C:\...`, `C:...`) or names
/// a network share (`\\server\...`, `//server/...`): neither has a
/// counterpart on Linux.
bool IsDriveOrShare(std::string_view path);

/// A list's path in Linux syntax: a backslash separates folders as a slash
/// does.
std::string WithSlashes(std::string_view path);

/// A list's path cut at its last separator (a backslash or a slash): the
/// folder as the list spells it ("" for the working directory, the
/// separator alone for the root) and the name in it.
struct SplitPath {
  std::string_view folder;
  std::string_view name;
};
SplitPath Split(std::string_view path);

/// `name` in `folder` ("" or "." for the working directory), in Linux syntax.
std::string JoinPath(std::string_view folder, std::string_view name);

/// `name` without the dots and spaces at its end, which Windows drops from
/// every name of a path ("rock.dds." is "rock.dds"). "." and "..", and a
/// name that would be left empty, stay as they are.
std::string_view WithoutTrailingDots(std::string_view name);

}  // namespace tavrik
