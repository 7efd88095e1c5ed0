// The Qt reader driven through its real widgets: what Qt's keys, menus, dialogs, boxes,
// pointer and drops become for the form. The form's own rules are tested in tests/ui.
#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QMenuBar>
#include <QMimeData>
#include <QMessageBox>
#include <QScreen>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrl>
#include <QWindow>
#include <QtTest>

#include <algorithm>
#include <cmath>
#include <functional>
#include <memory>
#include <stdexcept>
#include <vector>

#include "story/code_page.h"
#include "ui/qt/key_map.h"
#include "ui/qt/reader_window.h"

namespace quillshade {
namespace {

// The lines of tests/ui/qt/fixtures/moon.txt that the tests step through.
const QString kLine1 = QString::fromUtf8("月の光が窓辺に差し込む。");
const QString kLine2 = QString::fromUtf8("遠くで鐘が鳴っている。");
const QString kDoorChoice = QString::fromUtf8("扉を開けますか？");

QString Sample() { return QStringLiteral(QUILLSHADE_QT_FIXTURES "/moon.qsd"); }

// Answers the modal windows that open, in order, as a person would: each gets the next
// answer, and any window beyond them is closed and counted as unexpected. Polling keeps
// a window that never comes from hanging the test.
class Modals {
 public:
  using Answer = std::function<void(QWidget*)>;
  explicit Modals(std::vector<Answer> answers = {}) : answers_(std::move(answers)) {
    live().push_back(this);
    QObject::connect(&timer_, &QTimer::timeout, [this] { Poll(); });
    timer_.start(10);
  }
  ~Modals() { live().erase(std::find(live().begin(), live().end(), this)); }
  Modals(const Modals&) = delete;
  Modals& operator=(const Modals&) = delete;
  int answered() const { return answered_; }
  int unexpected() const { return unexpected_; }

 private:
  // Only the newest set answers, so a test's own answers go before the fixture's guard.
  static std::vector<Modals*>& live() {
    static std::vector<Modals*> sets;
    return sets;
  }

  void Poll() {
    if (live().back() != this) return;
    QWidget* modal = QApplication::activeModalWidget();
    if (modal == nullptr || !modal->isVisible()) return;
    if (static_cast<std::size_t>(answered_) < answers_.size()) {
      answers_[static_cast<std::size_t>(answered_++)](modal);
    } else {
      ++unexpected_;
      if (auto* dialog = qobject_cast<QDialog*>(modal)) {
        dialog->reject();
      } else {
        modal->close();
      }
    }
  }

  std::vector<Answer> answers_;
  QTimer timer_;
  int answered_ = 0;
  int unexpected_ = 0;
};

// What a message box showed, read off the real widget before its OK is clicked.
struct SeenBox {
  QString title;
  QString text;
  QMessageBox::Icon icon = QMessageBox::Information;
  int buttons = 0;
};

std::function<void(QWidget*)> ClickOk(SeenBox& seen) {
  return [&seen](QWidget* widget) {
    auto* box = qobject_cast<QMessageBox*>(widget);
    QVERIFY(box != nullptr);
    seen = {box->windowTitle(), box->text(), box->icon(), static_cast<int>(box->buttons().size())};
    QAbstractButton* ok = box->button(QMessageBox::Ok);
    QVERIFY(ok != nullptr);
    QTest::mouseClick(ok, Qt::LeftButton);
  };
}

// Picks `path` in the open dialog, or cancels it when `path` is empty.
std::function<void(QWidget*)> AnswerDialog(const QString& path) {
  return [path](QWidget* widget) {
    auto* dialog = qobject_cast<QFileDialog*>(widget);
    QVERIFY(dialog != nullptr);
    if (path.isEmpty()) {
      dialog->reject();
    } else {
      // Typed into the name box, as a person would; selectFile() leaves the box alone
      // while it has the focus.
      if (auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))) {
        name->setText(path);
      } else {
        dialog->selectFile(path);
      }
      static_cast<QDialog*>(dialog)->accept();  // the dialog's own checks, as the Open button
    }
  };
}

}  // namespace

class ReaderWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void init();
  void cleanup();

  void startsAsTitleBarWithMenus();
  void keysMapToWindowsCodes_data();
  void keysMapToWindowsCodes();
  void digitRowKeysByPosition();
  void downAtStartOpensDialogWithReaderSettings();
  void loadShowsBusyThenFirstLine();
  void keysReachTheForm();
  void spaceMinimises();
  void failureBoxIsTitledWithOkOnly();
  void unicodePathLoads();
  void versionBoxShowsTheVersion();
  void exitEndsAtOnce();
  void failingHandlerIsReported();
  void captionIsTheLineWhole();
  void droppedFileLoadsTheFirstOnly();

 private:
  void Press(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) { QTest::keyClick(window_.get(), key, modifiers); }
  void Trigger(const char* actionName) {
    auto* action = window_->findChild<QAction*>(QString::fromLatin1(actionName));
    QVERIFY2(action != nullptr, actionName);
    action->trigger();
  }
  // Opens `path` through Down at start or File > Open, answering the real dialog; a
  // message box that follows is answered by `then`, and no other window may open.
  void Open(const QString& path, bool fromMenu = false, Modals::Answer then = {}) {
    std::vector<Modals::Answer> answers{AnswerDialog(path)};
    if (then) answers.push_back(then);
    Modals modals(answers);
    if (fromMenu) {
      Trigger("mnuFileOpen");
    } else {
      Press(Qt::Key_Down);
    }
    QCOMPARE(modals.answered(), static_cast<int>(answers.size()));
    QCOMPARE(modals.unexpected(), 0);
  }
  // The title as the window system is told it.
  QString Caption() const { return window_->windowHandle()->title(); }

  std::unique_ptr<Modals> guard_;  // closes any window a test did not expect
  std::unique_ptr<ReaderWindow> window_;
  int endCalls_ = 0;
};

void ReaderWindowTest::init() {
  guard_ = std::make_unique<Modals>();
  endCalls_ = 0;
  window_ = std::make_unique<ReaderWindow>(Cp932CodePage(), [this] { ++endCalls_; });
  window_->show();
  QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
}

void ReaderWindowTest::cleanup() {
  QCOMPARE(guard_->unexpected(), 0);
  window_.reset();
  guard_.reset();
  QCOMPARE(QApplication::overrideCursor(), nullptr);
}

void ReaderWindowTest::startsAsTitleBarWithMenus() {
  QCOMPARE(Caption(), QStringLiteral("Quillshade Ver.2.0"));

  QStringList menus;
  QStringList items;
  for (QAction* menu : window_->menuBar()->actions()) {
    menus << menu->text();
    for (QAction* item : menu->menu()->actions()) {
      items << item->text();
      QVERIFY2(item->shortcuts().isEmpty(), qPrintable(item->text()));
    }
  }
  QCOMPARE(menus, QStringList({QString::fromUtf8("ﾌｧｲﾙ(&F)"), QString::fromUtf8("ﾍﾙﾌﾟ(&H)")}));
  QCOMPARE(items, QStringList({QString::fromUtf8("開く(&O)"), QString::fromUtf8("終了(&X)"),
                               QString::fromUtf8("ﾊﾞｰｼﾞｮﾝ情報(&V)")}));

  // 6750 twips are 4.6875 inches at whatever DPI the screen has.
  const double dpi = window_->screen()->logicalDotsPerInchX();
  QCOMPARE(window_->frameGeometry().width(), static_cast<int>(std::lround(4.6875 * dpi)));
  // Height 0 is raised to the least a window can have: the menu bar does not hold it up.
  QVERIFY2(window_->height() <= 1, qPrintable(QString::number(window_->height())));
}

void ReaderWindowTest::keysMapToWindowsCodes_data() {
  QTest::addColumn<int>("key");
  QTest::addColumn<bool>("keypad");
  QTest::addColumn<int>("code");
  QTest::newRow("Down") << int(Qt::Key_Down) << false << 40;
  QTest::newRow("keypad Down without Num Lock") << int(Qt::Key_Down) << true << 40;
  QTest::newRow("Space") << int(Qt::Key_Space) << false << 32;
  QTest::newRow("1") << int(Qt::Key_1) << false << 49;
  QTest::newRow("6") << int(Qt::Key_6) << false << 54;
  QTest::newRow("keypad 5") << int(Qt::Key_5) << true << 101;
  QTest::newRow("keypad 0") << int(Qt::Key_0) << true << 96;
  QTest::newRow("J") << int(Qt::Key_J) << false << 74;
  QTest::newRow("a key with no code") << int(Qt::Key_Exclam) << false << 0;
}

