// The process's set-up for the window, shared by the program and its tests:
// Japanese dates and texts, and no settings files. Depends on Qt alone.
#pragma once

class QApplication;

namespace fyldra3 {

// Makes the file dialog's dates Japanese: Qt formats them in the system
// locale, which it reads from LC_ALL, LC_TIME and LANG once, at start. Sets
// LC_TIME to ja_JP.UTF-8 (moving a set LC_ALL onto the other categories, so
// they stay as they were). Call before creating the QApplication.
void UseJapaneseDates();

// Loads Qt's own Japanese translation (qtbase_ja.qm, from Qt's translations
// folder) and makes Japanese the default locale, whatever the system's
// locale, so the dialog and the context menus speak Japanese. Call before
// creating widgets. Returns false when the translation could not be loaded.
bool InstallJapaneseTexts(QApplication& app);

// Keeps Qt from reading or writing settings files (the Open dialog's
// QtProject.conf): the program keeps no settings and writes nothing. Call
// before the first file dialog is made.
void KeepNoSettings();

// What the program does once its QApplication exists, before any widget:
// KeepNoSettings and InstallJapaneseTexts, with a warning (qWarning) when
// Qt's Japanese translation is missing and the dialogs would speak English.
// Returns InstallJapaneseTexts's result.
bool SetUpApplication(QApplication& app);

}  // namespace fyldra3
