// The window Fyldra3: make-up, start, inspection run, Open dialog and drops.
#include <QAccessible>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFileSystemModel>
#include <QFontInfo>
#include <QLabel>
#include <QMimeData>
#include <QUrl>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QProcess>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextLayout>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <memory>

#include "dialog_answers.h"
#include "fyldra3/fyldra3_window.h"
#include "fyldra3/process_setup.h"
#include "fyldra3/program.h"

namespace {

const QString kData = QStringLiteral(FYLDRA3_TEST_DATA);
const QString kProgress = QStringLiteral("ファイルの調査中．．．");

// The report as the result box holds it (Qt keeps CR LF as one paragraph break).
QString Report(const QString& path, const QString& message) { return path + QStringLiteral(" は\n") + message; }

// What the window shows at one moment.
struct Seen {
  QString hint;
  QString result;
  bool waitCursor = false;
  bool visible = false;
};

Seen Look(const Fyldra3& w) {
  return {w.Label->text(), w.Result->toPlainText(),
          w.testAttribute(Qt::WA_SetCursor) && w.cursor().shape() == Qt::WaitCursor, w.isVisible()};
}

// Drags data over the window and drops it, as a file manager would; whether
// the enter, the move and the drop were accepted.
struct DragResult {
  bool enter = false, move = false, drop = false;
};

DragResult DragAndDrop(Fyldra3& w, const QMimeData& data) {
  const QPoint at = w.Result->geometry().center() + w.centralWidget()->pos();
  DragResult r;
  QDragEnterEvent enter(at, Qt::CopyAction | Qt::MoveAction | Qt::LinkAction, &data, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(&w, &enter);
  r.enter = enter.isAccepted();
  QDragMoveEvent move(at + QPoint(3, 2), Qt::CopyAction | Qt::MoveAction | Qt::LinkAction, &data, Qt::LeftButton,
                      Qt::NoModifier);
  QCoreApplication::sendEvent(&w, &move);
  r.move = move.isAccepted();
  QDropEvent drop(QPointF(at + QPoint(3, 2)), Qt::CopyAction | Qt::MoveAction | Qt::LinkAction, &data,
                  Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(&w, &drop);
  r.drop = drop.isAccepted();
  return r;
}

std::unique_ptr<QMimeData> Urls(const QList<QUrl>& urls) {
  auto data = std::make_unique<QMimeData>();
  data->setUrls(urls);
  return data;
}

// Every text the result box shows, in order.
QStringList* RecordTexts(Fyldra3& w) {
  auto* texts = new QStringList;
  QObject::connect(w.Result, &QPlainTextEdit::textChanged, w.Result, [texts, &w] {
    const QString t = w.Result->toPlainText();
    if (texts->isEmpty() || texts->back() != t) texts->append(t);
  });
  QObject::connect(w.Result, &QObject::destroyed, [texts] { delete texts; });
  return texts;
}

bool DefaultCursor(const Fyldra3& w) { return w.cursor().shape() == Qt::ArrowCursor; }

// Counts the classifier's system calls; can refuse to open.
class CountingAccess : public fyldra3::FileAccess {
 public:
  int Stat(const char* path, struct stat* st) noexcept override {
    ++calls;
    return FileAccess::Stat(path, st);
  }
  int Open(const char* path) noexcept override {
    ++calls;
    return refuseOpen ? -EACCES : FileAccess::Open(path);
  }
  int calls = 0;
  bool refuseOpen = false;
};

}  // namespace

class WindowTest : public QObject {
  Q_OBJECT

 public:
  bool japaneseTexts = false;  // what SetUpApplication returned

 private slots:
  void initTestCase() {
    QVERIFY2(japaneseTexts, "qtbase_ja.qm (qt6-translations-l10n) is missing");
  }

  void init() {
    access_ = std::make_unique<CountingAccess>();
    window_ = std::make_unique<Fyldra3>(*access_);
    answers_ = std::make_unique<DialogAnswers>(*window_);
  }

  void cleanup() {
    QCOMPARE(answers_->unexpected, 0);
    QCOMPARE(answers_->timedOut, 0);
    answers_.reset();
    window_.reset();
  }

  void makeUp() {
    Fyldra3& w = *window_;
    QCOMPARE(w.metaObject()->className(), "Fyldra3");
    QVERIFY(qobject_cast<QMainWindow*>(&w));
    QCOMPARE(w.windowTitle(), QStringLiteral("Fyldra3.0"));
    const Qt::WindowFlags flags = w.windowFlags();
    QVERIFY(flags & Qt::CustomizeWindowHint);
    QVERIFY(flags & Qt::WindowMinimizeButtonHint);
    QVERIFY(flags & Qt::WindowCloseButtonHint);
    QVERIFY(!(flags & Qt::WindowMaximizeButtonHint));
    QVERIFY(!w.isVisible());

    QCOMPARE(w.Label->objectName(), QStringLiteral("Label"));
    QCOMPARE(w.Result->objectName(), QStringLiteral("Result"));
    QCOMPARE(w.Menu->objectName(), QStringLiteral("Menu"));
    QCOMPARE(w.mnuOpen->objectName(), QStringLiteral("mnuOpen"));
    QCOMPARE(w.CommonDialog1->objectName(), QStringLiteral("CommonDialog1"));
    QCOMPARE(w.CommonDialog1->parent(), &w);
    QVERIFY(w.CommonDialog1->testOption(QFileDialog::DontUseNativeDialog));

    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QCOMPARE(w.centralWidget()->size(), QSize(470, 120));
    QCOMPARE(w.centralWidget()->y(), w.menuBar()->geometry().bottom() + 1);
    QCOMPARE(w.Label->geometry(), QRect(0, 0, 465, 17));
    QCOMPARE(w.Result->geometry(), QRect(0, 24, 465, 89));
    // The frame can be resized; the parts keep their place and size.
    w.resize(700, 400);
    QTRY_COMPARE(w.centralWidget()->width(), 700);
    QCOMPARE(w.Label->geometry(), QRect(0, 0, 465, 17));
    QCOMPARE(w.Result->geometry(), QRect(0, 24, 465, 89));

    // Result box: multi-line, no wrapping, horizontal scroll bar only, editable, empty.
    QCOMPARE(w.Result->lineWrapMode(), QPlainTextEdit::NoWrap);
    QCOMPARE(w.Result->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    QCOMPARE(w.Result->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    QVERIFY(!w.Result->isReadOnly());
    QVERIFY(w.Result->toPlainText().isEmpty());
    QVERIFY(w.Result->hasFocus() || !w.isActiveWindow());
    QVERIFY(w.Result->focusPolicy() & Qt::TabFocus);
    QCOMPARE(w.Label->focusPolicy(), Qt::NoFocus);
    QCOMPARE(w.Result->font().families(),
             QStringList({QStringLiteral("ＭＳ Ｐゴシック"), QStringLiteral("MS PGothic"), QStringLiteral("IPAPGothic"),
                          QStringLiteral("Noto Sans CJK JP")}));
    QCOMPARE(w.Result->font().pointSize(), 12);
    QVERIFY(w.Result->font().bold());
    const QString used = QFontInfo(w.Result->font()).family();
    QVERIFY2(QStringList({QStringLiteral("ＭＳ Ｐゴシック"), QStringLiteral("MS PGothic"), QStringLiteral("IPAPGothic"),
                          QStringLiteral("Noto Sans CJK JP")})
                 .contains(used),
             qPrintable(QStringLiteral("the result box uses ") + used));

    // Menu bar: "ファイル" with the one item "開く"; no shortcut keys, no mnemonics.
    const QList<QAction*> bar = w.menuBar()->actions();
    QCOMPARE(bar.size(), 1);
    QCOMPARE(bar.front()->menu(), w.Menu);
    QCOMPARE(w.Menu->title(), QStringLiteral("ファイル"));
    QCOMPARE(w.Menu->actions().size(), 1);
    QCOMPARE(w.Menu->actions().front(), w.mnuOpen);
    QCOMPARE(w.mnuOpen->text(), QStringLiteral("開く"));
    QVERIFY(w.mnuOpen->shortcuts().isEmpty());
    QVERIFY(w.createPopupMenu() == nullptr);

    // Accessibility: the result box has a Japanese name; the hint line reads its own text.
    QVERIFY(!w.Result->accessibleName().isEmpty());
    QVERIFY(w.Result->accessibleName().front().unicode() >= 0x3000);
    QVERIFY(w.Label->accessibleName().isEmpty());
    w.Label->setText(Fyldra3::kHint);
    QAccessibleInterface* label = QAccessible::queryAccessibleInterface(w.Label);
    QVERIFY(label != nullptr);
    QCOMPARE(label->text(QAccessible::Name), Fyldra3::kHint);
  }

  void texts() {
    QCOMPARE(Fyldra3::kHint, QStringLiteral("ファイルメニューの\uFF3B開く\uFF3Dでファイルを選んで下さい。"));
    QCOMPARE(Fyldra3::kBlankHint, QStringLiteral(" "));
    QCOMPARE(kProgress, QStringLiteral("ファイルの調査中\uFF0E\uFF0E\uFF0E"));
    QCOMPARE(Fyldra3::kFilterDescriptions,
             QStringList({QStringLiteral("すべてのファイル (*.*)"), QStringLiteral("ドキュメント ファイル (*.doc)"),
                          QStringLiteral("リッチテキスト ファイル (*.rtf)")}));
  }

  void qtSpeaksJapanese() {
    // Qt's own texts: the text box's context menu.
    std::unique_ptr<QMenu> menu(window_->Result->createStandardContextMenu());
    QStringList items;
    for (QAction* a : menu->actions()) {
      if (!a->isSeparator()) items << a->text();
    }
    QVERIFY2(items.join(QChar(u' ')).contains(QStringLiteral("コピー")), qPrintable(items.join(u',')));
    QVERIFY2(items.join(QChar(u' ')).contains(QStringLiteral("貼り付け")), qPrintable(items.join(u',')));
    // The Open dialog's type column (Qt 6.4's translation lacks it in its own context).
    QCOMPARE(QCoreApplication::translate("QAbstractFileIconProvider", "Folder"), QStringLiteral("フォルダ"));
  }

  void startedWithArgument() {
    Fyldra3& w = *window_;
    const QString path = kData + QStringLiteral("/simple.doc");
    Seen during;
    QTimer::singleShot(500, &w, [&] { during = Look(w); });
    QElapsedTimer clock;
    clock.start();
    w.Form_Load(path.toStdString());
    const qint64 ms = clock.elapsed();
    QVERIFY2(ms >= 1000, qPrintable(QString::number(ms)));  // the pause lasts its second

    QCOMPARE(during.result, path + QChar(u'\n') + kProgress);
    QCOMPARE(during.hint, QStringLiteral(" "));
    QVERIFY(during.waitCursor);
    QVERIFY(during.visible);  // step 4 showed the window

    const QString report = Report(path, QStringLiteral("Microsoft Word 97/98 ファイルです。"));
    QCOMPARE(w.Result->toPlainText(), report);
    QCOMPARE(w.Label->text(), Fyldra3::kHint);
    QVERIFY(DefaultCursor(w));
    // CR LF is one line break, no stray glyph.
    QCOMPARE(w.Result->document()->blockCount(), 2);
    QVERIFY(!w.Result->document()->toRawText().contains(QChar(u'\r')));
    QCOMPARE(w.Result->document()->firstBlock().text(), path + QStringLiteral(" は"));
    QVERIFY(answers_->shown == 0);
  }

  void startedWithoutArgumentCancelled() {
    Fyldra3& w = *window_;
    bool windowShownFirst = true;
    QStringList filters, buttons;
    QString selected, title;
    answers_->Next([&](QFileDialog& d) {
      windowShownFirst = w.isVisible();
      filters = d.nameFilters();
      selected = d.selectedNameFilter();
      title = d.windowTitle();
      for (QAbstractButton* b : d.findChild<QDialogButtonBox*>(QStringLiteral("buttonBox"))->buttons())
        buttons << b->text();
      DialogAnswers::Cancel()(d);
    });
    w.Form_Load({});
    QCOMPARE(answers_->shown, 1);
    QVERIFY(answers_->wasVisible);
    QVERIFY(!windowShownFirst);  // the dialog comes up before the window
    QCOMPARE(filters, Fyldra3::kFilterDescriptions);
    QCOMPARE(selected, Fyldra3::kFilterDescriptions.front());
    // Qt's own texts in Japanese: title and buttons.
    QVERIFY2(title.contains(QStringLiteral("開く")), qPrintable(title));
    QVERIFY2(buttons.join(u' ').contains(QStringLiteral("開く")), qPrintable(buttons.join(u',')));
    QVERIFY2(buttons.join(u' ').contains(QStringLiteral("キャンセル")), qPrintable(buttons.join(u',')));
    QVERIFY(!w.isVisible());  // Run() shows it
    QCOMPARE(w.Label->text(), Fyldra3::kHint);
    QVERIFY(w.Result->toPlainText().isEmpty());
    QVERIFY(DefaultCursor(w));
    QCOMPARE(access_->calls, 0);
  }

  void startedWithoutArgumentChosen() {
    Fyldra3& w = *window_;
    const QString path = kData + QStringLiteral("/TestMickey.doc");
    answers_->Next(DialogAnswers::Choose(path));
    w.Form_Load({});
    QCOMPARE(w.Result->toPlainText(), Report(path, QStringLiteral("Microsoft Word 95 ファイルです。")));
    QCOMPARE(w.Label->text(), Fyldra3::kHint);
    QVERIFY(DefaultCursor(w));
  }

  void openChosenReplacesReport() {
    Fyldra3& w = *window_;
    const QString first = kData + QStringLiteral("/simple.doc");
    w.Form_Load(first.toStdString());
    const QString second = kData + QStringLiteral("/lorem-ipsum.rtf");
    answers_->Next(DialogAnswers::Choose(second));
    Seen during;
    QTimer::singleShot(700, &w, [&] { during = Look(w); });  // the dialog is answered at once
    w.mnuOpen->trigger();
    QCOMPARE(answers_->shown, 1);
    QCOMPARE(during.result, second + QChar(u'\n') + kProgress);
    QVERIFY(during.waitCursor);
    QCOMPARE(during.hint, Fyldra3::kBlankHint);
    QCOMPARE(w.Result->toPlainText(), Report(second, QStringLiteral("リッチテキスト(rtf)ファイルです。")));
    QCOMPARE(w.Label->text(), Fyldra3::kHint);
    QVERIFY(DefaultCursor(w));
  }

  void openCancelledKeepsReport() {
    Fyldra3& w = *window_;
    const QString path = kData + QStringLiteral("/simple.doc");
    w.Form_Load(path.toStdString());
    const QString before = w.Result->toPlainText();
    answers_->Next(DialogAnswers::Choose(kData + QStringLiteral("/lorem-ipsum.txt")));
    w.mnuOpen->trigger();  // chosen once: the dialog now holds that name
    answers_->Next([&](QFileDialog& d) {
      QCOMPARE(d.selectedNameFilter(), Fyldra3::kFilterDescriptions.front());  // entry 1 at every opening
      DialogAnswers::Cancel()(d);
    });
    const QString shownBefore = w.Result->toPlainText();
    w.mnuOpen->trigger();
    QCOMPARE(answers_->shown, 2);
    QCOMPARE(w.Result->toPlainText(), shownBefore);
    QVERIFY(shownBefore != before);
    QCOMPARE(w.Label->text(), Fyldra3::kHint);
    QVERIFY(DefaultCursor(w));
  }

  void openDuringPause() {
    Fyldra3& w = *window_;
    const QString outer = kData + QStringLiteral("/simple.doc");
    const QString inner = kData + QStringLiteral("/Bug60942.doc");
    answers_->Next(DialogAnswers::Choose(inner));
    Seen nestedRunning, afterNested;
    QTimer::singleShot(300, &w, [&] {
      QTimer::singleShot(500, &w, [&] { nestedRunning = Look(w); });
      w.mnuOpen->trigger();  // a complete nested run, inside the outer pause
      afterNested = Look(w);
    });
    QElapsedTimer clock;
    clock.start();
    w.Form_Load(outer.toStdString());
    QVERIFY(clock.elapsed() >= 1300);
    QCOMPARE(nestedRunning.result, inner + QChar(u'\n') + kProgress);
    QVERIFY(nestedRunning.waitCursor);
    QCOMPARE(afterNested.result, Report(inner, QStringLiteral("Microsoft Word 6.0 ファイルです。")));
    QCOMPARE(afterNested.hint, Fyldra3::kHint);
    QVERIFY(!afterNested.waitCursor);
    // The outer run then classifies its own file; its report replaces the nested one.
    QCOMPARE(w.Result->toPlainText(), Report(outer, QStringLiteral("Microsoft Word 97/98 ファイルです。")));
    QCOMPARE(w.Label->text(), Fyldra3::kHint);
    QVERIFY(DefaultCursor(w));
  }

  void openDuringPauseCancelled() {
    Fyldra3& w = *window_;
    const QString outer = kData + QStringLiteral("/simple.doc");
    answers_->Next(DialogAnswers::Cancel());
    Seen afterNested;
    QTimer::singleShot(300, &w, [&] {
      w.mnuOpen->trigger();
      afterNested = Look(w);
    });
    w.Form_Load(outer.toStdString());
    QCOMPARE(afterNested.hint, Fyldra3::kHint);  // set back even when cancelled
    QCOMPARE(afterNested.result, outer + QChar(u'\n') + kProgress);
    QVERIFY(afterNested.waitCursor);
    QCOMPARE(w.Result->toPlainText(), Report(outer, QStringLiteral("Microsoft Word 97/98 ファイルです。")));
    QVERIFY(DefaultCursor(w));
  }

  void closeDuringPause() {
    Fyldra3& w = *window_;
    const QString path = kData + QStringLiteral("/simple.doc");
    QTimer::singleShot(300, &w, &QWidget::close);
    w.Form_Load(path.toStdString());
    QVERIFY(w.Closed());
    QVERIFY(!w.isVisible());
    QCOMPARE(access_->calls, 0);  // not classified
    QCOMPARE(w.Result->toPlainText(), path + QChar(u'\n') + kProgress);
  }

  void closeDuringNestedPause() {
    Fyldra3& w = *window_;
    answers_->Next(DialogAnswers::Choose(kData + QStringLiteral("/Bug60942.doc")));
    QTimer::singleShot(200, &w, [&] {
      QTimer::singleShot(300, &w, &QWidget::close);
      w.mnuOpen->trigger();
    });
    w.Form_Load((kData + QStringLiteral("/simple.doc")).toStdString());
    QVERIFY(w.Closed());
    QCOMPARE(access_->calls, 0);
  }

  void closeEndsTheProgram_data() {
    QTest::addColumn<QString>("mode");
    QTest::newRow("during Form_Load's run") << QStringLiteral("load");
    QTest::newRow("during a File > Open run") << QStringLiteral("menu");
  }

  void closeEndsTheProgram() {
    QFETCH(QString, mode);
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QStringLiteral(FYLDRA3_CLOSE_CHILD), {mode, kData + QStringLiteral("/simple.doc")});
    QVERIFY(child.waitForFinished(30000));  // a hang, not a speed limit
    QCOMPARE(child.exitStatus(), QProcess::NormalExit);
    QCOMPARE(child.exitCode(), 0);
    const QString out = QString::fromLocal8Bit(child.readAllStandardOutput());
    QCOMPARE(out.trimmed(), mode == QStringLiteral("load") ? QStringLiteral("classified 0 shown 0")
                                                            : QStringLiteral("classified 0 shown 2"));
  }

  void unreadableFile() {
    Fyldra3& w = *window_;
    access_->refuseOpen = true;
    const QString path = kData + QStringLiteral("/simple.doc");
    w.Form_Load(path.toStdString());
    QCOMPARE(w.Result->toPlainText(), Report(path, QStringLiteral("読み取る権限がありません。")));
    QCOMPARE(w.Label->text(), Fyldra3::kHint);
    QVERIFY(DefaultCursor(w));
  }

  void missingFileAndFolder() {
    Fyldra3& w = *window_;
    const QString missing = kData + QStringLiteral("/no such file.doc");
    w.Form_Load(missing.toStdString());
    QCOMPARE(w.Result->toPlainText(), Report(missing, QStringLiteral("見つかりません。")));
    answers_->Next([&](QFileDialog& d) { DialogAnswers::Cancel()(d); });
    w.InspectFile(kData.toStdString());
    QCOMPARE(w.Result->toPlainText(), Report(kData, QStringLiteral("フォルダーのため調べられません。")));
    QVERIFY(DefaultCursor(w));
    answers_->Next(DialogAnswers::Cancel());
    w.mnuOpen->trigger();  // use up the queued answers
    w.mnuOpen->trigger();
  }

  void longPath() {
    Fyldra3& w = *window_;
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QString deep = dir.path();
    for (int i = 0; i < 8; ++i) deep += QStringLiteral("/a_rather_long_folder_name_%1").arg(i);
    QVERIFY(QDir().mkpath(deep));
    const QString path = deep + QStringLiteral("/simple.doc");
    QVERIFY(QFile::copy(kData + QStringLiteral("/simple.doc"), path));
    w.Form_Load(path.toStdString());
    QCOMPARE(w.Result->toPlainText(), Report(path, QStringLiteral("Microsoft Word 97/98 ファイルです。")));
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    const QTextBlock first = w.Result->document()->firstBlock();
    QCOMPARE(first.layout()->lineCount(), 1);  // no wrap
    const qreal width = first.layout()->lineAt(0).naturalTextWidth();
    QVERIFY(width > w.Result->viewport()->width());
    QScrollBar* bar = w.Result->horizontalScrollBar();
    QVERIFY(bar->isVisible());
    QVERIFY(bar->maximum() > 0);
    bar->setValue(bar->maximum());  // the end of the line comes into view
    QVERIFY(bar->maximum() + w.Result->viewport()->width() >= width);
  }

  void shiftJisName() {
    Fyldra3& w = *window_;
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    // "テスト.doc" in Shift_JIS: not UTF-8, so it must never pass through QString.
    const std::string name = dir.path().toStdString() + "/\x83\x65\x83\x58\x83\x67.doc";
    {
      QFile in(kData + QStringLiteral("/simple.doc"));
      QVERIFY(in.open(QIODevice::ReadOnly));
      const QByteArray bytes = in.readAll();
      FILE* out = std::fopen(name.c_str(), "wb");
      QVERIFY(out != nullptr);
      QCOMPARE(std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), out),
               static_cast<size_t>(bytes.size()));
      std::fclose(out);
    }
    w.Form_Load(name);
    // Opened by its bytes, shown decoded as code page 932.
    QCOMPARE(w.Result->toPlainText(),
             Report(dir.path() + QStringLiteral("/テスト.doc"), QStringLiteral("Microsoft Word 97/98 ファイルです。")));
    std::filesystem::remove(name);
  }

  void argumentText() {
    const char* argv[] = {"fyldra3", "-style", "fusion", "a  b", "-reverse", nullptr};
    QCOMPARE(fyldra3::ArgumentText(5, argv), std::string("-style fusion a  b -reverse"));
    QCOMPARE(fyldra3::ArgumentText(1, argv), std::string());
    QCOMPARE(fyldra3::ArgumentText(0, argv), std::string());
    const char* quoted[] = {"fyldra3", "\"C:\\My Documents\\a.doc\"", nullptr};
    QCOMPARE(fyldra3::ArgumentText(2, quoted), std::string("\"C:\\My Documents\\a.doc\""));
  }

  void qtOptionIsAPath() {
    Fyldra3& w = *window_;
    w.Form_Load("-reverse");
    QCOMPARE(w.Result->toPlainText(), Report(QStringLiteral("-reverse"), QStringLiteral("見つかりません。")));
    QCOMPARE(w.layoutDirection(), Qt::LeftToRight);
  }

  void programLeavesQtOptionsAlone() {
    // The real program, offscreen: Qt would end it at once on "-platform no-such-plugin".
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QProcess app;
    app.setWorkingDirectory(dir.path());
    app.setProcessChannelMode(QProcess::MergedChannels);
    app.start(QStringLiteral(FYLDRA3_APP), {QStringLiteral("-platform"), QStringLiteral("no-such-plugin")});
    QVERIFY(app.waitForStarted());
    QVERIFY2(!app.waitForFinished(2500), app.readAll().constData());  // still running: the window is up
    app.kill();
    app.waitForFinished();
  }

  void filterEntries() {
    Fyldra3& w = *window_;
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    for (const char* name : {"README", "REPORT.DOC", "letter.doc", "notes.rtf", "NOTES2.RTF", "a.txt"}) {
      QFile f(dir.filePath(QString::fromLatin1(name)));
      QVERIFY(f.open(QIODevice::WriteOnly));
    }
    const QStringList expected[] = {
        {"NOTES2.RTF", "README", "REPORT.DOC", "a.txt", "letter.doc", "notes.rtf"},  // entry 1: every file
        {"REPORT.DOC", "letter.doc"},                                                // entry 2, any case
        {"NOTES2.RTF", "notes.rtf"},                                                 // entry 3, any case
    };
    int checked = 0;
    answers_->Next([&](QFileDialog& d) {
      d.setDirectory(dir.path());  // the person browses to the folder
      auto* model = d.findChild<QFileSystemModel*>(QStringLiteral("qt_filesystem_model"));
      auto* combo = d.findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
      QVERIFY(model && combo);
      const auto names = [&] {
        QStringList list;
        const QModelIndex root = model->index(dir.path());
        for (int r = 0; r < model->rowCount(root); ++r) list << model->index(r, 0, root).data().toString();
        list.sort();
        return list;
      };
      QCOMPARE(combo->currentIndex(), 0);
      QTRY_COMPARE(names(), expected[0]);
      ++checked;
      for (int entry = 1; entry < 3; ++entry) {
        combo->setFocus();
        QTest::keyClick(combo, Qt::Key_Down);  // the person picks the next entry
        QCOMPARE(combo->currentIndex(), entry);
        QTRY_COMPARE(names(), expected[entry]);
        ++checked;
      }
      DialogAnswers::Cancel()(d);
    });
    w.mnuOpen->trigger();
    QCOMPARE(answers_->shown, 1);
    QCOMPARE(checked, 3);
  }

  void fileWithoutDotCanBeChosen() {
    Fyldra3& w = *window_;
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("README"));
    QVERIFY(QFile::copy(kData + QStringLiteral("/lorem-ipsum.txt"), path));
    answers_->Next(DialogAnswers::Choose(path));
    w.mnuOpen->trigger();
    QCOMPARE(w.Result->toPlainText(), Report(path, QStringLiteral("テキストファイルと思われます。")));
  }

