#include "launcher_window_win32.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

#include "display_text.h"
#include "dpi_win32.h"
#include "resource_ids.h"
#include "wide_text.h"

namespace tavrik {

namespace {

constexpr wchar_t kWindowClass[] = L"TavrikBrennel";
constexpr int kCommand3Id = 3;
constexpr int kCommand4Id = 4;

// Fixed frame: nothing in the window reacts to a change of size.
constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;

// Pixels follow the window's DPI.
int Pixels(int twips, UINT dpi) { return MulDiv(twips, static_cast<int>(dpi), kTwipsPerInch); }

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

const std::wstring& Title() {
  static const std::wstring title = Widen(ApplicationTitle);
  return title;
}

}  // namespace

LauncherWindow::LauncherWindow(HINSTANCE instance)
    : instance_(instance),
      platform_([this](const std::string& text) { ShowMissingFile(text); }),
      brennel_(platform_) {}

LauncherWindow::~LauncherWindow() {
  if (font_ != nullptr) DeleteObject(font_);
}

int LauncherWindow::Run(int show_command) {
  if (!Create()) {
    MessageBoxW(nullptr, L"The window cannot be created.", Title().c_str(), MB_OK | MB_ICONERROR);
    return 1;
  }
  brennel_.Form_Load();  // before the window is first shown; it cannot fail
  ShowWindow(window_, show_command);
  SetFocus(command3_);

  MSG message{};
  BOOL got;
  while ((got = GetMessageW(&message, nullptr, 0, 0)) != 0) {
    if (got == -1) return 1;
    // IsDialogMessage gives the plain window the dialog keyboard: Tab
    // moves between the buttons.
    if (window_ != nullptr && IsDialogMessageW(window_, &message)) continue;
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return static_cast<int>(message.wParam);
}

bool LauncherWindow::Create() {
  WNDCLASSEXW window_class{};
  window_class.cbSize = sizeof window_class;
  window_class.lpfnWndProc = &LauncherWindow::WindowProcedure;
  window_class.hInstance = instance_;
  window_class.hIcon = LoadIconW(instance_, MAKEINTRESOURCEW(IDI_BRENNEL));
  window_class.hIconSm = static_cast<HICON>(LoadImageW(instance_, MAKEINTRESOURCEW(IDI_BRENNEL),
                                                       IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                                                       GetSystemMetrics(SM_CYSMICON), 0));
  window_class.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
  window_class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  window_class.lpszClassName = kWindowClass;
  if (RegisterClassExW(&window_class) == 0) return false;

  // Created hidden at the default position; LayOut gives it its size.
  CreateWindowExW(0, kWindowClass, Widen(kWindowCaption).c_str(), kStyle, CW_USEDEFAULT,
                  CW_USEDEFAULT, 0, 0, nullptr, nullptr, instance_, this);
  if (window_ == nullptr) return false;
  CreateButtons();
  if (command3_ == nullptr || command4_ == nullptr) return false;
  LayOut(WindowDpi(window_));
  return true;
}

void LauncherWindow::CreateButtons() {
  const DWORD style = WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON;
  // Created in tab order: "Activate" first.
  command3_ = CreateWindowExW(0, L"BUTTON", Widen(kCommand3.caption).c_str(), style, 0, 0, 0, 0,
                              window_, reinterpret_cast<HMENU>(kCommand3Id), instance_, nullptr);
  command4_ = CreateWindowExW(0, L"BUTTON", Widen(kCommand4.caption).c_str(), style, 0, 0, 0, 0,
                              window_, reinterpret_cast<HMENU>(kCommand4Id), instance_, nullptr);
}

void LauncherWindow::LayOut(UINT dpi) {
  RECT frame{0, 0, Pixels(kClientWidthTwips, dpi), Pixels(kClientHeightTwips, dpi)};
  AdjustFrameForDpi(frame, kStyle, dpi);
  SetWindowPos(window_, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);

  HFONT font = CreateMessageFont(dpi);
  for (auto [button, layout] : {std::pair{command3_, kCommand3}, {command4_, kCommand4}}) {
    SetWindowPos(button, nullptr, Pixels(layout.left, dpi), Pixels(layout.top, dpi),
                 Pixels(layout.width, dpi), Pixels(layout.height, dpi),
                 SWP_NOZORDER | SWP_NOACTIVATE);
    SendMessageW(button, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
  }
  if (font_ != nullptr) DeleteObject(font_);
  font_ = font;
}

LRESULT CALLBACK LauncherWindow::WindowProcedure(HWND window, UINT message, WPARAM wparam,
                                                 LPARAM lparam) {
  if (message == WM_NCCREATE) {
    auto* self =
        static_cast<LauncherWindow*>(reinterpret_cast<CREATESTRUCTW*>(lparam)->lpCreateParams);
    self->window_ = window;
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  }
  auto* self = reinterpret_cast<LauncherWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (self == nullptr) return DefWindowProcW(window, message, wparam, lparam);
  return self->Handle(message, wparam, lparam);
}

LRESULT LauncherWindow::Handle(UINT message, WPARAM wparam, LPARAM lparam) {
  const HWND window = window_;  // still needed after WM_NCDESTROY clears it
  switch (message) {
    case WM_COMMAND:
      if (HIWORD(wparam) == BN_CLICKED &&
          (LOWORD(wparam) == kCommand3Id || LOWORD(wparam) == kCommand4Id)) {
        Click(LOWORD(wparam));
      } else if (LOWORD(wparam) == IDOK) {
        // Return on a focused button presses it, as in a dialog.
        const HWND focus = GetFocus();
        if (focus == command3_ || focus == command4_) Click(GetDlgCtrlID(focus));
      }
      return 0;
    case WM_ACTIVATE:
      // Give the focus back to the button that had it, as a dialog does.
      if (LOWORD(wparam) == WA_INACTIVE) {
        const HWND focus = GetFocus();
        if (focus == command3_ || focus == command4_) focused_ = focus;
      }
      break;
    case WM_SETFOCUS:
      SetFocus(focused_ != nullptr ? focused_ : command3_);
      return 0;
    case WM_DPICHANGED: {
      const RECT* suggested = reinterpret_cast<const RECT*>(lparam);
      SetWindowPos(window_, nullptr, suggested->left, suggested->top, 0, 0,
                   SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
      LayOut(HIWORD(wparam));
      return 0;
    }
    case WM_CLOSE:
      DestroyWindow(window_);
      return 0;
    case WM_DESTROY:
      PostQuitMessage(exit_status_);
      return 0;
    case WM_NCDESTROY:
      window_ = nullptr;
      break;
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

void LauncherWindow::Click(int control) {
  // No exception may leave the window procedure.
  try {
    if (control == kCommand3Id) brennel_.Command3_Click();
    if (control == kCommand4Id) brennel_.Command4_Click();
  } catch (const Error& error) {
    ReportUnhandledError(error.Number(), error.Description());
  } catch (const std::bad_alloc&) {
    ReportUnhandledError(7, "Out of memory");
  } catch (const std::exception& error) {
    ReportUnhandledError(51, error.what());
  }
}

void LauncherWindow::ShowBox(const std::wstring& prefix, const std::string& text, UINT type) {
  // The text is whole when the box fits on the screen with it, and
  // shortened to what fits otherwise, measured with the box's font.
  const HFONT font = CreateMessageFont(WindowDpi(window_));
  const TextRoom room = RoomFor(window_, WindowDpi(window_));
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
  MessageBoxW(window_, shown.c_str(), Title().c_str(), type);
  if (open_box.after_message != nullptr) UnhookWindowsHookEx(open_box.after_message);
  if (open_box.before_message != nullptr) UnhookWindowsHookEx(open_box.before_message);
  open_box = {};
}

void LauncherWindow::ShowMissingFile(const std::string& text) { ShowBox(L"", text, MB_OK); }

void LauncherWindow::ReportUnhandledError(long long number, const std::string& description) {
  ShowBox(L"Error " + std::to_wstring(number) + L"\n\n", description, MB_OK | MB_ICONERROR);
  exit_status_ = kExitAfterError;
  DestroyWindow(window_);
}

}  // namespace tavrik
