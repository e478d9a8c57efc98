#include "launcher_window_win32.h"

#include "dpi_win32.h"
#include "message_box_win32.h"
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

const std::wstring& Title() {
  static const std::wstring title = Widen(ApplicationTitle);
  return title;
}

}  // namespace

// At most this many paint messages a keep-alive call: a window that never
// validates what it paints would otherwise hold the walk for good.
constexpr int kPaintsPerCall = 64;

LauncherWindow::LauncherWindow(HINSTANCE instance, Platform& platform)
    : instance_(instance), brennel_(platform, KeepAlive([this] { KeepAliveDuringWalk(); })) {}

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
      // Sent by another program during a walk, it waits for the walk's end.
      if (walking_) {
        close_after_walk_ = true;
        return 0;
      }
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
  if (walking_) {
    // Only a message sent to the window reaches it during a walk (another
    // program's BM_CLICK, an accessibility tool's press): taken after the
    // walk, as a click is, and never inside it.
    presses_after_walk_.push_back(control);
    return;
  }
  walking_ = true;
  // No exception may leave the window procedure.
  const auto error = ErrorLeaving([&] {
    if (control == kCommand3Id) brennel_.Command3_Click();
    if (control == kCommand4Id) brennel_.Command4_Click();
  });
  walking_ = false;
  if (busy_) {
    busy_ = false;
    SetCursor(LoadCursorW(nullptr, MAKEINTRESOURCEW(32512)));  // IDC_ARROW
  }
  if (error) {
    ReportUnhandledError(*error);
    return;
  }
  // Behind whatever was queued meanwhile.
  for (const int press : presses_after_walk_) {
    const HWND button = press == kCommand3Id ? command3_ : command4_;
    PostMessageW(window_, WM_COMMAND, MAKEWPARAM(press, BN_CLICKED),
                 reinterpret_cast<LPARAM>(button));
  }
  presses_after_walk_.clear();
  if (close_after_walk_) PostMessageW(window_, WM_CLOSE, 0, 0);
  close_after_walk_ = false;
}

void LauncherWindow::KeepAliveDuringWalk() {
  if (!busy_) {
    // The walk has run for a moment. Mouse input waits, so no WM_SETCURSOR
    // puts the arrow back before the walk's end.
    busy_ = true;
    SetCursor(LoadCursorW(nullptr, MAKEINTRESOURCEW(32514)));  // IDC_WAIT
  }
  // Paint messages only. Any PeekMessage also delivers the messages that
  // other threads and programs send (the system's "are you alive"
  // probes), and calling it keeps Windows from marking the window "not
  // responding". Input, WM_CLOSE and every other posted message stay
  // queued in their order.
  MSG message;
  for (int paints = 0;
       paints < kPaintsPerCall && PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE | PM_QS_PAINT);
       ++paints) {
    DispatchMessageW(&message);
  }
}

void LauncherWindow::ShowMessage(const std::string& text) {
  if (busy_) {
    busy_ = false;  // the walk waits for the player now
    SetCursor(LoadCursorW(nullptr, MAKEINTRESOURCEW(32512)));
  }
  ShowMessageBox(window_, Title(), L"", text, MB_OK);
}

void LauncherWindow::ReportUnhandledError(const Error& error) {
  ShowMessageBox(window_, Title(), L"Error " + std::to_wstring(error.Number()) + L"\n\n",
                 error.Description(), MB_OK | MB_ICONERROR);
  exit_status_ = kExitAfterError;
  DestroyWindow(window_);
}

}  // namespace tavrik
