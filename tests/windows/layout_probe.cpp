// Prints the launcher window's layout as another program sees it: client
// size, then each child in tab order with its caption, position, size and
// the styles that matter. The smoke test compares it at 96 and 144 DPI.
// With "box" it prints the text of the open box titled "Brennel" instead;
// with "box-layout", where the box and its controls lie on the screen.

#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

namespace {

// The box's text, as UTF-8: that of its static control with text (the
// icon's has none).
int PrintBoxText() {
  const HWND box = FindWindowW(L"#32770", L"Brennel");
  HWND label = nullptr;
  while (box != nullptr && (label = FindWindowExW(box, label, L"Static", nullptr)) != nullptr &&
         GetWindowTextLengthW(label) == 0) {
  }
  if (label == nullptr) {
    std::puts("no box");
    return 1;
  }
  std::wstring text(GetWindowTextLengthW(label) + 1, L'\0');
  text.resize(GetWindowTextW(label, text.data(), static_cast<int>(text.size())));
  std::string utf8(text.size() * 3, '\0');
  utf8.resize(WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                  utf8.data(), static_cast<int>(utf8.size()), nullptr, nullptr));
  std::fwrite(utf8.data(), 1, utf8.size(), stdout);
  return 0;
}

// The box's rectangle, the work area of its monitor, and each control's
// class, caption length, style and rectangle, in screen pixels.
int PrintBoxLayout() {
  const HWND box = FindWindowW(L"#32770", L"Brennel");
  if (box == nullptr) {
    std::puts("no box");
    return 1;
  }
  MONITORINFO monitor{};
  monitor.cbSize = sizeof monitor;
  GetMonitorInfoW(MonitorFromWindow(box, MONITOR_DEFAULTTONEAREST), &monitor);
  const RECT& work = monitor.rcWork;
  RECT rect;
  GetWindowRect(box, &rect);
  std::printf("work %ld %ld %ld %ld\nbox %ld %ld %ld %ld\n", work.left, work.top, work.right,
              work.bottom, rect.left, rect.top, rect.right, rect.bottom);
  for (HWND child = GetWindow(box, GW_CHILD); child != nullptr;
       child = GetWindow(child, GW_HWNDNEXT)) {
    wchar_t name[16] = L"";
    GetClassNameW(child, name, 16);
    GetWindowRect(child, &rect);
    std::printf("%ls %d %lx %ld %ld %ld %ld\n", name, GetWindowTextLengthW(child),
                GetWindowLongW(child, GWL_STYLE), rect.left, rect.top, rect.right, rect.bottom);
  }
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t* argv[]) {
  if (argc > 1 && std::wcscmp(argv[1], L"box") == 0) return PrintBoxText();
  if (argc > 1 && std::wcscmp(argv[1], L"box-layout") == 0) return PrintBoxLayout();
  const HWND window = FindWindowW(L"TavrikBrennel", L"Tavrik Brennel");
  if (window == nullptr) {
    std::puts("no launcher window");
    return 1;
  }
  // The focus belongs to the window's thread, not to this program.
  GUITHREADINFO thread{};
  thread.cbSize = sizeof thread;
  GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &thread);
  RECT client;
  GetClientRect(window, &client);
  std::printf("client %ldx%ld\n", client.right, client.bottom);
  for (HWND child = GetWindow(window, GW_CHILD); child != nullptr;
       child = GetWindow(child, GW_HWNDNEXT)) {
    wchar_t caption[64] = L"";
    GetWindowTextW(child, caption, 64);
    RECT box;
    GetWindowRect(child, &box);
    MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&box), 2);
    const LONG style = GetWindowLongW(child, GWL_STYLE);
    std::printf("%ls id %d at %ld,%ld size %ldx%ld%s%s%s\n", caption, GetDlgCtrlID(child), box.left,
                box.top, box.right - box.left, box.bottom - box.top,
                (style & WS_TABSTOP) ? " tabstop" : "",
                (style & BS_TYPEMASK) == BS_DEFPUSHBUTTON ? " default" : "",
                thread.hwndFocus == child ? " focused" : "");
  }
  return 0;
}
