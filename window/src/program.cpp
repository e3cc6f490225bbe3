#include "fyldra3/program.h"

#include <QApplication>

#include "fyldra3/fyldra3_window.h"

namespace fyldra3 {

std::string ArgumentText(int argc, const char* const* argv) {
  std::string text;
  for (int i = 1; i < argc; ++i) {
    if (i > 1) text.push_back(' ');
    text.append(argv[i]);
  }
  return text;
}

int Run(QApplication& app, Fyldra3& window, const std::string& argumentText) {
  window.Form_Load(argumentText);
  if (window.Closed()) return 0;  // closed during Form_Load's run, before the event loop
  window.show();
  return app.exec();
}

}  // namespace fyldra3