  // Drag and drop.

  void dropTargetIsTheWindow() {
    Fyldra3& w = *window_;
    QVERIFY(w.acceptDrops());
    QVERIFY(!w.Result->acceptDrops());
    QVERIFY(!w.Result->viewport()->acceptDrops());
  }

  void dropExaminesFile() {
    Fyldra3& w = *window_;
    const QString first = kData + QStringLiteral("/simple.doc");
    w.Form_Load(first.toStdString());
    QStringList* texts = RecordTexts(w);
    const QString dropped = kData + QStringLiteral("/TestGermanWord90.doc");
    const auto data = Urls({QUrl::fromLocalFile(dropped)});
    const DragResult r = DragAndDrop(w, *data);
    QVERIFY(r.enter && r.move && r.drop);
    QTRY_COMPARE_WITH_TIMEOUT(w.Result->toPlainText(), Report(dropped, QStringLiteral("Microsoft Word 2000 ファイルです。")),
                              5000);
    QCOMPARE(*texts, QStringList({dropped + QChar(u'\n') + kProgress,
                                  Report(dropped, QStringLiteral("Microsoft Word 2000 ファイルです。"))}));
    QCOMPARE(w.Label->text(), Fyldra3::kHint);
    QVERIFY(DefaultCursor(w));
  }

