// The program around the window: its command line and its run. (Its
// process set-up, shared with the tests, is in process_setup.h.)
#pragma once

#include <string>

class QApplication;
class Fyldra3;

namespace fyldra3 {

// Every argument after the program's name, joined by single spaces, bytes
// unchanged ("" when there is none).
std::string ArgumentText(int argc, const char* const* argv);

// The program's run after the window is made: Form_Load with the argument
// text, then the window shown and the event loop until the window is
// closed. Exit status 0, also when the window is closed during Form_Load's run.
int Run(QApplication& app, Fyldra3& window, const std::string& argumentText);

}  // namespace fyldra3
