#pragma once

// Names as Windows compares them, for the dry run (dry_run_win32.cpp) and
// what brennel-check tells of Windows (foresee_win32.cpp).

#include <windows.h>

#include <string>

namespace tavrik {

/// `text` in upper case, as Windows compares names.
std::wstring Upper(std::wstring text);

}  // namespace tavrik