void ReaderWindowTest::keysMapToWindowsCodes() {
  QFETCH(int, key);
  QFETCH(bool, keypad);
  QFETCH(int, code);
  QCOMPARE(VirtualKeyOfQtKey(key, keypad ? Qt::KeypadModifier : Qt::NoModifier), code);
}

void ReaderWindowTest::digitRowKeysByPosition() {
  QCOMPARE(VirtualKeyOfX11DigitKey(10), 49);  // 1, whatever Shift or the layout types
  QCOMPARE(VirtualKeyOfX11DigitKey(14), 53);  // 5
  QCOMPARE(VirtualKeyOfX11DigitKey(19), 48);  // 0
  QCOMPARE(VirtualKeyOfX11DigitKey(9), 0);    // Esc
  QCOMPARE(VirtualKeyOfX11DigitKey(20), 0);   // the key after 0
  QCOMPARE(VirtualKeyOfX11DigitKey(87), 0);   // keypad 1
}

void ReaderWindowTest::downAtStartOpensDialogWithReaderSettings() {
  QString title, nameFilter, typedName, folder;
  QStringList filters;
  QFileDialog::FileMode mode = QFileDialog::ExistingFile;
  QFileDialog::AcceptMode accept = QFileDialog::AcceptSave;
  Modals dialog({[&](QWidget* widget) {
    auto* open = qobject_cast<QFileDialog*>(widget);
    QVERIFY(open != nullptr);
    title = open->windowTitle();
    filters = open->nameFilters();
    nameFilter = open->selectedNameFilter();
    mode = open->fileMode();
    accept = open->acceptMode();
    folder = open->directory().absolutePath();
    if (auto* name = open->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))) typedName = name->text();
    open->reject();
  }});
  Press(Qt::Key_Down);
  QCOMPARE(dialog.answered(), 1);
  QCOMPARE(title, QString::fromUtf8("ファイルを開く"));
  QCOMPARE(filters, QStringList{QString::fromUtf8("Quillshadeファイル(*.qsd)")});
  QCOMPARE(nameFilter, filters.value(0));
  QCOMPARE(mode, QFileDialog::AnyFile);  // a typed name need not exist
  QCOMPARE(accept, QFileDialog::AcceptOpen);
  QCOMPARE(typedName, QString());
  QCOMPARE(folder, QDir::currentPath());  // no folder of its own: where the reader was started
  QCOMPARE(Caption(), QStringLiteral("Quillshade Ver.2.0"));  // cancelled: no story, no box
}

void ReaderWindowTest::loadShowsBusyThenFirstLine() {
  // Samples taken whenever the event loop turns, the load's own included.
  struct Moment {
    bool waitCursor;
    QString caption;
  };
  std::vector<Moment> samples;
  QTimer probe;
  QObject::connect(&probe, &QTimer::timeout, [&] {
    const QCursor* cursor = QApplication::overrideCursor();
    samples.push_back({cursor != nullptr && cursor->shape() == Qt::WaitCursor, Caption()});
  });
  Modals dialog({[&probe](QWidget* widget) {
    probe.start(0);
    AnswerDialog(Sample())(widget);
  }});
  Press(Qt::Key_Down);
  probe.stop();
  QCOMPARE(dialog.answered(), 1);
  const bool sawNotice = std::any_of(samples.begin(), samples.end(), [](const Moment& s) {
    return s.waitCursor && s.caption == QStringLiteral("Now Loading...");
  });
  QVERIFY2(sawNotice, "the hourglass and the loading notice never reached the screen");
  QCOMPARE(QApplication::overrideCursor(), nullptr);
  QCOMPARE(Caption(), kLine1);
}

void ReaderWindowTest::keysReachTheForm() {
  Open(Sample());
  Press(Qt::Key_Down);
  QCOMPARE(Caption(), kLine2);
  Press(Qt::Key_Down);
  QCOMPARE(Caption(), kDoorChoice);
  Press(Qt::Key_2, Qt::KeypadModifier);
  QCOMPARE(Caption(), QString::fromUtf8("しばらく待つと、鐘の音がやんだ。"));
}

void ReaderWindowTest::spaceMinimises() {
  Press(Qt::Key_Space);
  QVERIFY(window_->isMinimized());
  window_->showMaximized();
  Press(Qt::Key_Space);
  QVERIFY(window_->isMinimized());
}

