// The program entry on Linux: one Brennel window, then Qt's event loop.

#include <QApplication>
#include <QIcon>

#include "launcher_window_qt.h"

int main(int, char*[]) {
  // The program takes no arguments, and neither does Qt on its behalf:
  // options such as -stylesheet or -platform on the command line are not
  // honoured. Qt still reads its environment (QT_QPA_PLATFORM, ...). The
  // fixed name also names the window's class for the desktop.
  static char program_name[] = "brennel";
  static char* qt_argv[] = {program_name, nullptr};
  static int qt_argc = 1;
  QApplication application(qt_argc, qt_argv);
  QApplication::setApplicationName(QString::fromLatin1(tavrik::ApplicationTitle));
  QApplication::setApplicationVersion(QString::fromLatin1(tavrik::kApplicationVersion));
  QApplication::setDesktopFileName(QStringLiteral("org.tavrik.Brennel"));
  QApplication::setWindowIcon(QIcon(QStringLiteral(":/brennel.ico")));

  tavrik::BrennelWindow window;  // reads the list files
  window.show();
  // 0 when the window is closed; kExitAfterError after the error report.
  return QApplication::exec();
}
