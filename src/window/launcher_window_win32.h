#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "error_condition.h"
#include "launcher.h"
#include "launcher_window.h"

namespace tavrik {

/// The window side of Brennel on Windows: the launcher window with its two
/// buttons, the message boxes and the top-level error report.
class LauncherWindow {
 public:
  /// A window over `platform`, whose message box must be this window's
  /// ShowMessage, so that a box is modal to the window (the program entry
  /// wires them).
  LauncherWindow(HINSTANCE instance, Platform& platform);
  ~LauncherWindow();
  LauncherWindow(const LauncherWindow&) = delete;
  LauncherWindow& operator=(const LauncherWindow&) = delete;

  /// Creates the window, runs Form_Load, shows it and takes its events
  /// until it is closed. Returns the process's exit status: 0 after a
  /// normal close, 1 after the error report or when the window cannot be
  /// created.
  int Run(int show_command);

  /// The missing-file message: a box titled "Brennel" with the text and OK
  /// only, no icon; returns when it is closed.
  void ShowMessage(const std::string& text);

 private:
  static LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  LRESULT Handle(UINT message, WPARAM wparam, LPARAM lparam);

  bool Create();
  void CreateButtons();
  void LayOut(UINT dpi);
  void Click(int control);
  // Between the pairs of a long walk: paints and messages sent from other
  // threads are taken; input and posted messages wait.
  void KeepAliveDuringWalk();
  // "Error N" and the description, with the error icon; once it is closed,
  // the window goes and Run returns kExitAfterError.
  void ReportUnhandledError(const Error& error);

  HINSTANCE instance_;
  HWND window_ = nullptr;
  HWND command3_ = nullptr;
  HWND command4_ = nullptr;
  HWND focused_ = nullptr;  // the button to give the focus back to
  HFONT font_ = nullptr;
  int exit_status_ = 0;
  bool walking_ = false;
  bool busy_ = false;  // the pointer shows it
  // Presses and a close request that reached the window during a walk
  // through messages sent to it: taken after the walk.
  std::vector<int> presses_after_walk_;
  bool close_after_walk_ = false;
  Brennel brennel_;
};

}  // namespace tavrik