  void dropSeveralTakesFirst() {
    Fyldra3& w = *window_;
    w.show();
    const QString a = kData + QStringLiteral("/lorem-ipsum.rtf"), b = kData + QStringLiteral("/simple.doc");
    const auto data = Urls({QUrl::fromLocalFile(a), QUrl::fromLocalFile(b)});
    QVERIFY(DragAndDrop(w, *data).drop);
    QTRY_COMPARE_WITH_TIMEOUT(w.Result->toPlainText(), Report(a, QStringLiteral("リッチテキスト(rtf)ファイルです。")),
                              5000);
    QTest::qWait(1500);
    QCOMPARE(w.Result->toPlainText(), Report(a, QStringLiteral("リッチテキスト(rtf)ファイルです。")));
  }

  void dropRefusesWhatIsNotALocalFile_data() {
    QTest::addColumn<int>("kind");
    QTest::newRow("web address") << 0;
    QTest::newRow("text") << 1;
    QTest::newRow("first of several is not local") << 2;
    QTest::newRow("remote host") << 3;
  }

  void dropRefusesWhatIsNotALocalFile() {
    QFETCH(int, kind);
    Fyldra3& w = *window_;
    w.show();
    auto data = std::make_unique<QMimeData>();
    const QUrl local = QUrl::fromLocalFile(kData + QStringLiteral("/simple.doc"));
    switch (kind) {
      case 0: data->setUrls({QUrl(QStringLiteral("https://example.com/simple.doc"))}); break;
      case 1: data->setText(kData + QStringLiteral("/simple.doc")); break;
      case 2: data->setUrls({QUrl(QStringLiteral("https://example.com/a.doc")), local}); break;
      default: data->setUrls({QUrl(QStringLiteral("file://server/share/simple.doc"))}); break;
    }
    const DragResult r = DragAndDrop(w, *data);
    QVERIFY(!r.enter);  // refused before the drop: the pointer shows it
    QVERIFY(!r.move);
    QVERIFY(!r.drop);
    QTest::qWait(200);
    QVERIFY(w.Result->toPlainText().isEmpty());
    QCOMPARE(access_->calls, 0);
  }

