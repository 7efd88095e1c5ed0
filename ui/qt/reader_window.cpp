// The Qt window behind the form's port: menus, keys, size, pointer, dialogs, exit.
#include "ui/qt/reader_window.h"

#include <QApplication>
#include <QFile>
#include <QFileDialog>
#include <QIcon>
#include <QKeyEvent>
#include <QMimeData>
#include <QTimer>
#include <QUrl>
#include <QLayout>
#include <QMenuBar>
#include <QMessageBox>
#include <QScreen>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <exception>
#include <memory>
#include <utility>

#include "ui/qt/key_map.h"

#if QUILLSHADE_HAS_XCB
#include <QGuiApplication>
#include <xcb/xcb.h>
#endif

#if QUILLSHADE_HAS_WAYLAND
#include <QGuiApplication>
#include <QWindow>
#include <qpa/qplatformnativeinterface.h>
#include <wayland-client-core.h>
#endif

namespace quillshade {
namespace {

// A copy code unit for code unit: a lone surrogate or a leading U+FEFF stays as it is.
QString ToQString(std::u16string_view text) {
  return QString(reinterpret_cast<const QChar*>(text.data()), static_cast<qsizetype>(text.size()));
}

// Message texts break lines with CR LF; a label breaks them at LF alone and would
// show the CR as a glyph.
QString MessageText(std::u16string_view text) {
  QString shown = ToQString(text);
  shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  return shown;
}

void ShowBox(QWidget* parent, const QString& title, const QString& text) {
  QMessageBox box(QMessageBox::NoIcon, title, text, QMessageBox::Ok, parent);
  box.setTextFormat(Qt::PlainText);  // a story's "<" is text, not markup
  box.exec();
}

#if QUILLSHADE_HAS_XCB
xcb_atom_t InternAtom(xcb_connection_t* connection, std::string_view name) {
  const xcb_intern_atom_cookie_t cookie =
      xcb_intern_atom(connection, 0, static_cast<std::uint16_t>(name.size()), name.data());
  xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(connection, cookie, nullptr);
  if (reply == nullptr) return XCB_ATOM_NONE;
  const xcb_atom_t atom = reply->atom;
  std::free(reply);  // xcb hands out replies allocated with malloc
  return atom;
}
#endif

// Qt shows the application's name in place of an empty title. A blank story line is
// a blank title bar, so on X the names are written empty by hand.
void BlankTitleOnX11(const QWidget& window) {
#if QUILLSHADE_HAS_XCB
  // Other platforms (offscreen among them) may offer the X interface without a window on X.
  if (QGuiApplication::platformName() != QLatin1String("xcb")) return;
  auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
  const WId id = window.internalWinId();
  xcb_connection_t* connection = x11 != nullptr ? x11->connection() : nullptr;
  if (connection == nullptr || id == 0) return;
  const auto xid = static_cast<xcb_window_t>(id);
  xcb_change_property(connection, XCB_PROP_MODE_REPLACE, xid, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 8, 0, nullptr);
  const xcb_atom_t netWmName = InternAtom(connection, "_NET_WM_NAME");
  const xcb_atom_t utf8String = InternAtom(connection, "UTF8_STRING");
  if (netWmName != XCB_ATOM_NONE && utf8String != XCB_ATOM_NONE) {
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, xid, netWmName, utf8String, 8, 0, nullptr);
  }
  xcb_flush(connection);
#else
  (void)window;
#endif
}

// A window that Qt has shown but X holds unmapped, without the state a window manager
// gives the windows it manages, had its map request taken by a window manager that was
// starting at that moment and lost it. Mapping it again asks the one that runs now.
// Answers whether the window is mapped (or not on X at all), so that watching can stop.
bool MapAgainIfLost(const QWidget& window) {
#if QUILLSHADE_HAS_XCB
  if (QGuiApplication::platformName() != QLatin1String("xcb")) return true;
  auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
  xcb_connection_t* connection = x11 != nullptr ? x11->connection() : nullptr;
  const WId id = window.internalWinId();
  if (connection == nullptr || id == 0) return true;
  const auto xid = static_cast<xcb_window_t>(id);
  xcb_get_window_attributes_reply_t* attributes =
      xcb_get_window_attributes_reply(connection, xcb_get_window_attributes(connection, xid), nullptr);
  if (attributes == nullptr) return true;
  const bool mapped = attributes->map_state != XCB_MAP_STATE_UNMAPPED;
  std::free(attributes);
  if (mapped) return true;
  const xcb_atom_t wmState = InternAtom(connection, "WM_STATE");
  xcb_get_property_reply_t* state = xcb_get_property_reply(
      connection, xcb_get_property(connection, 0, xid, wmState, XCB_ATOM_ANY, 0, 1), nullptr);
  const bool managed = state != nullptr && state->type != XCB_ATOM_NONE;
  std::free(state);
  if (!managed) {
    xcb_map_window(connection, xid);
    xcb_flush(connection);
  }
  return false;
#else
  (void)window;
  return true;
#endif
}

// The same on Wayland, where Qt sends the application's name for an empty title: the
// window's toplevel is told the empty title itself, straight after Qt's.
void BlankTitleOnWayland(const QWidget& window) {
#if QUILLSHADE_HAS_WAYLAND
  if (!QGuiApplication::platformName().startsWith(QLatin1String("wayland"))) return;
  QPlatformNativeInterface* native = QGuiApplication::platformNativeInterface();
  QWindow* handle = window.windowHandle();
  if (native == nullptr || handle == nullptr) return;
  auto* toplevel = static_cast<wl_proxy*>(native->nativeResourceForWindow("xdg_toplevel", handle));
  auto* display = static_cast<wl_display*>(native->nativeResourceForIntegration("wl_display"));
  if (toplevel == nullptr || display == nullptr) return;
  constexpr std::uint32_t kSetTitle = 2;  // xdg_toplevel's set_title request
  wl_proxy_marshal(toplevel, kSetTitle, "");
  wl_display_flush(display);
#else
  (void)window;
#endif
}

}  // namespace