void ReaderWindowTest::failureBoxIsTitledWithOkOnly() {
  QTemporaryDir dir;
  SeenBox seen;
  Open(dir.filePath(QStringLiteral("missing.qsd")), true, ClickOk(seen));
  QCOMPARE(seen.title, QString::fromUtf8("エラー"));
  QCOMPARE(seen.text, QString::fromUtf8("ファイルが開けません"));
  QCOMPARE(seen.icon, QMessageBox::NoIcon);
  QCOMPARE(seen.buttons, 1);
  QCOMPARE(QApplication::overrideCursor(), nullptr);
}

void ReaderWindowTest::unicodePathLoads() {
  QTemporaryDir dir;
  const QString path = dir.filePath(QString::fromUtf8("月夜 の 物語.qsd"));
  QVERIFY(QFile::copy(Sample(), path));
  Open(path);
  QCOMPARE(Caption(), kLine1);
}

void ReaderWindowTest::versionBoxShowsTheVersion() {
  SeenBox seen;
  Modals box({ClickOk(seen)});
  Trigger("mnuHelpVer");
  QCOMPARE(box.answered(), 1);
  QCOMPARE(seen.title, QStringLiteral("Quillshade"));
  QCOMPARE(seen.text.split(QLatin1Char('\n')),
           QStringList({QStringLiteral("Quillshade Ver.2.01"), QString(), QStringLiteral("(C) 2026 The Quillshade developers")}));
  QCOMPARE(seen.icon, QMessageBox::NoIcon);
  QCOMPARE(seen.buttons, 1);
}

void ReaderWindowTest::exitEndsAtOnce() {
  Open(Sample());
  Modals noQuestion;
  Trigger("mnuFileClose");
  QCOMPARE(endCalls_, 1);
  QVERIFY(!window_->isVisible());
  // Nothing of the reader runs after Exit, not even a key already on its way.
  Press(Qt::Key_Down);
  QTest::qWait(50);
  QCOMPARE(noQuestion.unexpected(), 0);
  QCOMPARE(Caption(), kLine1);
}

void ReaderWindowTest::failingHandlerIsReported() {
  // The program's end is the one call the tests can make fail; the guard around every
  // handler is the same for all of them.
  ReaderWindow window(Cp932CodePage(), [] { throw std::runtime_error("the event loop is gone"); });
  SeenBox seen;
  Modals box({ClickOk(seen)});
  window.findChild<QAction*>(QStringLiteral("mnuFileClose"))->trigger();
  QCOMPARE(box.answered(), 1);
  QCOMPARE(seen.title, QStringLiteral("Quillshade"));
  QVERIFY2(seen.text.endsWith(QStringLiteral("\n\nthe event loop is gone")), qPrintable(seen.text));
}

void ReaderWindowTest::captionIsTheLineWhole() {
  for (const std::u16string_view line : {u"a [*] b", u"[*][*]", u"[[*]*]", u"[*"}) {
    window_->SetCaption(line);
    QCOMPARE(Caption(), QString::fromUtf16(line.data(), static_cast<qsizetype>(line.size())));
  }
}

void ReaderWindowTest::droppedFileLoadsTheFirstOnly() {
  QTemporaryDir dir;
  const QString path = dir.filePath(QString::fromUtf8("落とした 物語.qsd"));
  QVERIFY(QFile::copy(Sample(), path));
  QMimeData files;
  files.setUrls({QUrl::fromLocalFile(path), QUrl::fromLocalFile(dir.filePath(QStringLiteral("missing.qsd")))});
  QMimeData text;
  text.setText(path);
  const QPoint at(1, 1);
  QDragEnterEvent enterWithText(at, Qt::CopyAction, &text, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(window_.get(), &enterWithText);
  QVERIFY(!enterWithText.isAccepted());
  QDragEnterEvent enter(at, Qt::CopyAction, &files, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(window_.get(), &enter);
  QVERIFY(enter.isAccepted());
  QDropEvent drop(at, Qt::CopyAction, &files, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(window_.get(), &drop);
  QTRY_COMPARE(Caption(), kLine1);
}

}  // namespace quillshade

QTEST_MAIN(quillshade::ReaderWindowTest)
#include "reader_window_test.moc"
