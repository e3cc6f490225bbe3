// The window Fyldra3: the program's one window.
//
// Its parts are named by role, as members and as object names:
// Label (the hint line), Result (the result box), Menu (the File menu),
// mnuOpen (its one item) and CommonDialog1 (the Open dialog). Its event
// handlers and procedures are Form_Load, InspectFile, ChooseFile and
// mnuOpen_Click; everything runs on the window's thread.
#pragma once

#include <QMainWindow>
#include <QString>

#include <filesystem>
#include <functional>
#include <string>

#include "fyldra3/classify_file.h"

class QFileDialog;
class QLabel;
class QMenu;
class QAction;
class QPlainTextEdit;
class QCloseEvent;
class QDragEnterEvent;
class QDragMoveEvent;
class QDropEvent;
class QMimeData;

class Fyldra3 : public QMainWindow {
  Q_OBJECT

 public:
  // The hint line's texts.
  static const QString kHint;       // "ファイルメニューの［開く］でファイルを選んで下さい。"
  static const QString kBlankHint;  // " "
  // The three entries of the Open dialog's filter list, as shown.
  static const QStringList kFilterDescriptions;

  // Classification goes through access (the system's calls by default; tests
  // inject failures). Builds the window without showing it.
  explicit Fyldra3(fyldra3::FileAccess& access = fyldra3::FileAccess::System(), QWidget* parent = nullptr);
  ~Fyldra3() override;

  // The program's start; runs before the window is first shown. The argument
  // text is the command line after the program's name, joined by single
  // spaces: the operating system's bytes, unchanged.
  void Form_Load(const std::string& argumentText);

  // The inspection run: busy pointer and progress text, a one-second pause,
  // then the report. The path is used as the operating system's bytes.
  // Returns early, without classifying, when the window is closed during the pause.
  void InspectFile(const std::filesystem::path& path);

  // Shows the Open dialog; the chosen file's path as the operating system's
  // bytes, or an empty path when no file was chosen.
  std::filesystem::path ChooseFile();

  // A file dropped on the window: examined as File > Open with that file
  // would (hint, InspectFile, hint back).
  void OpenDropped(const std::filesystem::path& path);

  // The file that dropping this data would examine: the first URL, when it
  // names a local file, as the operating system's bytes; empty otherwise
  // (the drop is refused).
  static std::filesystem::path DroppedFile(const QMimeData* data);

  // True once the window has been closed during a run: the program is ending.
  bool Closed() const noexcept { return closed_; }

  // The seam in front of the dialog: ChooseFile has CommonDialog1 configured,
  // then calls the runner, which shows it modally and returns its result
  // (QDialog::Accepted or Rejected). The default runner is QDialog::exec().
  // Tests install one that answers the real dialog and cannot hang.
  using DialogRunner = std::function<int(QFileDialog&)>;
  void SetDialogRunner(DialogRunner runner);

  // The parts of the window, owned by it for its whole life.
  QLabel* const Label;
  QPlainTextEdit* const Result;
  QMenu* const Menu;
  QAction* const mnuOpen;
  QFileDialog* const CommonDialog1;

 public slots:
  void mnuOpen_Click();

 signals:
  // Emitted when the window is closed during a run; ends every pause.
  void closedDuringRun();

 protected:
  void closeEvent(QCloseEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  bool Pause();  // false when the window was closed during it
  void UseFilterPatterns(int entry);

  fyldra3::FileAccess& access_;
  DialogRunner runner_;
  int runs_ = 0;  // InspectFile calls in progress (more than one when nested)
  bool closed_ = false;
};
