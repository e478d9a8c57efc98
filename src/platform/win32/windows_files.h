#pragma once

// What Windows says about files, as the walk takes it: which file the
// presence test finds, and the texts of its errors. The real platform and
// the dry run share it.

#include <windows.h>

#include <string>

#include "error_condition.h"

namespace tavrik {

/// The system's own text for an error number, without its line end.
std::string SystemMessage(DWORD number);

/// "Cannot rename 'source' to 'target': " and the system's text.
Error RenameError(DWORD number, const std::string& source, const std::string& target);

/// A NUL would cut the path short at the W call: another file would be
/// tested or moved.
inline bool HasNul(const std::string& path) { return path.find('\0') != std::string::npos; }

/// The presence test without its search: the name of the normal file at
/// `path` (not a folder, hidden, system file or device), or "" when there
/// is none. Throws Error when the test itself fails.
std::string NormalFileName(const std::string& path);

/// True when `path` could be tested at all: not empty, no NUL, no '*' or
/// '?', which a directory search would take as patterns.
bool Testable(const std::string& path);

}  // namespace tavrik
