#include "fyldra3/fyldra3_window.h"

#include <QAction>
#include <QCloseEvent>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QTimer>

#include <utility>

#include "fyldra3/name_text.h"
#include "fyldra3/report.h"

const QString Fyldra3::kHint = QStringLiteral("ファイルメニューの［開く］でファイルを選んで下さい。");
const QString Fyldra3::kBlankHint = QStringLiteral(" ");
const QStringList Fyldra3::kFilterDescriptions = {
    QStringLiteral("すべてのファイル (*.*)"),
    QStringLiteral("ドキュメント ファイル (*.doc)"),
    QStringLiteral("リッチテキスト ファイル (*.rtf)"),
};

namespace {

// The layout is drawn in twips; at 15 twips per pixel (Qt scales for high DPI).
constexpr int kClientWidth = 470, kClientHeight = 120;  // 7050 x 1800
constexpr QRect kLabelRect{0, 0, 465, 17};               // 0, 0, 6975 x 255
constexpr QRect kResultRect{0, 24, 465, 89};             // 0, 360, 6975 x 1335

// What a filter entry matches on Linux. The descriptions say "*.*", which
// Windows takes for every file; here entry 1 must match names without a dot
// too. Matching ignores case, as on Windows, so REPORT.DOC is a document.
const QStringList kEntryPatterns[] = {
    {QStringLiteral("*")},
    {QStringLiteral("*.doc")},
    {QStringLiteral("*.rtf")},
};

QString PathText(const std::filesystem::path& path) {
  return QString::fromStdString(fyldra3::NameText(path.native()));
}

QFont ResultFont() {
  QFont font;
  // "ＭＳ Ｐゴシック" first; where it does not exist, the same font under its
  // Latin name, then IPA P Gothic (fonts-ipafont-gothic), then Noto Sans CJK JP.
  font.setFamilies({QStringLiteral("ＭＳ Ｐゴシック"), QStringLiteral("MS PGothic"), QStringLiteral("IPAPGothic"),
                    QStringLiteral("Noto Sans CJK JP")});
  font.setPointSize(12);
  font.setBold(true);
  return font;
}

template <class T>
T* Named(T* object, const char* name) {
  object->setObjectName(QString::fromLatin1(name));
  return object;
}

}  // namespace

Fyldra3::Fyldra3(fyldra3::FileAccess& access, QWidget* parent)
    : QMainWindow(parent),
      Label(Named(new QLabel, "Label")),
      Result(Named(new QPlainTextEdit, "Result")),
      Menu(Named(menuBar()->addMenu(QStringLiteral("ファイル")), "Menu")),
      mnuOpen(Named(Menu->addAction(QStringLiteral("開く")), "mnuOpen")),
      CommonDialog1(Named(new QFileDialog(this), "CommonDialog1")),
      access_(access),
      runner_([](QFileDialog& dialog) { return dialog.exec(); }) {
  setObjectName(QStringLiteral("Fyldra3"));
  setWindowTitle(QStringLiteral("Fyldra3.0"));
  // Minimize and close boxes, no maximize box; set before the first show so
  // the window manager hints (_MOTIF_WM_HINTS under X) never offer maximize.
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);

  // The parts sit at fixed places in the client area; resizing the frame
  // leaves them where they are.
  auto* client = new QWidget;
  client->setObjectName(QStringLiteral("client"));
  Label->setParent(client);
  Label->setGeometry(kLabelRect);
  Result->setParent(client);
  Result->setGeometry(kResultRect);
  setCentralWidget(client);

  Result->setLineWrapMode(QPlainTextEdit::NoWrap);
  Result->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  Result->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  Result->setFont(ResultFont());
  Result->setTabChangesFocus(true);
  Result->setAccessibleName(QStringLiteral("調査結果"));
  // The hint line keeps its own text as its accessible name (QLabel's default).
  Label->setFocusPolicy(Qt::NoFocus);
  Result->setFocus();

  // Menu: "ファイル" > "開く", no shortcut keys and no mnemonics.
  mnuOpen->setShortcuts({});
  connect(mnuOpen, &QAction::triggered, this, &Fyldra3::mnuOpen_Click);

  // CommonDialog1: Qt's own Open dialog, the same everywhere and testable.
  CommonDialog1->setOption(QFileDialog::DontUseNativeDialog);
  CommonDialog1->setFileMode(QFileDialog::ExistingFile);
  CommonDialog1->setAcceptMode(QFileDialog::AcceptOpen);
  CommonDialog1->setWindowModality(Qt::ApplicationModal);
  CommonDialog1->setFilter(CommonDialog1->filter() & ~QDir::CaseSensitive);
  if (auto* combo = CommonDialog1->findChild<QComboBox*>(QStringLiteral("fileTypeCombo"))) {
    // Runs after the dialog's own handler, which has just set the patterns of the description.
    connect(combo, &QComboBox::activated, this, &Fyldra3::UseFilterPatterns);
  }

  // Files dropped anywhere on the window come to the window: the result box
  // takes no drops of its own.
  setAcceptDrops(true);
  Result->setAcceptDrops(false);
  Result->viewport()->setAcceptDrops(false);

  // Client area 470 x 120 below the menu bar.
  resize(kClientWidth, kClientHeight + menuBar()->sizeHint().height());
}

