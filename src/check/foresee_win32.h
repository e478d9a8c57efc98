#pragma once

// What Windows refuses beyond names, told before a rename: the dry run asks
// here (dry_run_win32.cpp), so that a check does not promise a walk that
// the system will stop.

#include <windows.h>

#include <string>

namespace tavrik {

/// 0, or the Windows error with which moving the file at `source` (a full
/// path, where the file is on disk) into the folder `target_folder` will be
/// refused. The file is opened as a rename opens it, for deletion, sharing
/// everything: that fails when its access is denied (error 5) or another
/// program holds it open without letting it be deleted (error 32). The
/// target folder is opened for adding a file (error 5 when that is denied).
/// Nothing is read or changed.
DWORD ForeseenRefusal(const std::wstring& source, const std::wstring& target_folder);

/// `text` in upper case, as Windows compares names.
std::wstring Upper(std::wstring text);

}  // namespace tavrik
