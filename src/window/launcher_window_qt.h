#pragma once

#include <QWidget>
#include <functional>
#include <string>

#include "error_condition.h"
#include "launcher.h"
#include "launcher_window.h"
#include "system_platform.h"

class QMessageBox;
class QPushButton;

namespace tavrik {

/// Shows a prepared message box and returns once the user has closed it.
/// The program's runs QMessageBox::exec(); tests answer boxes with their own.
using MessageBoxRunner = std::function<void(QMessageBox& box)>;

/// The window side of Brennel: the "Tavrik Brennel" window with its two
/// buttons, which delivers the load and click events to the launcher's logic
/// and shows its message boxes. Lists are loaded when the window is built,
/// so before it is first shown.
class BrennelWindow : public QWidget {
  Q_OBJECT

 public:
  /// Builds the window and runs Form_Load in the current working directory.
  explicit BrennelWindow(MessageBoxRunner run_box = RunModal, QWidget* parent = nullptr);
  ~BrennelWindow() override;

  /// Shows `error` (number and description) in a box titled "Brennel"; once
  /// it is closed, ends the event loop with kExitAfterError. Afterwards the
  /// buttons do nothing.
  void ReportUnhandledError(const Error& error);

  /// The default runner: an application-modal QMessageBox::exec().
  static void RunModal(QMessageBox& box);

 private:
  void Command3_Clicked();
  void Command4_Clicked();
  // Runs one click handler of the logic; no Error gets past it into Qt.
  void RunClickHandler(void (Brennel::*handler)());
  // The missing-file message: text and OK only, no icon.
  void ShowMessage(const std::string& text);
  QPushButton* AddButton(const ButtonLayout& layout);

  MessageBoxRunner run_box_;
  SystemPlatform platform_;
  Brennel brennel_;
  QPushButton* command3_ = nullptr;
  QPushButton* command4_ = nullptr;
};

}  // namespace tavrik
