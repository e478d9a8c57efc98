#pragma once

#include <QWidget>
#include <functional>
#include <string>
#include <vector>

#include "error_condition.h"
#include "launcher.h"
#include "launcher_window.h"

class QMessageBox;
class QPushButton;

namespace tavrik {

/// Shows a prepared message box and returns once the user has closed it.
/// The program's runs QMessageBox::exec(); tests answer boxes with their own.
using MessageBoxRunner = std::function<void(QMessageBox& box)>;

/// The window side of Brennel: the "Tavrik Brennel" window with its two
/// buttons, which delivers the load and click events to the launcher's logic
/// and shows its message boxes. Lists are loaded when the window is built,
/// so before it is first shown. To screen readers it is a window (an AT-SPI
/// frame) holding the two buttons.
class LauncherWindow : public QWidget {
  Q_OBJECT

 public:
  /// Builds the window over `platform` and runs Form_Load in the current
  /// working directory. The platform's message box must be this window's
  /// ShowMessage, so that a box is modal to the window (the program entry
  /// wires them).
  explicit LauncherWindow(Platform& platform, MessageBoxRunner run_box = RunModal,
                          QWidget* parent = nullptr);
  ~LauncherWindow() override;

  /// The missing-file message: a box with the text and OK only, no icon;
  /// returns when it is closed.
  void ShowMessage(const std::string& text);

  /// Shows `error` (number and description) in a box titled "Brennel"; once
  /// it is closed, ends the event loop with kExitAfterError. Afterwards the
  /// buttons do nothing.
  void ReportUnhandledError(const Error& error);

  /// The default runner: an application-modal QMessageBox::exec().
  static void RunModal(QMessageBox& box);

 private:
  void Command3_Clicked();
  void Command4_Clicked();
  // Runs one click handler of the logic; no exception gets past it into Qt.
  void RunClickHandler(void (Brennel::*handler)());
  // Between the pairs of a long walk: the window is painted and answers the
  // window system, and takes no input.
  void KeepAliveDuringWalk();
  QPushButton* AddButton(const ButtonLayout& layout);

  MessageBoxRunner run_box_;
  Brennel brennel_;
  bool walking_ = false;
  bool kept_alive_ = false;  // the walk let the window take events
  // Presses that reached the window during a walk, for after it.
  std::vector<void (Brennel::*)()> presses_after_walk_;
  QPushButton* command3_ = nullptr;
  QPushButton* command4_ = nullptr;
};

}  // namespace tavrik
