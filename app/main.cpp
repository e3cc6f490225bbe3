// fyldra3 [FILE...]: the window, examining the file whose path is the argument text.
#include <QApplication>
#include <QIcon>

#include <string>

#include "fyldra3/fyldra3_window.h"
#include "fyldra3/process_setup.h"
#include "fyldra3/program.h"

int main(int argc, char** argv) {
  // The argument text is the path, as the operating system's bytes; Qt sees
  // only the program's name, so "-style" or "-reverse" stay part of the path
  // (Qt is configured through its environment variables instead).
  const std::string argumentText = fyldra3::ArgumentText(argc, argv);
  char fallbackName[] = "fyldra3";
  char* qtArgv[] = {argc > 0 && argv[0] != nullptr ? argv[0] : fallbackName, nullptr};
  int qtArgc = 1;
  fyldra3::UseJapaneseDates();
  QApplication app(qtArgc, qtArgv);
  // Matches the window to its desktop entry and gives it the entry's icon, once installed.
  QGuiApplication::setDesktopFileName(QStringLiteral("io.github.fyldra3.Fyldra3"));
  QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("io.github.fyldra3.Fyldra3")));
  fyldra3::SetUpApplication(app);
  Fyldra3 window;
  return fyldra3::Run(app, window, argumentText);
}
