// The Linux window, run headless on Qt's offscreen platform.

#include <QAbstractButton>
#include <QAccessible>
#include <QClipboard>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTextDocument>
#include <QThread>
#include <QTimer>
#include <QtTest>
#include <filesystem>
#include <functional>
#include <new>
#include <stdexcept>
#include <vector>

#include "fake_platform.h"
#include "launcher_window_qt.h"
#include "scratch_folder.h"
#include "system_platform.h"

namespace fs = std::filesystem;
using tavrik::LauncherWindow;

namespace {

// What a message box looked like when the window asked to show it.
struct ShownBox {
  QString title;
  QString text;
  QString informative;
  QMessageBox::Icon icon;
  QMessageBox::StandardButtons buttons;
  Qt::WindowModality modality;
  Qt::TextFormat format;
};

// Answers the window's message boxes and remembers them.
class Boxes {
 public:
  std::vector<ShownBox> shown;

  // Records each box and returns at once, as if OK had been pressed.
  tavrik::MessageBoxRunner Answer() {
    return [this](QMessageBox& box) { Record(box); };
  }

  // Records each box; the first one (or with `all`, each one) is really run
  // as a modal box, with `while_open` called inside its event loop before
  // OK is clicked.
  tavrik::MessageBoxRunner RunFirstModally(std::function<void(QMessageBox&)> while_open,
                                           bool all = false) {
    return [this, while_open, all](QMessageBox& box) {
      Record(box);
      if (shown.size() != 1 && !all) return;
      QTimer::singleShot(0, &box, [&box, while_open] {
        while_open(box);
        box.button(QMessageBox::Ok)->click();
      });
      LauncherWindow::RunModal(box);
    };
  }

 private:
  void Record(QMessageBox& box) {
    shown.push_back({box.windowTitle(), box.text(), box.informativeText(), box.icon(),
                     box.standardButtons(), box.windowModality(), box.textFormat()});
  }
};

// The window as the program makes it: over the system's files, the
// platform's boxes shown by the window.
struct ProgramWindow {
  explicit ProgramWindow(tavrik::MessageBoxRunner run_box = LauncherWindow::RunModal)
      : platform([this](const std::string& text) { window.ShowMessage(text); }),
        window(platform, std::move(run_box)) {}
  tavrik::SystemPlatform platform;
  LauncherWindow window;
};

QPushButton* Button(LauncherWindow& window, const char* name) {
  return window.findChild<QPushButton*>(QLatin1String(name));
}

// A click as the window system delivers it, so that modality applies.
void ClickOnScreen(LauncherWindow& window, const char* name) {
  QTest::mouseClick(window.windowHandle(), Qt::LeftButton, {},
                    Button(window, name)->geometry().center());
}

bool Exists(const char* path) { return fs::exists(path); }

// A path of 2 MB whose beginning and end name `tag`.
std::string HugePath(const std::string& tag) {
  return "Data/" + tag + "-start/" + std::string(2 << 20, 'x') + "/" + tag + "-end.dds";
}

QString Clipboard() { return QGuiApplication::clipboard()->text(); }

// Whether the platform has a clipboard to test. Qt's Wayland clipboard
// needs a seat, which the headless compositor lacks (and setting its text
// there leaks); the copies are checked on the offscreen platform and on X
// (window_end_to_end.sh).
bool HasClipboard() { return QGuiApplication::platformName() != QStringLiteral("wayland"); }

QLabel* TextLabel(QMessageBox& box) {
  return box.findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
}

// Whether the box lies on its screen and no line of its text runs past the
// label's edge.
bool FitsAndWraps(QMessageBox& box) {
  QLabel* label = TextLabel(box);
  const QTextDocument* document = label->findChild<QTextDocument*>();
  return box.screen()->availableGeometry().contains(box.frameGeometry()) &&
         document->idealWidth() <= label->width();
}

}  // namespace

class LauncherWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void layoutIsTheDesignedOneAndIgnoresResizing();
  void activateHasTheFocusAndTabMovesToDeactivate();
  void buttonsWalkListsReadBeforeTheWindowWasShown();
  void missingFileBoxIsPlainModalAndTheWindowTakesClicksAgain();
  void refusedRenameIsReportedAndEndsTheProgramWithStatusOne();
  void listTooLongIsRefusedBeforeAnyRenameAndTheBoxSaysNoneWasMade();
  void withoutListFilesBothButtonsDoNothingVisible();
  void longPathShowsWholeWrapsInTheBoxAndCopiesAsItReads();
  void boxesShowHugePathsByTheirEndsAndFitTheScreen();
  void failuresOtherThanTheWalksOwnAreReportedByNumber();
  void windowIsAFrameOfItsTwoButtonsToScreenReaders();
  void longWalkIsPaintedShowsItIsBusyAndTakesPressesAfterIt();
};

void LauncherWindowTest::layoutIsTheDesignedOneAndIgnoresResizing() {
  ScratchFolder folder;
  ProgramWindow program;
  LauncherWindow& window = program.window;
  QCOMPARE(window.windowTitle(), QStringLiteral("Tavrik Brennel"));
  QCOMPARE(window.size(), QSize(229, 75));
  QVERIFY(window.layout() == nullptr);
  QCOMPARE(window.findChildren<QWidget*>().size(), 2);

  QPushButton* activate = Button(window, "Command3");
  QPushButton* deactivate = Button(window, "Command4");
  QVERIFY(activate && deactivate);
  QCOMPARE(activate->text(), QStringLiteral("Activate"));
  QCOMPARE(deactivate->text(), QStringLiteral("Deactivate"));
  for (QPushButton* button : {activate, deactivate}) {
    QVERIFY(!button->isDefault() && !button->autoDefault());
  }

  window.show();
  QVERIFY(QTest::qWaitForWindowExposed(&window));
  QCOMPARE(activate->geometry(), QRect(8, 8, 65, 25));
  QCOMPARE(deactivate->geometry(), QRect(8, 40, 65, 25));
  window.resize(400, 300);
  QTRY_COMPARE(window.size(), QSize(400, 300));
  QCOMPARE(activate->geometry(), QRect(8, 8, 65, 25));
  QCOMPARE(deactivate->geometry(), QRect(8, 40, 65, 25));
}

void LauncherWindowTest::activateHasTheFocusAndTabMovesToDeactivate() {
  ScratchFolder folder;
  WriteFile("Tavrik.mld", "missing,x\r\n");
  Boxes boxes;
  ProgramWindow program(boxes.Answer());
  LauncherWindow& window = program.window;
  window.show();
  // The window's own focus, not the application's: a Wayland compositor
  // without a seat (headless Weston) never makes the window active.
  QVERIFY(QTest::qWaitForWindowExposed(&window));
  QTRY_COMPARE(window.focusWidget(), Button(window, "Command3"));
  QTest::keyClick(&window, Qt::Key_Tab);
  QCOMPARE(window.focusWidget(), Button(window, "Command4"));
  // No default button: Return presses nothing, Space presses the focused one.
  QTest::keyClick(window.focusWidget(), Qt::Key_Return);
  QVERIFY(boxes.shown.empty());
  QTest::keyClick(window.focusWidget(), Qt::Key_Space);
  QCOMPARE(boxes.shown.size(), std::size_t{1});
}

void LauncherWindowTest::buttonsWalkListsReadBeforeTheWindowWasShown() {
  ScratchFolder folder;
  WriteFile("Tavrik.mla", "Data/a.off,Data/a\r\n\"Data/b, c.off\",\"Data/b, c\"\r\n");
  WriteFile("Tavrik.mld", "Data/a.off,Data/a\r\n");
  WriteFile("Data/a.off", "A");
  WriteFile("Data/b, c.off", "B");
  Boxes boxes;
  ProgramWindow program(boxes.Answer());
  // The lists were read when the window was built: later edits are not seen.
  WriteFile("Tavrik.mla", "Data/b, c.off,elsewhere\r\n");
  LauncherWindow& window = program.window;
  window.show();
  QVERIFY(QTest::qWaitForWindowExposed(&window));

  ClickOnScreen(window, "Command3");
  QVERIFY(boxes.shown.empty());
  QCOMPARE(ReadFile("Data/a"), std::string("A"));
  QCOMPARE(ReadFile("Data/b, c"), std::string("B"));
  QVERIFY(!Exists("Data/a.off") && !Exists("Data/b, c.off") && !Exists("elsewhere"));

  ClickOnScreen(window, "Command4");
  QVERIFY(boxes.shown.empty());
  QVERIFY(Exists("Data/a.off") && !Exists("Data/a"));
  QVERIFY(Exists("Data/b, c"));
}

