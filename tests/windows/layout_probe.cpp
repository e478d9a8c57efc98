// Prints the launcher window's layout as another program sees it: client
// size, then each child in tab order with its caption, position, size and
// the styles that matter. The smoke test compares it at 96 and 144 DPI.

#include <windows.h>

#include <cstdio>

int wmain() {
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
