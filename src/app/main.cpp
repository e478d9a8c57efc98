// The program entry on Linux: the system's platform, one Brennel window over
// it, then Qt's event loop.

#include <QApplication>
#include <QIcon>

#include "launcher_window_qt.h"
#include "system_platform.h"

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

  // The walk's missing-file box is the window's, which is made after the
  // platform; walks start only from the window's buttons, once it exists.
  tavrik::LauncherWindow* window = nullptr;
  tavrik::SystemPlatform platform([&window](const std::string& text) { window->ShowMessage(text); });
  tavrik::LauncherWindow launcher_window(platform);  // reads the list files
  window = &launcher_window;
  launcher_window.show();
  // 0 when the window is closed; kExitAfterError after the error report.
  return QApplication::exec();
}
