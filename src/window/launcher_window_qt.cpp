#include "launcher_window_qt.h"

#include <xcb/xcb.h>

#include <QAbstractTextDocumentLayout>
#include <QAccessible>
#include <QAccessibleWidget>
#include <QClipboard>
#include <QCoreApplication>
#include <QFont>
#include <QGuiApplication>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QLayout>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QSizePolicy>
#include <QStyle>
#include <QTextDocument>
#include <QtMath>
#include <algorithm>
#include <cstdlib>

#include "display_text.h"

namespace tavrik {

namespace {

// Qt lays out in logical pixels of 1/96 inch and scales them to the
// screen's resolution.
constexpr int kLogicalDpi = 96;
constexpr int Pixels(int twips) { return twips * kLogicalDpi / kTwipsPerInch; }

constexpr int kFontPoints = 8;

// The length of a box's text when it cannot be measured.
constexpr std::size_t kUnmeasuredLength = 1000;

QString FromUtf8(const std::string& text) { return QString::fromUtf8(text.data(), text.size()); }

// Qt's label lays its text out again with QTextOption::WordWrap whenever it
// is resized or restyled, and that lets a word too long for a line (a path)
// run past the box's edge. Each time the label's document is laid out, the
// wrap that also breaks inside such a word is put back.
void WrapInsideLongWords(QLabel& label) {
  QTextDocument* document = label.findChild<QTextDocument*>();
  if (document == nullptr) return;
  const auto wrap = [document] {
    QTextOption option = document->defaultTextOption();
    if (option.wrapMode() != QTextOption::WordWrap) return;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    document->setDefaultTextOption(option);
  };
  QObject::connect(document->documentLayout(), &QAbstractTextDocumentLayout::update, &label, wrap);
  wrap();
}

// The height of `text` laid out as a box's label lays it out, in lines
// `width` pixels long.
int TextHeight(const QFont& font, const QString& text, int width) {
  QTextDocument document;
  document.setDefaultFont(font);
  document.setDocumentMargin(0);
  QTextOption option;
  option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
  document.setDefaultTextOption(option);
  document.setTextWidth(width);
  document.setPlainText(text);
  return qCeil(document.size().height());
}

// The width a box's text wraps at: half the screen, at most 500 pixels, as
// wide as QMessageBox lets a text grow before it wraps it.
int WrapWidth(const QScreen& screen) {
  return std::min(screen.availableGeometry().width() / 2, 500);
}

// A box titled "Brennel" with OK only, whose text can be selected with the
// mouse and copied with Ctrl+C. Paths are shown as plain text (a name that
// looks like markup must appear as it is spelled), whole when the box fits
// on the screen with them and shortened to what fits otherwise.
class Box : public QMessageBox {
 public:
  Box(QWidget& parent, Icon icon, const QString& prefix, const std::string& text,
      const QString& informative)
      : QMessageBox(&parent) {
    setWindowTitle(ApplicationTitle);
    setTextFormat(Qt::PlainText);
    setTextInteractionFlags(Qt::TextSelectableByMouse);
    setIcon(icon);
    setInformativeText(informative);
    setStandardButtons(QMessageBox::Ok);
    setDefaultButton(QMessageBox::Ok);
    button(QMessageBox::Ok)->setIcon(QIcon());  // a plain OK, whatever the theme
    setWindowModality(Qt::ApplicationModal);
    label_ = findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
    if (label_ == nullptr) {  // a QMessageBox built otherwise: a plain bounded text
      setText(prefix + FromUtf8(BoxText(text, kUnmeasuredLength)));
      return;
    }
    label_->setText(QStringLiteral(" "));  // a label makes its document for a text
    WrapInsideLongWords(*label_);
    // QMessageBox widens a box to the longest word of its text; a word too
    // long for the label wraps inside it instead.
    label_->setMaximumWidth(WrapWidth(*parent.screen()));
    label_->installEventFilter(this);
    SetFittingText(*parent.screen(), prefix, text);
  }