Fyldra3::~Fyldra3() = default;

void Fyldra3::SetDialogRunner(DialogRunner runner) { runner_ = std::move(runner); }

void Fyldra3::Form_Load(const std::string& argumentText) {
  Label->setText(kHint);
  std::filesystem::path path;
  if (!argumentText.empty()) {
    path = argumentText;  // the bytes, unchanged: nothing split, no quotes removed
  } else {
    path = ChooseFile();
    if (path.empty()) return;
  }
  InspectFile(path);
  if (closed_) return;
  Label->setText(kHint);
}

void Fyldra3::InspectFile(const std::filesystem::path& path) {
  if (closed_) return;
  ++runs_;
  // Busy pointer, blank hint and the progress text, shown at once; then the
  // pause, and only then the classification and its report.
  setCursor(Qt::WaitCursor);
  Label->setText(kBlankHint);
  Result->setPlainText(PathText(path) + QStringLiteral("\r\nファイルの調査中．．．"));
  show();
  if (Pause()) {  // false when the window was closed: nothing is classified
    const fyldra3::Outcome outcome = fyldra3::ClassifyFile(path, access_);
    Result->setPlainText(QString::fromStdString(fyldra3::ReportText(path, outcome)));
    unsetCursor();
  }
  --runs_;
}

bool Fyldra3::Pause() {
  // A nested event loop ended by a one-second timer: events are processed
  // throughout, nothing spins, and the timer's monotonic clock does not care
  // about midnight. Closing the window ends every pause at once.
  QEventLoop loop;
  QTimer timer;
  timer.setSingleShot(true);
  timer.setTimerType(Qt::PreciseTimer);
  connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
  connect(this, &Fyldra3::closedDuringRun, &loop, &QEventLoop::quit);
  timer.start(1000);
  if (!closed_) loop.exec();
  return !closed_;
}

std::filesystem::path Fyldra3::ChooseFile() {
  CommonDialog1->setNameFilters(kFilterDescriptions);
  CommonDialog1->selectNameFilter(kFilterDescriptions.front());
  UseFilterPatterns(0);
  if (runner_(*CommonDialog1) != QDialog::Accepted) return {};
  const QStringList files = CommonDialog1->selectedFiles();
  if (files.isEmpty()) return {};
  const QByteArray bytes = QFile::encodeName(files.front());
  return std::filesystem::path(std::string(bytes.constData(), static_cast<std::size_t>(bytes.size())));
}

void Fyldra3::UseFilterPatterns(int entry) {
  auto* model = CommonDialog1->findChild<QFileSystemModel*>(QStringLiteral("qt_filesystem_model"));
  if (model == nullptr || entry < 0 || entry >= static_cast<int>(std::size(kEntryPatterns))) return;
  model->setNameFilters(kEntryPatterns[entry]);
}

void Fyldra3::mnuOpen_Click() {
  Label->setText(kHint);
  const std::filesystem::path name = ChooseFile();
  if (name.empty() || closed_) return;
  InspectFile(name);
  if (closed_) return;
  Label->setText(kHint);
}

void Fyldra3::OpenDropped(const std::filesystem::path& path) {
  if (path.empty() || closed_) return;
  Label->setText(kHint);
  InspectFile(path);
  if (closed_) return;
  Label->setText(kHint);
}

std::filesystem::path Fyldra3::DroppedFile(const QMimeData* data) {
  if (data == nullptr || !data->hasUrls()) return {};
  const QList<QUrl> urls = data->urls();
  if (urls.isEmpty()) return {};
  const QUrl& url = urls.front();
  const QString host = url.host();
  if (!url.isLocalFile() || !(host.isEmpty() || host == QStringLiteral("localhost"))) return {};
  // The path's bytes as the file manager percent-encoded them, so a name
  // that is not UTF-8 (Shift_JIS) arrives unchanged.
  const QByteArray bytes = QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1());
  if (bytes.isEmpty()) return {};
  return std::filesystem::path(std::string(bytes.constData(), static_cast<std::size_t>(bytes.size())));
}

void Fyldra3::dragEnterEvent(QDragEnterEvent* event) {
  if (DroppedFile(event->mimeData()).empty()) {
    event->ignore();  // the pointer shows the refusal
  } else {
    event->acceptProposedAction();
  }
}

void Fyldra3::dragMoveEvent(QDragMoveEvent* event) {
  if (DroppedFile(event->mimeData()).empty()) {
    event->ignore();
  } else {
    event->acceptProposedAction();
  }
}

void Fyldra3::dropEvent(QDropEvent* event) {
  std::filesystem::path path = DroppedFile(event->mimeData());
  if (path.empty()) {
    event->ignore();
    return;
  }
  event->acceptProposedAction();
  // The run starts once the drop is over, so the file manager is not kept
  // waiting for a second; during a pause it is a nested run, as File > Open.
  QTimer::singleShot(0, this, [this, path = std::move(path)] {
    if (isVisible()) OpenDropped(path);
  });
}

void Fyldra3::closeEvent(QCloseEvent* event) {
  QMainWindow::closeEvent(event);
  if (event->isAccepted() && runs_ > 0) {
    closed_ = true;
    emit closedDuringRun();
  }
}
