// The program entry on Linux: one Brennel window, then Qt's event loop.

#include <QApplication>
#include <QIcon>

#include "launcher_window_qt.h"

int main(int argc, char* argv[]) {
  // Qt takes its own options (-platform, -display, ...); the program has none.
  QApplication application(argc, argv);
  QApplication::setApplicationName(QString::fromLatin1(tavrik::kApplicationTitle));
  QApplication::setApplicationVersion(QString::fromLatin1(tavrik::kApplicationVersion));
  QApplication::setDesktopFileName(QStringLiteral("org.tavrik.Brennel"));
  QApplication::setWindowIcon(QIcon(QStringLiteral(":/brennel.ico")));

  tavrik::BrennelWindow window;  // reads the list files
  window.show();
  // 0 when the window is closed; kExitAfterError after the error report.
  return QApplication::exec();
}
