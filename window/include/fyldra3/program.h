// The program around the window: its command line, its Japanese texts and its run.
#pragma once

#include <string>

class QApplication;
class Fyldra3;

namespace fyldra3 {

// Every argument after the program's name, joined by single spaces, bytes
// unchanged ("" when there is none).
std::string ArgumentText(int argc, const char* const* argv);

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
// QtProject.conf): the program keeps no settings and writes nothing.
void KeepNoSettings();

// The program's run after the window is made: Form_Load with the argument
// text, then the window shown and the event loop until the window is
// closed. Exit status 0, also when the window is closed during Form_Load's run.
int Run(QApplication& app, Fyldra3& window, const std::string& argumentText);

}  // namespace fyldra3
