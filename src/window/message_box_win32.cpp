// The program's message boxes on Windows: MessageBoxW, with a text that fits
// the screen, long words wrapped inside the box, and Ctrl+C copying the box.

#include "message_box_win32.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "display_text.h"
#include "dpi_win32.h"
#include "wide_text.h"

namespace tavrik {

namespace {

// How a box's text is drawn once it wraps inside words too long for a
// line: as a static control with SS_EDITCONTROL draws it.
constexpr UINT kTextFormat = DT_LEFT | DT_WORDBREAK | DT_EDITCONTROL | DT_EXPANDTABS | DT_NOPREFIX;

RECT WorkArea(HWND window) {
  MONITORINFO monitor{};
  monitor.cbSize = sizeof monitor;
  GetMonitorInfoW(MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), &monitor);
  return monitor.rcWork;
}

// The room a box's text has on the monitor of `window`: the width it wraps
// at (half the work area, at most 500 pixels at 96 DPI) and the height that
// the caption, the margins and the OK button leave, reckoned generously.
struct TextRoom {
  int width;
  int height;
};

TextRoom RoomFor(HWND window, UINT dpi) {
  const RECT work = WorkArea(window);
  return {std::min<int>((work.right - work.left) / 2, MulDiv(500, dpi, 96)),
          std::max<int>(MulDiv(16, dpi, 96), (work.bottom - work.top) - MulDiv(160, dpi, 96))};
}

// Runs `draw` on a screen DC with `font` selected.
template <typename Draw>
auto WithFont(HFONT font, Draw draw) {
  const HDC dc = GetDC(nullptr);
  const HGDIOBJ old = SelectObject(dc, font);
  const auto result = draw(dc);
  SelectObject(dc, old);
  ReleaseDC(nullptr, dc);
  return result;
}

int TextHeight(HFONT font, const std::wstring& text, int width) {
  return WithFont(font, [&](HDC dc) {
    RECT rect{0, 0, width, 0};
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &rect, kTextFormat | DT_CALCRECT);
    return static_cast<int>(rect.bottom);
  });
}

// How many characters of average width fill the room.
std::size_t CharactersToTry(HFONT font, TextRoom room) {
  const TEXTMETRICW metrics = WithFont(font, [](HDC dc) {
    TEXTMETRICW m{};
    GetTextMetricsW(dc, &m);
    return m;
  });
  return std::max<std::size_t>(1, room.width / std::max<LONG>(1, metrics.tmAveCharWidth)) *
         std::max<std::size_t>(1, room.height / std::max<LONG>(1, metrics.tmHeight));
}

std::wstring WindowText(HWND window) {
  std::wstring text(GetWindowTextLengthW(window) + 1, L'\0');
  text.resize(GetWindowTextW(window, text.data(), static_cast<int>(text.size())));
  return text;
}

bool HasClass(HWND window, const wchar_t* name) {
  wchar_t class_name[16] = L"";
  GetClassNameW(window, class_name, 16);
  return lstrcmpiW(class_name, name) == 0;
}

// The static control that holds a box's text (the icon's has none).
HWND BoxTextControl(HWND box) {
  for (HWND child = GetWindow(box, GW_CHILD); child != nullptr;
       child = GetWindow(child, GW_HWNDNEXT)) {
    if (HasClass(child, L"Static") && GetWindowTextLengthW(child) > 0) return child;
  }
  return nullptr;
}

