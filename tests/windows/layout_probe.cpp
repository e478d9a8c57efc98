// Prints the launcher window's layout as another program sees it: client
// size, then each child in tab order with its caption, position, size and
// the styles that matter. The smoke test compares it at 96 and 144 DPI.
// With "box" it prints the text of the open box titled "Brennel" instead.

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

}  // namespace

int wmain(int argc, wchar_t* argv[]) {
  if (argc > 1 && std::wcscmp(argv[1], L"box") == 0) return PrintBoxText();
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
