#pragma once

#include <windows.h>

#include <string>

#include "launcher.h"
#include "launcher_window.h"
#include "system_platform.h"

namespace tavrik {

/// The window side of Brennel on Windows: the launcher window with its two
/// buttons, the message boxes and the top-level error report.
class LauncherWindow {
 public:
  explicit LauncherWindow(HINSTANCE instance);
  ~LauncherWindow();
  LauncherWindow(const LauncherWindow&) = delete;
  LauncherWindow& operator=(const LauncherWindow&) = delete;

  /// Creates the window, runs Form_Load, shows it and takes its events
  /// until it is closed. Returns the process's exit status: 0 after a
  /// normal close, 1 after the error report or when the window cannot be
  /// created.
  int Run(int show_command);

 private:
  static LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  LRESULT Handle(UINT message, WPARAM wparam, LPARAM lparam);

  bool Create();
  void CreateButtons();
  void LayOut(UINT dpi);
  void Click(int control);
  // A box titled "Brennel" showing `prefix` and `text`, with the buttons
  // and icon of `type`; returns when it is closed.
  void ShowMissingFile(const std::string& text);
  void ReportUnhandledError(long long number, const std::string& description);

  HINSTANCE instance_;
  HWND window_ = nullptr;
  HWND command3_ = nullptr;
  HWND command4_ = nullptr;
  HWND focused_ = nullptr;  // the button to give the focus back to
  HFONT font_ = nullptr;
  int exit_status_ = 0;
  SystemPlatform platform_;
  Brennel brennel_;
};

}  // namespace tavrik
