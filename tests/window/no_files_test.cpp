// The program writes no file: with an empty HOME and XDG_CONFIG_HOME, using
// the Open dialog (a choice, a cancel) and destroying the window leaves both
// empty. Qt's own dialog would otherwise write QtProject.conf.
#include <QApplication>
#include <QDirIterator>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>
#include <cstdlib>
#include <memory>

#include "dialog_answers.h"
#include "fyldra3/fyldra3_window.h"
#include "fyldra3/process_setup.h"

namespace {

QStringList Entries(const QString& dir) {
  QStringList found;
  QDirIterator it(dir, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                  QDirIterator::Subdirectories);
  while (it.hasNext()) found << it.next();
  return found;
}

QString home, config;
bool japaneseTexts = false;

}  // namespace

class NoFilesTest : public QObject {
  Q_OBJECT

 private slots:
  void dialogWritesNothing() {
    QVERIFY(japaneseTexts);
    {
      auto window = std::make_unique<Fyldra3>();
      DialogAnswers answers(*window);
      answers.Next(DialogAnswers::Choose(QStringLiteral(FYLDRA3_TEST_DATA "/simple.doc")));
      window->Form_Load({});
      QVERIFY(window->Result->toPlainText().endsWith(QStringLiteral("Microsoft Word 97/98 ファイルです。")));
      answers.Next(DialogAnswers::Cancel());
      window->mnuOpen->trigger();
      QCOMPARE(answers.shown, 2);
      window->close();
    }
    QCoreApplication::processEvents();
    QCOMPARE(Entries(home), QStringList());
    QCOMPARE(Entries(config), QStringList());
  }
};

int main(int argc, char** argv) {
  // Empty folders for HOME and XDG_CONFIG_HOME, before Qt reads them.
  // (Fontconfig may refresh its font cache when the system's is stale; that
  // goes to XDG_CACHE_HOME, kept elsewhere, and is the system's doing.)
  QTemporaryDir homeDir, configDir, cacheDir;
  if (!homeDir.isValid() || !configDir.isValid() || !cacheDir.isValid()) return 2;
  home = homeDir.path();
  config = configDir.path();
  setenv("HOME", home.toLocal8Bit().constData(), 1);
  setenv("XDG_CONFIG_HOME", config.toLocal8Bit().constData(), 1);
  setenv("XDG_CACHE_HOME", cacheDir.path().toLocal8Bit().constData(), 1);
  int status = 0;
  {
    fyldra3::UseJapaneseDates();
    QApplication app(argc, argv);
    japaneseTexts = fyldra3::SetUpApplication(app);  // as the program does, before any widget
    NoFilesTest test;
    status = QTest::qExec(&test, argc, argv);
  }
  // Also after the application is gone.
  if (!Entries(home).isEmpty() || !Entries(config).isEmpty()) {
    std::fprintf(stderr, "FAIL: files were written: %s\n", qPrintable((Entries(home) + Entries(config)).join(u' ')));
    status = 1;
  }
  return status;
}

#include "no_files_test.moc"
