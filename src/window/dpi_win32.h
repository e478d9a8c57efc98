#pragma once

#include <windows.h>

namespace tavrik {

/// The DPI `window` is shown at: its monitor's on Windows 10 and later, the
/// system's before.
UINT WindowDpi(HWND window);

/// Grows `client` to the window rectangle that has it as client area, for a
/// window of `style` without a menu at `dpi`.
void AdjustFrameForDpi(RECT& client, DWORD style, UINT dpi);

/// The system's message font at `dpi`, for the caller to delete.
HFONT CreateMessageFont(UINT dpi);

}  // namespace tavrik