void LauncherWindowTest::missingFileBoxIsPlainModalAndTheWindowTakesClicksAgain() {
  ScratchFolder folder;
  // A name that looks like markup must be shown as it is spelled.
  WriteFile("Tavrik.mla", "present,moved\r\n<b>gone</b>,x\r\n");
  WriteFile("present", "1");
  LauncherWindow* window_seen = nullptr;
  bool modal_while_open = false;
  Boxes boxes;
  ProgramWindow program(boxes.RunFirstModally([&](QMessageBox& box) {
    modal_while_open = QApplication::activeModalWidget() == &box;
    // A click on the window while the box is open does not reach it.
    ClickOnScreen(*window_seen, "Command3");
  }));
  LauncherWindow& window = program.window;
  window_seen = &window;
  window.show();
  QVERIFY(QTest::qWaitForWindowExposed(&window));

  ClickOnScreen(window, "Command3");
  QVERIFY(modal_while_open);
  QCOMPARE(boxes.shown.size(), std::size_t{1});
  const ShownBox& box = boxes.shown.front();
  QCOMPARE(box.title, QStringLiteral("Brennel"));
  QCOMPARE(box.text, QStringLiteral("<b>gone</b> is missing"));
  QCOMPARE(box.format, Qt::PlainText);
  QCOMPARE(box.icon, QMessageBox::NoIcon);
  QCOMPARE(box.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
  QCOMPARE(box.modality, Qt::ApplicationModal);
  QVERIFY(Exists("moved") && !Exists("present"));

  // Once the box is closed the window takes clicks again: the second walk
  // finds the first source gone.
  QTRY_VERIFY(QApplication::activeModalWidget() == nullptr);
  ClickOnScreen(window, "Command3");
  QCOMPARE(boxes.shown.size(), std::size_t{2});
  QCOMPARE(boxes.shown.back().text, QStringLiteral("present is missing"));
}

void LauncherWindowTest::refusedRenameIsReportedAndEndsTheProgramWithStatusOne() {
  ScratchFolder folder;
  WriteFile("Tavrik.mla", "a,b\r\nc,d\r\ne,f\r\n");
  WriteFile("a", "1");
  WriteFile("c", "3");
  WriteFile("d", "already here");
  WriteFile("e", "5");
  Boxes boxes;
  ProgramWindow program(boxes.Answer());
  LauncherWindow& window = program.window;
  window.show();
  QVERIFY(QTest::qWaitForWindowExposed(&window));

  QTimer::singleShot(0, &window, [&window] { ClickOnScreen(window, "Command3"); });
  QCOMPARE(QApplication::exec(), tavrik::kExitAfterError);
  QCOMPARE(boxes.shown.size(), std::size_t{1});
  const ShownBox& box = boxes.shown.front();
  QCOMPARE(box.title, QStringLiteral("Brennel"));
  QVERIFY2(box.text.startsWith(QStringLiteral("Error 17: Cannot rename 'c' to 'd'")),
           qPrintable(box.text));
  QCOMPARE(box.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
  QCOMPARE(box.informative,
           QStringLiteral("Brennel ends now. Files renamed before the error stay renamed."));
  // The earlier rename stays, the refused one and those after it are not made.
  QVERIFY(Exists("b") && !Exists("a"));
  QCOMPARE(ReadFile("d"), std::string("already here"));
  QVERIFY(Exists("c") && Exists("e") && !Exists("f"));

  // Nothing more runs after the report, even a click that was still queued.
  ClickOnScreen(window, "Command3");
  QCOMPARE(boxes.shown.size(), std::size_t{1});
}

void LauncherWindowTest::listTooLongIsRefusedBeforeAnyRenameAndTheBoxSaysNoneWasMade() {
  ScratchFolder folder;
  std::string list;
  for (int pair = 0; pair <= 16384; ++pair) list += "a,b\r\n";  // 32,770 entries
  WriteFile("Tavrik.mla", list);
  WriteFile("a", "1");
  Boxes boxes;
  ProgramWindow program(boxes.Answer());
  LauncherWindow& window = program.window;
  window.show();
  QVERIFY(QTest::qWaitForWindowExposed(&window));

  QTimer::singleShot(0, &window, [&window] { ClickOnScreen(window, "Command3"); });
  QCOMPARE(QApplication::exec(), tavrik::kExitAfterError);
  QCOMPARE(boxes.shown.size(), std::size_t{1});
  QVERIFY2(boxes.shown.front().text.startsWith(QStringLiteral("Error 6: Overflow")),
           qPrintable(boxes.shown.front().text));
  QCOMPARE(boxes.shown.front().informative,
           QStringLiteral("Brennel ends now. No file was renamed."));
  QVERIFY(Exists("a") && !Exists("b"));
}

void LauncherWindowTest::withoutListFilesBothButtonsDoNothingVisible() {
  ScratchFolder folder;
  WriteFile("Tavrik.mla.bak", "a,b\r\n");
  WriteFile("a", "1");
  Boxes boxes;
  ProgramWindow program(boxes.Answer());
  LauncherWindow& window = program.window;
  window.show();
  QVERIFY(QTest::qWaitForWindowExposed(&window));
  ClickOnScreen(window, "Command3");
  ClickOnScreen(window, "Command4");
  QVERIFY(boxes.shown.empty());
  QVERIFY(Exists("a") && !Exists("b"));
  QVERIFY(window.isVisible());
}

void LauncherWindowTest::longPathShowsWholeWrapsInTheBoxAndCopiesAsItReads() {
  ScratchFolder folder;
  std::string path = "Mods\\Tavrik_Overhaul_v2.3.1\\Data\\Textures";
  while (path.size() < 230) path += "\\Landscape_Mountains_Snow";
  path += "\\rock_diffuse.dds";
  WriteFile("Tavrik.mla", path + ",x\r\n");
  const QString message = QString::fromStdString(path) + QStringLiteral(" is missing");
  bool fits_and_wraps = false;
  int lines = 0;
  Qt::TextInteractionFlags flags;
  QString copied_from_box, copied_from_label;
  Boxes boxes;
  ProgramWindow program(boxes.RunFirstModally([&](QMessageBox& box) {
    QTRY_VERIFY(box.isVisible());
    QLabel* label = TextLabel(box);
    fits_and_wraps = FitsAndWraps(box);
    lines = label->height() / label->fontMetrics().lineSpacing();
    flags = box.textInteractionFlags();
    if (!HasClipboard()) return;
    QGuiApplication::clipboard()->clear();
    QTest::keyClick(box.button(QMessageBox::Ok), Qt::Key_C, Qt::ControlModifier);
    copied_from_box = Clipboard();
    // A click on the text gives it the keyboard; with nothing selected,
    // Ctrl+C still copies the whole text.
    QGuiApplication::clipboard()->clear();
    QTest::mouseClick(label, Qt::LeftButton);
    QTest::keyClick(label, Qt::Key_C, Qt::ControlModifier);
    copied_from_label = Clipboard();
  }));
  LauncherWindow& window = program.window;
  window.show();
  QVERIFY(QTest::qWaitForWindowExposed(&window));
  ClickOnScreen(window, "Command3");

  QCOMPARE(boxes.shown.size(), std::size_t{1});
  QCOMPARE(boxes.shown[0].text, message);
  QVERIFY(fits_and_wraps);
  QVERIFY2(lines >= 3, qPrintable(QString::number(lines)));
  QVERIFY(flags & Qt::TextSelectableByMouse);
  if (HasClipboard()) {
    QCOMPARE(copied_from_box, message);
    QCOMPARE(copied_from_label, message);
  }
}

void LauncherWindowTest::boxesShowHugePathsByTheirEndsAndFitTheScreen() {
  ScratchFolder folder;
  // A NUL makes the path missing, and must show.
  WriteFile("Tavrik.mla", "gone" + std::string(1, '\0') + HugePath("missing") + ",x\r\n");
  std::vector<bool> fit;
  QString copied_error;
  Boxes boxes;
  ProgramWindow program(boxes.RunFirstModally(
      [&](QMessageBox& box) {
        QTRY_VERIFY(box.isVisible());
        fit.push_back(FitsAndWraps(box));
        if (!HasClipboard()) return;
        QTest::keyClick(&box, Qt::Key_C, Qt::ControlModifier);
        copied_error = Clipboard();
      },
      true));
  LauncherWindow& window = program.window;
  window.show();
  QVERIFY(QTest::qWaitForWindowExposed(&window));
  ClickOnScreen(window, "Command3");
  QTimer::singleShot(0, &window, [&window] {
    window.ReportUnhandledError(tavrik::Error(
        17,
        "Cannot rename '" + HugePath("source") + "' to '" + HugePath("target") + "': File exists"));
  });
  QCOMPARE(QApplication::exec(), tavrik::kExitAfterError);

  QCOMPARE(boxes.shown.size(), std::size_t{2});
  QCOMPARE(fit, std::vector<bool>({true, true}));
  const QString missing = boxes.shown[0].text;
  QVERIFY(missing.startsWith(u"gone\u2400Data/missing-start/xxx") &&
          missing.endsWith(u"xxx/missing-end.dds is missing"));
  const QString error = boxes.shown[1].text;
  QVERIFY(error.startsWith(u"Error 17: Cannot rename 'Data/source-start/xxx"));
  QVERIFY(error.contains(u"xxx/source-end.dds' to 'Data/target-start/xxx"));
  QVERIFY(error.endsWith(u"xxx/target-end.dds': File exists"));
  QCOMPARE(error.count(u'\u2026'), 2);
  if (HasClipboard()) {
    // The click's walk stopped at its first pair: nothing was renamed.
    QCOMPARE(copied_error, error + QStringLiteral("\nBrennel ends now. No file was renamed."));
  }
}

void LauncherWindowTest::failuresOtherThanTheWalksOwnAreReportedByNumber() {
  ScratchFolder folder;
  WriteFile("Tavrik.mla", "a,b\r\n");
  // A platform whose rename fails with an exception that is no Error.
  struct FailingPlatform : FakePlatform {
    std::function<void()> fail;
    void RenameFile(const std::string&, const std::string&) override { fail(); }
  };
  const std::vector<std::pair<std::function<void()>, QString>> cases = {
      {[] { throw std::bad_alloc(); }, QStringLiteral("Error 7: Out of memory")},
      {[] { throw std::length_error("vector too long"); },
       QStringLiteral("Error 51: vector too long")}};
  for (const auto& [fail, report] : cases) {
    FailingPlatform platform;
    platform.files["a"] = "1";
    platform.fail = fail;
    Boxes boxes;
    LauncherWindow window(platform, boxes.Answer());
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QTimer::singleShot(0, &window, [&window] { ClickOnScreen(window, "Command3"); });
    QCOMPARE(QApplication::exec(), tavrik::kExitAfterError);
    QCOMPARE(boxes.shown.size(), std::size_t{1});
    QCOMPARE(boxes.shown[0].text, report);
    QCOMPARE(boxes.shown[0].icon, QMessageBox::Critical);
  }
}

void LauncherWindowTest::windowIsAFrameOfItsTwoButtonsToScreenReaders() {
  ScratchFolder folder;
  WriteFile("Tavrik.mla", "gone,x\r\n");
  QAccessible::Role box_role = QAccessible::NoRole;
  Boxes boxes;
  ProgramWindow program(boxes.RunFirstModally(
      [&](QMessageBox& box) { box_role = QAccessible::queryAccessibleInterface(&box)->role(); }));
  LauncherWindow& window = program.window;
  window.show();
  QVERIFY(QTest::qWaitForWindowExposed(&window));

  // AT-SPI shows a window as a frame, announced when it opens; a plain
  // widget would be a filler.
  QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(&window);
  QVERIFY(accessible != nullptr);
  QCOMPARE(accessible->role(), QAccessible::Window);
  QCOMPARE(accessible->text(QAccessible::Name), QStringLiteral("Tavrik Brennel"));
  QCOMPARE(accessible->childCount(), 2);
  for (const auto& [index, name] : {std::pair{0, "Activate"}, std::pair{1, "Deactivate"}}) {
    QAccessibleInterface* button = accessible->child(index);
    QCOMPARE(button->role(), QAccessible::Button);
    QCOMPARE(button->text(QAccessible::Name), QString::fromLatin1(name));
    QCOMPARE(button->parent(), accessible);
  }
  // The missing-file box stays an alert.
  ClickOnScreen(window, "Command3");
  QCOMPARE(box_role, QAccessible::AlertMessage);
}

void LauncherWindowTest::longWalkIsPaintedShowsItIsBusyAndTakesPressesAfterIt() {
  ScratchFolder folder;
  constexpr int kPairs = 16000;
  std::string list;
  for (int k = 0; k < kPairs; ++k)
    list += "p" + std::to_string(k) + ",p" + std::to_string(k) + ".on\r\n";
  WriteFile("Tavrik.mla", list);
  WriteFile("Tavrik.mld", "d.off,d\r\n");
  // Each pair takes 1 ms until the window has been painted and shows a busy
  // pointer mid-walk: 16 s at most, where the window needs 0.1 s.
  struct SlowPlatform : FakePlatform {
    std::function<bool()> seen_enough;
    std::string FindFile(const std::string& path) override {
      if (!seen_enough()) QThread::msleep(1);
      return FakePlatform::FindFile(path);
    }
  } platform;
  for (int k = 0; k < kPairs; ++k) platform.files["p" + std::to_string(k)] = "";
  platform.files["d"] = "";
  Boxes boxes;
  LauncherWindow window(platform, boxes.Answer());
  window.show();
  QVERIFY(QTest::qWaitForWindowExposed(&window));

  struct Paints : QObject {
    int count = 0;
    bool eventFilter(QObject*, QEvent* event) override {
      if (event->type() == QEvent::Paint) ++count;
      return false;
    }
  } paints;
  window.installEventFilter(&paints);
  bool busy = false;
  std::size_t pressed_at = 0;  // pairs tested when Deactivate was pressed
  platform.seen_enough = [&] {
    if (platform.searched.size() == 1) window.update();
    busy = busy || window.cursor().shape() == Qt::WaitCursor;
    if (busy && paints.count > 0 && pressed_at == 0) {
      // A press that is no input event, as a screen reader makes it.
      pressed_at = platform.searched.size();
      Button(window, "Command4")->click();
    }
    return pressed_at != 0;
  };
  ClickOnScreen(window, "Command3");
  QVERIFY2(pressed_at != 0, "the walk ended before the window was painted with a busy pointer");
  QCOMPARE(window.cursor().shape(), Qt::ArrowCursor);
  // Every pair once, and then Deactivate's walk, once.
  QTRY_COMPARE(platform.files.count("d.off"), std::size_t{1});
  QCOMPARE(platform.searched.size(), std::size_t{kPairs + 1});
  QCOMPARE(platform.searched[kPairs - 1], "p" + std::to_string(kPairs - 1));
  QCOMPARE(platform.searched.back(), std::string("d"));
  QVERIFY(pressed_at < kPairs);
  QCOMPARE(platform.files.size(), std::size_t{kPairs + 1});
  QVERIFY(boxes.shown.empty());
}

QTEST_MAIN(LauncherWindowTest)
#include "launcher_window_test.moc"