 protected:
  // Ctrl+C copies the box's text, as on Windows, but without title or
  // buttons: what a player looks for is the path.
  void keyPressEvent(QKeyEvent* event) override {
    if (!event->matches(QKeySequence::Copy)) return QMessageBox::keyPressEvent(event);
    QString copied = text();
    if (!informativeText().isEmpty()) copied += u'\n' + informativeText();
    QGuiApplication::clipboard()->setText(copied);
  }

  // With the text's label focused (it was clicked), Ctrl+C copies what is
  // selected there, and the whole text when nothing is.
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched == label_ && event->type() == QEvent::KeyPress && !label_->hasSelectedText() &&
        static_cast<QKeyEvent*>(event)->matches(QKeySequence::Copy)) {
      keyPressEvent(static_cast<QKeyEvent*>(event));
      return true;
    }
    return QMessageBox::eventFilter(watched, event);
  }

 private:
  // The longest text that leaves the box on the screen. The text's height
  // is measured with the label's font, at the width it wraps at; the box's
  // other parts are not laid out before it is shown, so the room they take
  // is reckoned generously from the style.
  void SetFittingText(const QScreen& screen, const QString& prefix, const std::string& text) {
    const QStyle& style = *this->style();
    const QFontMetrics metrics(label_->font());
    const int width = label_->maximumWidth();
    const int line = std::max(1, metrics.lineSpacing());
    const int height = std::max(line, screen.availableGeometry().height() -
                                          2 * style.pixelMetric(QStyle::PM_TitleBarHeight) -
                                          button(QMessageBox::Ok)->sizeHint().height() -
                                          6 * style.pixelMetric(QStyle::PM_LayoutTopMargin) -
                                          (informativeText().isEmpty() ? 0 : 3 * line));
    // Lines of average characters.
    const std::size_t estimate =
        std::max(1, width / std::max(1, metrics.averageCharWidth())) * std::max(1, height / line);
    const std::string shown = FittingBoxText(text, estimate, [&](const std::string& candidate) {
      return static_cast<double>(TextHeight(label_->font(), prefix + FromUtf8(candidate), width)) /
             height;
    });
    setText(prefix + FromUtf8(shown));
  }

  QLabel* label_ = nullptr;
};

// Qt on X11 sets aside the input that KeepAliveDuringWalk leaves queued,
// and takes it only when the next X event arrives: without one, a click made
// during the walk would wait for the pointer to move. A property of the
// window's own, written, is that event.
void TakeHeldInput(QWidget& window) {
  // Qt's offscreen platform can also answer as X11, without a connection.
  if (QGuiApplication::platformName() != QLatin1String("xcb")) return;
  auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
  xcb_connection_t* connection = x11 != nullptr ? x11->connection() : nullptr;
  if (connection == nullptr || window.windowHandle() == nullptr) return;
  static const xcb_atom_t walk_ended = [connection] {
    static constexpr char kName[] = "_TAVRIK_BRENNEL_WALK_ENDED";
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 0, sizeof kName - 1, kName), nullptr);
    const xcb_atom_t atom = reply != nullptr ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
    std::free(reply);
    return atom;
  }();
  if (walk_ended == XCB_ATOM_NONE) return;
  xcb_change_property(connection, XCB_PROP_MODE_REPLACE, window.winId(), walk_ended,
                      XCB_ATOM_CARDINAL, 32, 0, nullptr);
  xcb_flush(connection);
}

// A plain QWidget is a "filler" to screen readers, which then may not
// announce that a window opened; the launcher window is a window, whose
// children are its buttons.
QAccessibleInterface* AccessibleWindow(const QString& class_name, QObject* object) {
  if (class_name != QLatin1String(LauncherWindow::staticMetaObject.className())) return nullptr;
  return new QAccessibleWidget(static_cast<QWidget*>(object), QAccessible::Window);
}

}  // namespace

