// Answers Fyldra3's real Open dialog from inside its exec(), through the
// window's dialog seam, so no test can hang on a dialog.
//
// Each ChooseFile() takes the next queued answer. The answer runs once the
// dialog is up (inside its modal loop); whatever it does, the dialog is then
// closed: rejected if the answer left it open. A watchdog rejects it after
// kWatchdogMs. A ChooseFile() with no answer queued counts as unexpected and
// reports a cancel without showing anything.
#pragma once

#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <deque>
#include <functional>
#include <utility>

#include "fyldra3/fyldra3_window.h"

class DialogAnswers {
 public:
  using Answer = std::function<void(QFileDialog&)>;
  static constexpr int kWatchdogMs = 20000;

  explicit DialogAnswers(Fyldra3& window) {
    window.SetDialogRunner([this](QFileDialog& dialog) { return Run(dialog); });
  }

  void Next(Answer answer) { answers_.push_back(std::move(answer)); }

  // Typed into the file-name field, then Return, as a person would.
  static Answer Choose(const QString& path) {
    return [path](QFileDialog& dialog) {
      auto* edit = dialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
      QVERIFY(edit != nullptr);
      edit->setText(path);
      QTest::keyClick(edit, Qt::Key_Return);
    };
  }

  // The dialog's own Cancel button.
  static Answer Cancel() {
    return [](QFileDialog& dialog) {
      auto* buttons = dialog.findChild<QDialogButtonBox*>(QStringLiteral("buttonBox"));
      QVERIFY(buttons != nullptr);
      QPushButton* cancel = buttons->button(QDialogButtonBox::Cancel);
      QVERIFY(cancel != nullptr);
      cancel->click();
    };
  }

  int shown = 0;       // dialogs that came up
  int unexpected = 0;  // ChooseFile() calls without an answer
  int timedOut = 0;    // dialogs the watchdog had to close
  bool wasVisible = false;

 private:
  int Run(QFileDialog& dialog) {
    if (answers_.empty()) {
      ++unexpected;
      return QDialog::Rejected;
    }
    Answer answer = std::move(answers_.front());
    answers_.pop_front();
    QTimer watchdog;
    watchdog.setSingleShot(true);
    QObject::connect(&watchdog, &QTimer::timeout, &dialog, [this, &dialog] {
      ++timedOut;
      dialog.reject();
    });
    QTimer start;
    start.setSingleShot(true);
    QObject::connect(&start, &QTimer::timeout, &dialog, [this, &dialog, &answer] {
      ++shown;
      wasVisible = dialog.isVisible() && dialog.isModal();
      answer(dialog);
      if (dialog.isVisible()) dialog.reject();
    });
    watchdog.start(kWatchdogMs);
    start.start(0);
    return dialog.exec();
  }

  std::deque<Answer> answers_;
};
