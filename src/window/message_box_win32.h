#pragma once

#include <windows.h>

#include <string>

namespace tavrik {

/// A modal box over `owner` titled `title` with `prefix` and then `text`
/// (UTF-8), and the buttons and icon of `type`. The text is shown whole when
/// the box fits on the screen with it and shortened to what fits otherwise;
/// words too long for a line wrap inside the box; Ctrl+C copies the box.
void ShowMessageBox(HWND owner, const std::wstring& title, const std::wstring& prefix,
                    const std::string& text, UINT type);

}  // namespace tavrik