LauncherWindow::LauncherWindow(Platform& platform, MessageBoxRunner run_box, QWidget* parent)
    : QWidget(parent),
      run_box_(std::move(run_box)),
      brennel_(platform, KeepAlive([this] { KeepAliveDuringWalk(); })) {
  // Once: Qt keeps each factory it is given.
  [[maybe_unused]] static const bool accessible_as_window =
      (QAccessible::installFactory(AccessibleWindow), true);
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
  connect(command3_, &QPushButton::clicked, this, &LauncherWindow::Command3_Clicked);
  connect(command4_, &QPushButton::clicked, this, &LauncherWindow::Command4_Clicked);
  brennel_.Form_Load();
}

LauncherWindow::~LauncherWindow() = default;

QPushButton* LauncherWindow::AddButton(const ButtonLayout& layout) {
  auto* button = new QPushButton(QString::fromUtf8(layout.caption), this);
  button->setObjectName(QString::fromUtf8(layout.name));
  button->setGeometry(Pixels(layout.left), Pixels(layout.top), Pixels(layout.width),
                      Pixels(layout.height));
  // Enter must not press a button that merely has been focused before.
  button->setAutoDefault(false);
  button->setDefault(false);
  return button;
}

void LauncherWindow::Command3_Clicked() { RunClickHandler(&Brennel::Command3_Click); }

void LauncherWindow::Command4_Clicked() { RunClickHandler(&Brennel::Command4_Click); }

void LauncherWindow::RunClickHandler(void (Brennel::*handler)()) {
  if (walking_) {
    // A press that is no input event (a screen reader's, say) can reach the
    // buttons while the walk lets the window be painted: it is taken after
    // the walk, as a click made meanwhile is, and never inside it.
    presses_after_walk_.push_back(handler);
    return;
  }
  walking_ = true;
  const auto error = ErrorLeaving([&] { (brennel_.*handler)(); });
  walking_ = false;
  unsetCursor();
  if (kept_alive_) TakeHeldInput(*this);
  kept_alive_ = false;
  if (error) {
    presses_after_walk_.clear();  // the program ends after the report
    ReportUnhandledError(*error);
    return;
  }
  for (const auto press : presses_after_walk_) {
    QMetaObject::invokeMethod(
        this, [this, press] { RunClickHandler(press); }, Qt::QueuedConnection);
  }
  presses_after_walk_.clear();
}

void LauncherWindow::KeepAliveDuringWalk() {
  kept_alive_ = true;
  // The walk has run for a moment: the pointer says it is busy.
  if (cursor().shape() != Qt::WaitCursor) setCursor(Qt::WaitCursor);
  // Exposes, pings and repaints are answered. Mouse, keys and close
  // requests (input to Qt, WM_DELETE_WINDOW included) stay queued in their
  // order, so that they are taken once the walk has ended, as before.
  QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void LauncherWindow::ShowMessage(const std::string& text) {
  unsetCursor();  // the walk waits for the player now
  Box box(*this, QMessageBox::NoIcon, QString(), text, QString());
  run_box_(box);
}

void LauncherWindow::ReportUnhandledError(const Error& error) {
  // The program is ending: a click that is already queued must not start
  // another walk.
  command3_->setEnabled(false);
  command4_->setEnabled(false);
  // A list refused before its walk, or a walk that failed at its first
  // pair, renamed nothing: the note must not tell of renamed files.
  Box box(*this, QMessageBox::Critical, QStringLiteral("Error %1: ").arg(error.Number()),
          error.Description(),
          brennel_.RenamedByLastWalk() == 0
              ? QStringLiteral("Brennel ends now. No file was renamed.")
              : QStringLiteral("Brennel ends now. Files renamed before the error stay renamed."));
  run_box_(box);
  QCoreApplication::exit(kExitAfterError);
}

void LauncherWindow::RunModal(QMessageBox& box) { box.exec(); }

}  // namespace tavrik
