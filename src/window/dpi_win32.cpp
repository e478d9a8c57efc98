// The per-monitor DPI functions exist from Windows 10 (1607) on; they are
// looked up at run time so that the program still starts on older systems,
// which scale with the system DPI instead.

#include "dpi_win32.h"

namespace tavrik {

namespace {

template <typename Function>
Function User32(const char* name) {
  return reinterpret_cast<Function>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), name)));
}

UINT SystemDpi() {
  const HDC screen = GetDC(nullptr);
  const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(nullptr, screen);
  return dpi > 0 ? static_cast<UINT>(dpi) : USER_DEFAULT_SCREEN_DPI;
}

}  // namespace

UINT WindowDpi(HWND window) {
  static const auto get_dpi = User32<UINT(WINAPI*)(HWND)>("GetDpiForWindow");
  const UINT dpi = get_dpi != nullptr ? get_dpi(window) : 0;
  return dpi != 0 ? dpi : SystemDpi();
}

void AdjustFrameForDpi(RECT& client, DWORD style, UINT dpi) {
  static const auto adjust =
      User32<BOOL(WINAPI*)(RECT*, DWORD, BOOL, DWORD, UINT)>("AdjustWindowRectExForDpi");
  if (adjust == nullptr || !adjust(&client, style, FALSE, 0, dpi)) {
    AdjustWindowRectEx(&client, style, FALSE, 0);
  }
}

HFONT CreateMessageFont(UINT dpi) {
  static const auto metrics_for_dpi =
      User32<BOOL(WINAPI*)(UINT, UINT, void*, UINT, UINT)>("SystemParametersInfoForDpi");
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof metrics;
  if (metrics_for_dpi != nullptr &&
      metrics_for_dpi(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0, dpi)) {
    return CreateFontIndirectW(&metrics.lfMessageFont);
  }
  if (!SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0)) {
    return static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
  }
  // The font is given at the system DPI; scale it to the window's.
  metrics.lfMessageFont.lfHeight =
      MulDiv(metrics.lfMessageFont.lfHeight, static_cast<int>(dpi), static_cast<int>(SystemDpi()));
  return CreateFontIndirectW(&metrics.lfMessageFont);
}

}  // namespace tavrik
