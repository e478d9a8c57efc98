// The program's entry on Windows: the system's platform and one launcher
// window over it, run until it closes. The command line is ignored, /? and
// --version included: a GUI program has no console to print to, and the
// version is in the .exe's version record (its Properties in Explorer).

#include <windows.h>
// windows.h first: commctrl.h needs its types.
#include <commctrl.h>

#include "launcher_window_win32.h"
#include "system_platform.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show_command) {
  // Loads version 6 of the common controls (named in the manifest), so the
  // buttons take the system's visual style.
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);
  // The walk's missing-file box is the window's, which is made after the
  // platform; walks start only from the window's buttons, once it exists.
  tavrik::LauncherWindow* window = nullptr;
  tavrik::SystemPlatform platform(
      [&window](const std::string& text) { window->ShowMessage(text); });
  tavrik::LauncherWindow launcher_window(instance, platform);
  window = &launcher_window;
  return launcher_window.Run(show_command);
}