RECT RectIn(HWND parent, HWND child) {
  RECT rect;
  GetWindowRect(child, &rect);
  MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

// MessageBoxW breaks lines at spaces only and widens the box to a longer
// word, past the screen's edge if need be. Such a box (or one taller than
// the screen) is laid out again: its static control wraps the text itself,
// inside long words too, at the width of `room`, and the OK button moves
// with the text's new size.
void WrapLongWords(HWND box, TextRoom room) {
  const HWND text = BoxTextControl(box);
  if (text == nullptr) return;
  const RECT text_rect = RectIn(box, text);
  RECT frame, client;
  GetWindowRect(box, &frame);
  GetClientRect(box, &client);
  const RECT work = WorkArea(box);
  const int frame_height = frame.bottom - frame.top;
  if (text_rect.right - text_rect.left <= room.width && frame_height <= work.bottom - work.top) {
    return;
  }
  SetWindowLongW(text, GWL_STYLE, GetWindowLongW(text, GWL_STYLE) | SS_EDITCONTROL);
  const auto font = reinterpret_cast<HFONT>(SendMessageW(text, WM_GETFONT, 0, 0));
  const int most = (work.bottom - work.top) - (frame_height - (text_rect.bottom - text_rect.top));
  const int height = std::min(TextHeight(font, WindowText(text), room.width), most);
  const int dx = room.width - (text_rect.right - text_rect.left);
  const int dy = height - (text_rect.bottom - text_rect.top);
  SetWindowPos(text, nullptr, 0, 0, room.width, height, SWP_NOMOVE | SWP_NOZORDER);
  for (HWND child = GetWindow(box, GW_CHILD); child != nullptr;
       child = GetWindow(child, GW_HWNDNEXT)) {
    const RECT rect = RectIn(box, child);
    if (rect.top < text_rect.bottom) continue;  // the icon stays beside the text
    // Buttons centred under the text (by wine) stay centred; others (right
    // aligned, by Windows) keep their distance from the right edge.
    const bool centred =
        std::abs((rect.left - client.left) - (client.right - rect.right)) < rect.right - rect.left;
    SetWindowPos(child, nullptr, rect.left + (centred ? dx / 2 : dx), rect.top + dy, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER);
  }
  // The same frame around the new client area, centred where the box was
  // and kept on the screen.
  const int width = frame.right - frame.left + dx;
  const int new_height = frame_height + dy;
  const int left = std::clamp<int>((frame.left + frame.right - width) / 2, work.left,
                                   std::max<int>(work.left, work.right - width));
  const int top = std::clamp<int>((frame.top + frame.bottom - new_height) / 2, work.top,
                                  std::max<int>(work.top, work.bottom - new_height));
  SetWindowPos(box, nullptr, left, top, width, new_height, SWP_NOZORDER | SWP_NOACTIVATE);
}

// Ctrl+C on a box copies it as Windows' own message boxes do: title, text
// and buttons between dashed lines.
void CopyBox(HWND box) {
  const std::wstring rule = L"---------------------------\r\n";
  std::wstring text, buttons;
  for (HWND child = GetWindow(box, GW_CHILD); child != nullptr;
       child = GetWindow(child, GW_HWNDNEXT)) {
    if (HasClass(child, L"Button")) buttons += WindowText(child) + L"   ";
  }
  for (wchar_t c : WindowText(BoxTextControl(box)))
    text += c == L'\n' ? L"\r\n" : std::wstring(1, c);
  const std::wstring copied =
      rule + WindowText(box) + L"\r\n" + rule + text + L"\r\n" + rule + buttons + L"\r\n" + rule;
  if (!OpenClipboard(box)) return;
  EmptyClipboard();
  const std::size_t bytes = (copied.size() + 1) * sizeof(wchar_t);
  if (const HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes)) {
    std::memcpy(GlobalLock(memory), copied.c_str(), bytes);
    GlobalUnlock(memory);
    if (SetClipboardData(CF_UNICODETEXT, memory) == nullptr) GlobalFree(memory);
  }
  CloseClipboard();
}

// The box being shown, for the hooks that lay it out and copy it: one at a
// time, on the window's only thread.
struct OpenBox {
  HWND box = nullptr;
  TextRoom room{};
  HHOOK after_message = nullptr;   // sees the box's WM_INITDIALOG once it is handled
  HHOOK before_message = nullptr;  // sees its keys before the dialog does
};
OpenBox open_box;

LRESULT CALLBACK AfterBoxMessage(int code, WPARAM wparam, LPARAM lparam) {
  const auto* message = reinterpret_cast<const CWPRETSTRUCT*>(lparam);
  if (code == HC_ACTION && message->message == WM_INITDIALOG && open_box.box == nullptr) {
    open_box.box = message->hwnd;
    WrapLongWords(message->hwnd, open_box.room);
  }
  return CallNextHookEx(nullptr, code, wparam, lparam);
}

LRESULT CALLBACK BeforeBoxMessage(int code, WPARAM wparam, LPARAM lparam) {
  auto* message = reinterpret_cast<MSG*>(lparam);
  if (code == HC_ACTION && wparam == PM_REMOVE && message->message == WM_KEYDOWN &&
      (message->wParam == 'C' || message->wParam == VK_INSERT) && GetKeyState(VK_CONTROL) < 0 &&
      open_box.box != nullptr &&
      (message->hwnd == open_box.box || IsChild(open_box.box, message->hwnd))) {
    CopyBox(open_box.box);
    message->message = WM_NULL;
  }
  return CallNextHookEx(nullptr, code, wparam, lparam);
}

}  // namespace

void ShowMessageBox(HWND owner, const std::wstring& title, const std::wstring& prefix,
                    const std::string& text, UINT type) {
  // The text is whole when the box fits on the screen with it, and
  // shortened to what fits otherwise, measured with the box's font.
  const HFONT font = CreateMessageFont(WindowDpi(owner));
  const TextRoom room = RoomFor(owner, WindowDpi(owner));
  const std::wstring shown =
      prefix +
      Widen(FittingBoxText(text, CharactersToTry(font, room), [&](const std::string& part) {
        return static_cast<double>(TextHeight(font, prefix + Widen(part), room.width)) /
               room.height;
      }));
  DeleteObject(font);
  const DWORD thread = GetCurrentThreadId();
  open_box = {nullptr, room, SetWindowsHookExW(WH_CALLWNDPROCRET, AfterBoxMessage, nullptr, thread),
              SetWindowsHookExW(WH_GETMESSAGE, BeforeBoxMessage, nullptr, thread)};
  MessageBoxW(owner, shown.c_str(), title.c_str(), type);
  if (open_box.after_message != nullptr) UnhookWindowsHookEx(open_box.after_message);
  if (open_box.before_message != nullptr) UnhookWindowsHookEx(open_box.before_message);
  open_box = {};
}

}  // namespace tavrik