void ConfigureOpenDialog(QFileDialog& dialog, const OpenDialogSettings& settings) {
  dialog.setWindowTitle(ToQString(settings.title));
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setFileMode(QFileDialog::AnyFile);
  // Qt reads a filter's patterns from the parentheses at the end of its text; the
  // reader's description already ends with them, so it is shown exactly as written.
  QString filter = ToQString(settings.filterDescription);
  const QString pattern = ToQString(settings.filterPattern);
  if (!filter.endsWith(QLatin1Char('(') + pattern + QLatin1Char(')'))) filter += QStringLiteral(" (%1)").arg(pattern);
  const QStringList filters{filter};
  dialog.setNameFilters(filters);
  if (settings.filterIndex >= 1 && settings.filterIndex <= filters.size()) {
    dialog.selectNameFilter(filters.at(settings.filterIndex - 1));
  }
  dialog.selectFile(ToQString(settings.fileName));
  // The dialog has no read-only box to hide, and no folder is set: it opens in the
  // working directory.
}

std::filesystem::path PathOfDialogAnswer(const QString& name) {
  const QByteArray bytes = QFile::encodeName(name);
  return std::filesystem::path(std::string(bytes.constData(), static_cast<std::size_t>(bytes.size())));
}

std::optional<std::filesystem::path> FirstDroppedFile(const QMimeData& data) {
  const QList<QUrl> urls = data.urls();
  if (urls.isEmpty() || !urls.front().isLocalFile()) return std::nullopt;
  return PathOfDialogAnswer(urls.front().toLocalFile());
}

ReaderWindow::ReaderWindow(const CodePage& storyCodePage, std::function<void()> endProgram)
    : form_(*this, storyCodePage), endProgram_(std::move(endProgram)) {
  setWindowIcon(QIcon(QStringLiteral(":/quillshade/quillshade.ico")));
  // Without this the menu bar would keep the window taller than its title bar.
  layout()->setSizeConstraint(QLayout::SetNoConstraint);
  setMinimumSize(0, 0);
  setAcceptDrops(true);

  QMenu* file = menuBar()->addMenu(ToQString(u"ﾌｧｲﾙ(&F)"));
  file->setObjectName(QStringLiteral("mnuFile"));
  QAction* open = file->addAction(ToQString(u"開く(&O)"));
  open->setObjectName(QStringLiteral("mnuFileOpen"));
  QAction* close = file->addAction(ToQString(u"終了(&X)"));
  close->setObjectName(QStringLiteral("mnuFileClose"));
  QMenu* help = menuBar()->addMenu(ToQString(u"ﾍﾙﾌﾟ(&H)"));
  help->setObjectName(QStringLiteral("mnuHelp"));
  QAction* version = help->addAction(ToQString(u"ﾊﾞｰｼﾞｮﾝ情報(&V)"));
  version->setObjectName(QStringLiteral("mnuHelpVer"));
  // No action has a shortcut of its own, only its access key, and each stays in its menu
  // (no platform may move Exit or Version elsewhere by its text).
  for (QAction* action : {open, close, version}) action->setMenuRole(QAction::NoRole);

  connect(open, &QAction::triggered, this, [this] { Run(mnuFileOpen_Click); });
  connect(close, &QAction::triggered, this, [this] { Run(mnuFileClose_Click); });
  connect(version, &QAction::triggered, this, [this] { Run(mnuHelpVer_Click); });

  Run(Form_Load);
}

template <class Handler>
void ReaderWindow::Run(Handler handler) {
  if (ended_) return;
  // An exception must not unwind through Qt's event delivery; the form's guard stops it.
  quillshade::RunHandler(form_, handler);
}

void ReaderWindow::keyPressEvent(QKeyEvent* event) {
  int keyCode = VirtualKeyOfQtKey(event->key(), event->modifiers());
  if (keyCode == 0 && !event->modifiers().testFlag(Qt::KeypadModifier) &&
      QGuiApplication::platformName() == QLatin1String("xcb"))
    keyCode = VirtualKeyOfX11DigitKey(event->nativeScanCode());
  if (keyCode == 0) {
    QMainWindow::keyPressEvent(event);
    return;
  }
  Run([keyCode](Form& form) { Form_KeyDown(form, keyCode); });
}

