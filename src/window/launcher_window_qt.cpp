#include "launcher_window_qt.h"

#include <QCoreApplication>
#include <QFont>
#include <QIcon>
#include <QMessageBox>
#include <QPushButton>
#include <new>

#include "display_text.h"

namespace tavrik {

namespace {

// Qt lays out in logical pixels of 1/96 inch and scales them to the
// screen's resolution.
constexpr int kLogicalDpi = 96;
constexpr int Pixels(int twips) { return twips * kLogicalDpi / kTwipsPerInch; }

constexpr int kFontPoints = 8;

// The number shown when memory runs out inside a click handler.
constexpr std::int64_t kOutOfMemory = 7;

QString FromUtf8(const std::string& text) { return QString::fromUtf8(text.data(), text.size()); }

// The text of a box, bounded and with visible controls. Qt wraps only
// between words and after a slash, so a long name (or a Windows path: Qt
// does not break after a backslash) would run past the screen's edge:
// zero-width spaces inside long words let them wrap anywhere.
QString ShownText(const std::string& text) {
  constexpr std::size_t kLongestWord = 24;
  return FromUtf8(WithLineBreaks(BoxText(text), kLongestWord, 1, "\u200B"));
}

// A box titled "Brennel" with OK only. Paths are shown as plain text: a
// name that looks like markup must appear as it is spelled.
void PrepareBox(QMessageBox& box, const QString& text, QMessageBox::Icon icon) {
  box.setWindowTitle(ApplicationTitle);
  box.setTextFormat(Qt::PlainText);
  box.setText(text);
  box.setIcon(icon);
  box.setStandardButtons(QMessageBox::Ok);
  box.setDefaultButton(QMessageBox::Ok);
  box.button(QMessageBox::Ok)->setIcon(QIcon());  // a plain OK, whatever the theme
  box.setWindowModality(Qt::ApplicationModal);
}

}  // namespace

BrennelWindow::BrennelWindow(MessageBoxRunner run_box, QWidget* parent)
    : QWidget(parent),
      run_box_(std::move(run_box)),
      platform_([this](const std::string& text) { ShowMessage(text); }),
      brennel_(platform_) {
  setWindowTitle(QString::fromUtf8(kWindowCaption));
  // No layout manager: the buttons keep their place and size when the
  // window is resized.
  resize(Pixels(kClientWidthTwips), Pixels(kClientHeightTwips));
  // The buttons were sized for an 8-point dialog font; at the desktop's
  // usual 9 or 10 points "Deactivate" would touch the button's edges.
  QFont small_font = font();
  small_font.setPointSize(kFontPoints);
  setFont(small_font);
  command3_ = AddButton(kCommand3);
  command4_ = AddButton(kCommand4);
  setTabOrder(command3_, command4_);
  command3_->setFocus();  // takes effect when the window is first activated
  connect(command3_, &QPushButton::clicked, this, &BrennelWindow::Command3_Clicked);
  connect(command4_, &QPushButton::clicked, this, &BrennelWindow::Command4_Clicked);
  brennel_.Form_Load();
}

BrennelWindow::~BrennelWindow() = default;

QPushButton* BrennelWindow::AddButton(const ButtonLayout& layout) {
  auto* button = new QPushButton(QString::fromUtf8(layout.caption), this);
  button->setObjectName(QString::fromUtf8(layout.name));
  button->setGeometry(Pixels(layout.left), Pixels(layout.top), Pixels(layout.width),
                      Pixels(layout.height));
  // Enter must not press a button that merely has been focused before.
  button->setAutoDefault(false);
  button->setDefault(false);
  return button;
}

void BrennelWindow::Command3_Clicked() { RunClickHandler(&Brennel::Command3_Click); }

void BrennelWindow::Command4_Clicked() { RunClickHandler(&Brennel::Command4_Click); }

void BrennelWindow::RunClickHandler(void (Brennel::*handler)()) {
  // Exceptions must not unwind through Qt's event loop: take them here.
  try {
    (brennel_.*handler)();
  } catch (const Error& error) {
    ReportUnhandledError(error);
  } catch (const std::bad_alloc&) {
    ReportUnhandledError(Error(kOutOfMemory, "Out of memory"));
  }
}

void BrennelWindow::ShowMessage(const std::string& text) {
  QMessageBox box(this);
  PrepareBox(box, ShownText(text), QMessageBox::NoIcon);
  run_box_(box);
}

void BrennelWindow::ReportUnhandledError(const Error& error) {
  // The program is ending: a click that is already queued must not start
  // another walk.
  command3_->setEnabled(false);
  command4_->setEnabled(false);
  QMessageBox box(this);
  PrepareBox(box,
             QStringLiteral("Error %1: %2").arg(error.Number()).arg(ShownText(error.Description())),
             QMessageBox::Critical);
  box.setInformativeText(
      QStringLiteral("Brennel ends now. Files renamed before the error stay renamed."));
  run_box_(box);
  QCoreApplication::exit(kExitAfterError);
}

void BrennelWindow::RunModal(QMessageBox& box) { box.exec(); }

}  // namespace tavrik
