#include "fyldra3/process_setup.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QSettings>
#include <QTranslator>
#include <QtGlobal>

#include <cstdlib>
#include <string>

namespace fyldra3 {
namespace {

// Qt 6.4's Japanese translation lacks the file icon provider's words (the
// Open dialog's type column says "Folder"); Qt's own translation has them
// for the file dialog, so they are looked up there.
class IconProviderWords : public QTranslator {
 public:
  using QTranslator::QTranslator;
  bool isEmpty() const override { return false; }
  QString translate(const char* context, const char* sourceText, const char* disambiguation,
                    int n) const override {
    if (qstrcmp(context, "QAbstractFileIconProvider") != 0) return {};
    const QString text = QCoreApplication::translate("QFileDialog", sourceText, disambiguation, n);
    return text == QLatin1StringView(sourceText) ? QString() : text;
  }
};

}  // namespace

void UseJapaneseDates() {
  if (const char* all = std::getenv("LC_ALL"); all != nullptr && *all != '\0') {
    const std::string value = all;
    for (const char* category : {"LC_CTYPE", "LC_NUMERIC", "LC_COLLATE", "LC_MONETARY", "LC_MESSAGES", "LC_PAPER",
                                 "LC_NAME", "LC_ADDRESS", "LC_TELEPHONE", "LC_MEASUREMENT", "LC_IDENTIFICATION"}) {
      setenv(category, value.c_str(), 1);
    }
    unsetenv("LC_ALL");
  }
  setenv("LC_TIME", "ja_JP.UTF-8", 1);
}

bool InstallJapaneseTexts(QApplication& app) {
  QLocale::setDefault(QLocale(QLocale::Japanese, QLocale::Japan));
  auto* translator = new QTranslator(&app);
  if (!translator->load(QStringLiteral("qtbase_ja"), QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    delete translator;
    return false;
  }
  if (!QCoreApplication::installTranslator(translator)) return false;
  return QCoreApplication::installTranslator(new IconProviderWords(&app));
}

void KeepNoSettings() {
  // Qt's Open dialog reads QtProject.conf when it is made and writes it when
  // it is destroyed, whether or not it was shown (Qt 6.4). Settings files are
  // looked up under these folders; no folder can be made below /dev/null, so
  // nothing is read and every write is dropped.
  for (auto format : {QSettings::NativeFormat, QSettings::IniFormat}) {
    for (auto scope : {QSettings::UserScope, QSettings::SystemScope}) {
      QSettings::setPath(format, scope, QStringLiteral("/dev/null"));
    }
  }
}

bool SetUpApplication(QApplication& app) {
  KeepNoSettings();
  if (InstallJapaneseTexts(app)) return true;
  qWarning("fyldra3: Qt's Japanese translation (qtbase_ja.qm in %s) could not be loaded; the Open dialog "
           "speaks English (qt6-translations-l10n installs it)",
           qPrintable(QLibraryInfo::path(QLibraryInfo::TranslationsPath)));
  return false;
}

}  // namespace fyldra3