void ReaderWindow::OpenStoryAt(const std::filesystem::path& path) {
  Run([&path](Form& form) { OpenStory(form, path); });
}

void ReaderWindow::dragEnterEvent(QDragEnterEvent* event) {
  if (FirstDroppedFile(*event->mimeData())) event->acceptProposedAction();
}

void ReaderWindow::dropEvent(QDropEvent* event) {
  const std::optional<std::filesystem::path> path = FirstDroppedFile(*event->mimeData());
  if (!path) return;
  event->acceptProposedAction();
  // The load waits until the drop is over, so that a failure box does not keep the
  // program the file came from waiting.
  QTimer::singleShot(0, this, [this, story = *path] { OpenStoryAt(story); });
}

bool ReaderWindow::event(QEvent* event) {
  const bool handled = QMainWindow::event(event);
  // The window manager's frame is known only once the window is shown; set the outer
  // size again then, once, so a later resize by hand is left alone.
  const QEvent::Type type = event->type();
  if (type == QEvent::Show && mapWatch_ == nullptr) WatchUntilMapped();
  if (!fittedToFrame_ && isVisible() && (type == QEvent::Move || type == QEvent::Resize || type == QEvent::Show) &&
      frameGeometry().size() != geometry().size()) {
    fittedToFrame_ = true;
    ApplyOuterSize();
  }
  return handled;
}

void ReaderWindow::WatchUntilMapped() {
  // Until X has mapped the window once: a window manager starting at the same moment
  // may lose the first map request. Minimised, hidden or ended, there is nothing to do.
  constexpr int kEveryMs = 250;
  constexpr int kForMs = 60'000;
  mapWatch_ = new QTimer(this);
  auto ticks = std::make_shared<int>(0);
  connect(mapWatch_, &QTimer::timeout, this, [this, ticks] {
    const bool done = ++*ticks > kForMs / kEveryMs || ended_ || !isVisible() || isMinimized();
    if (done || MapAgainIfLost(*this)) mapWatch_->stop();
  });
  mapWatch_->start(kEveryMs);
}

void ReaderWindow::SetCaption(std::u16string_view caption) {
  // Qt reads "[*]" in a title as the place of its modified mark and drops it; doubled,
  // it is shown once, so a story line's own "[*]" stays as written.
  QString title = ToQString(caption);
  title.replace(QStringLiteral("[*]"), QStringLiteral("[*][*]"));
  setWindowTitle(title);
  if (caption.empty()) {
    BlankTitleOnX11(*this);
    BlankTitleOnWayland(*this);
  }
  // While a load keeps the thread busy, the notice must reach the screen first.
  if (busy_) QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void ReaderWindow::SetBusyPointer(bool busy) {
  if (busy == busy_) return;
  busy_ = busy;
  if (busy) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    // The pointer changes only when the window system hears of it; input that arrives
    // meanwhile waits for the load to end.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
  } else {
    QApplication::restoreOverrideCursor();
  }
}

int ReaderWindow::PixelsOfTwips(double twips) const {
  // Logical DPI is the user's chosen scale, what twips are measured against elsewhere.
  const QScreen* shownOn = screen();
  const double dpi = shownOn != nullptr ? shownOn->logicalDotsPerInchX() : 96.0;
  return TwipsToPixels(twips, dpi);
}

void ReaderWindow::ApplyOuterSize() {
  const QSize frame = frameGeometry().size() - geometry().size();
  // X has no window of height 0; the window manager keeps its title bar in any case.
  const int width = std::max(1, PixelsOfTwips(widthTwips_) - frame.width());
  const int height = std::max(1, PixelsOfTwips(heightTwips_) - frame.height());
  resize(width, height);
}

void ReaderWindow::SetWidthTwips(double width) {
  widthTwips_ = width;
  ApplyOuterSize();
}

void ReaderWindow::SetHeightTwips(double height) {
  heightTwips_ = height;
  ApplyOuterSize();
}

bool ReaderWindow::IsMinimized() const { return isMinimized(); }

void ReaderWindow::Minimize() { showMinimized(); }

void ReaderWindow::ShowMessage(std::u16string_view text, std::optional<std::u16string_view> title) {
  ShowBox(this, ToQString(title.value_or(kApplicationTitle)), MessageText(text));
}

std::optional<std::filesystem::path> ReaderWindow::ShowOpenDialog(const OpenDialogSettings& settings) {
  QFileDialog dialog(this);
  ConfigureOpenDialog(dialog, settings);
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  // An accepted dialog with no name is a name that cannot be opened, not a cancel.
  return PathOfDialogAnswer(dialog.selectedFiles().value(0));
}

void ReaderWindow::EndProgram() {
  ended_ = true;
  hide();
  if (endProgram_) {
    endProgram_();
  } else {
    QCoreApplication::exit(0);
  }
}

}  // namespace quillshade
