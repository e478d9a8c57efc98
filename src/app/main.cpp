// The program entry on Linux: --help and --version answered without a
// display; otherwise the system's platform, one Brennel window over it, and
// Qt's event loop.

#include <QApplication>
#include <QIcon>
#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "launcher_window_qt.h"
#include "system_platform.h"

namespace {

constexpr char kHelp[] =
    "usage: brennel [--help | --version]\n"
    "\n"
    "Puts a Tavrik mod in place and takes it out again. Start it in the mod's\n"
    "folder: it reads the lists \"Tavrik.mla\" and \"Tavrik.mld\" there and shows a\n"
    "window with two buttons. Activate renames each pair's first path to its\n"
    "second; Deactivate renames them back. brennel-check tells beforehand what\n"
    "each button will do.\n"
    "\n"
    "  --help     this text\n"
    "  --version  the version\n"
    "\n"
    "Other arguments are ignored. Exit status: 0 when the window is closed; 1\n"
    "after an error report, or when no window can be shown.\n";

// --help and --version print their text, and the program ends; the first
// of the two counts. Any other argument is ignored.
bool PrintedAnswer(int argc, char* argv[]) {
  for (int i = 1; i < argc; ++i) {
    const std::string_view argument = argv[i];
    if (argument == "--help") {
      std::fputs(kHelp, stdout);
      return true;
    }
    if (argument == "--version") {
      std::printf("brennel %s\n", tavrik::kApplicationVersion);
      return true;
    }
  }
  return false;
}

// Qt ends the program with an abort when it finds no window system (no
// display, a display it cannot reach, a platform it does not have), after
// advice to reinstall the program that does not help. While the application
// is made, Qt's messages are held back: on that failure the program says in
// one line why it cannot show its window and exits with status 1; otherwise
// they are passed on as Qt would have printed them.
struct HeldMessage {
  QtMsgType type;
  QByteArray category;
  QString text;
};
std::vector<HeldMessage> held_messages;

void HoldMessage(QtMsgType type, const QMessageLogContext& context, const QString& text) {
  if (type != QtFatalMsg) {
    held_messages.push_back({type, context.category ? context.category : "default", text});
    return;
  }
  // Qt's first message is the cause ("could not connect to display :1");
  // those after it follow from it.
  QString why = held_messages.empty() ? text.section(u'\n', 0, 0) : held_messages.front().text;
  if (std::getenv("DISPLAY") == nullptr && std::getenv("WAYLAND_DISPLAY") == nullptr &&
      std::getenv("QT_QPA_PLATFORM") == nullptr) {
    why = QStringLiteral("no display (DISPLAY and WAYLAND_DISPLAY are not set)");
  }
  std::fprintf(stderr, "brennel: cannot show the window: %s\n", why.toLocal8Bit().constData());
  std::fflush(stderr);
  // Not exit(): Qt's own objects are half made.
  std::_Exit(tavrik::kExitAfterError);
}

void PassOnHeldMessages(QtMessageHandler handler) {
  for (const HeldMessage& message : held_messages) {
    handler(message.type, QMessageLogContext(nullptr, 0, nullptr, message.category.constData()),
            message.text);
  }
  held_messages.clear();
}

}  // namespace

int main(int argc, char* argv[]) {
  // Before Qt is touched, so that both work without a display.
  if (PrintedAnswer(argc, argv)) return std::fflush(stdout) == 0 ? 0 : 1;
  // The program takes no other arguments, and neither does Qt on its
  // behalf: options such as -stylesheet or -platform on the command line
  // are not honoured. Qt still reads its environment (QT_QPA_PLATFORM, ...).
  // The fixed name also names the window's class for the desktop.
  static char program_name[] = "brennel";
  static char* qt_argv[] = {program_name, nullptr};
  static int qt_argc = 1;
  const QtMessageHandler qt_handler = qInstallMessageHandler(HoldMessage);
  QApplication application(qt_argc, qt_argv);
  qInstallMessageHandler(qt_handler);
  PassOnHeldMessages(qt_handler);
  QApplication::setApplicationName(QString::fromLatin1(tavrik::ApplicationTitle));
  QApplication::setApplicationVersion(QString::fromLatin1(tavrik::kApplicationVersion));
  QApplication::setDesktopFileName(QStringLiteral("org.tavrik.Brennel"));
  QApplication::setWindowIcon(QIcon(QStringLiteral(":/brennel.ico")));

  // The walk's missing-file box is the window's, which is made after the
  // platform; walks start only from the window's buttons, once it exists.
  tavrik::LauncherWindow* window = nullptr;
  tavrik::SystemPlatform platform(
      [&window](const std::string& text) { window->ShowMessage(text); });
  tavrik::LauncherWindow launcher_window(platform);  // reads the list files
  window = &launcher_window;
  launcher_window.show();
  // 0 when the window is closed; kExitAfterError after the error report.
  return QApplication::exec();
}
