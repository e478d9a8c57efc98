// The program's entry on Windows: one launcher window, run until it closes.

#include <windows.h>
// windows.h first: commctrl.h needs its types.
#include <commctrl.h>

#include "launcher_window_win32.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show_command) {
  // Loads version 6 of the common controls (named in the manifest), so the
  // buttons take the system's visual style.
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);
  tavrik::LauncherWindow window(instance);
  return window.Run(show_command);
}
