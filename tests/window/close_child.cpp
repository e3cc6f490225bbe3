// A child program for window_test: the real program's run (fyldra3::Run),
// with the window closed during a pause, to check that the program ends
// promptly with exit status 0 and without classifying.
//   close_child load FILE   closed during Form_Load's run, before the event loop
//   close_child menu FILE   started without argument, dialog cancelled; then
//                           File > Open with FILE, closed during that run
// Prints "classified N" (the classifier's system calls) before exiting.
#include <QApplication>
#include <QTimer>

#include <cstdio>
#include <cstring>

#include "dialog_answers.h"
#include "fyldra3/fyldra3_window.h"
#include "fyldra3/process_setup.h"
#include "fyldra3/program.h"

namespace {
class CountingAccess : public fyldra3::FileAccess {
 public:
  int Stat(const char* path, struct stat* st) noexcept override {
    ++calls;
    return FileAccess::Stat(path, st);
  }
  int calls = 0;
};
}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) return 2;
  const bool load = std::strcmp(argv[1], "load") == 0;
  const QString file = QString::fromLocal8Bit(argv[2]);
  int qtArgc = 1;
  fyldra3::UseJapaneseDates();
  QApplication app(qtArgc, argv);
  fyldra3::SetUpApplication(app);
  CountingAccess access;
  int status = 0;
  {
    Fyldra3 window(access);
    DialogAnswers answers(window);
    if (load) {
      QTimer::singleShot(300, &window, &QWidget::close);
      status = fyldra3::Run(app, window, argv[2]);
    } else {
      // File > Open is chosen once the first dialog is cancelled, however
      // long it took to come up (a timer from the start raced a slow one).
      answers.Next([&](QFileDialog& dialog) {
        DialogAnswers::Cancel()(dialog);
        QTimer::singleShot(200, &window, [&] { window.mnuOpen->trigger(); });
      });
      answers.Next([&](QFileDialog& dialog) {
        QTimer::singleShot(400, &window, &QWidget::close);
        DialogAnswers::Choose(file)(dialog);
      });
      status = fyldra3::Run(app, window, {});
    }
    std::printf("classified %d shown %d\n", access.calls, answers.shown);
  }
  return status;
}