  void dropDuringPause() {
    Fyldra3& w = *window_;
    QStringList* texts = RecordTexts(w);
    const QString outer = kData + QStringLiteral("/simple.doc"), inner = kData + QStringLiteral("/Bug60942.doc");
    const auto data = Urls({QUrl::fromLocalFile(inner)});
    bool dropped = false;
    QTimer::singleShot(300, &w, [&] { dropped = DragAndDrop(w, *data).drop; });
    w.Form_Load(outer.toStdString());
    QVERIFY(dropped);
    // A complete nested run inside the pause; the outer run's report comes last.
    QCOMPARE(*texts, QStringList({outer + QChar(u'\n') + kProgress, inner + QChar(u'\n') + kProgress,
                                  Report(inner, QStringLiteral("Microsoft Word 6.0 ファイルです。")),
                                  Report(outer, QStringLiteral("Microsoft Word 97/98 ファイルです。"))}));
    QCOMPARE(w.Label->text(), Fyldra3::kHint);
    QVERIFY(DefaultCursor(w));
  }

  void droppedNameKeepsItsBytes() {
    // A file manager percent-encodes the name's bytes; "テスト.doc" in Shift_JIS.
    QMimeData data;
    data.setUrls({QUrl(QStringLiteral("file:///tmp/%83e%83X%83g%20a.doc"))});
    QCOMPARE(Fyldra3::DroppedFile(&data).native(), std::string("/tmp/\x83\x65\x83\x58\x83\x67 a.doc"));
    data.setUrls({QUrl::fromLocalFile(QStringLiteral("/tmp/テスト.doc"))});
    QCOMPARE(Fyldra3::DroppedFile(&data).native(), std::string("/tmp/テスト.doc"));
    data.setUrls({QUrl(QStringLiteral("file://localhost/tmp/a.doc"))});
    QCOMPARE(Fyldra3::DroppedFile(&data).native(), std::string("/tmp/a.doc"));
    QVERIFY(Fyldra3::DroppedFile(nullptr).empty());
  }

 private:
  std::unique_ptr<CountingAccess> access_;
  std::unique_ptr<Fyldra3> window_;
  std::unique_ptr<DialogAnswers> answers_;
};

// As the program's main: the process set-up before any window is made.
int main(int argc, char** argv) {
  fyldra3::UseJapaneseDates();
  QApplication app(argc, argv);
  app.setAttribute(Qt::AA_Use96Dpi, true);  // as QTEST_MAIN does
  WindowTest test;
  test.japaneseTexts = fyldra3::SetUpApplication(app);
  return QTest::qExec(&test, argc, argv);
}
#include "window_test.moc"
