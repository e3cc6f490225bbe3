// fyldra3-scan: prints the verdict for each path, one line each, in order.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "options.h"
#include "pipeline.h"
#include "progress.h"
#include "sources.h"

namespace {

using namespace fyldra3::scan;

// Output piped into a program that has quit (head) ends the program quietly,
// as it does other tools, and so do Ctrl-C and kill; but the progress line
// is taken off the terminal first.
extern "C" void OnEndingSignal(int signal) {
  if (Progress::shown.load()) {
    [[maybe_unused]] const ssize_t n = ::write(STDERR_FILENO, "\r\033[K", 4);
  }
  std::signal(signal, SIG_DFL);
  std::raise(signal);  // delivered, with its default effect, once this handler returns
}

void CatchEndingSignals() {
  struct sigaction action {};
  action.sa_handler = OnEndingSignal;
  sigemptyset(&action.sa_mask);
  for (const int signal : {SIGPIPE, SIGINT, SIGTERM}) {
    struct sigaction old {};
    // Signals ignored by whoever started the program (nohup, a shell's background job) stay ignored;
    // SIGPIPE never: a closed pipe must end the program rather than fail every write.
    if (signal != SIGPIPE && ::sigaction(signal, nullptr, &old) == 0 && old.sa_handler == SIG_IGN) continue;
    ::sigaction(signal, &action, nullptr);
  }
}

void Message(std::string_view what, std::string_view name = {}, int error = 0) {
  std::string text = "fyldra3-scan: ";
  text.append(what).append(name);
  if (error != 0) {
    text.append(" (");
    switch (error) {
      case ENOENT: text.append("見つかりません"); break;
      case EACCES:
      case EPERM: text.append("読み取る権限がありません"); break;
      case EISDIR: text.append("フォルダーです"); break;
      case ENOSPC: text.append("空き容量がありません"); break;
      case EBADF: text.append("閉じられています"); break;
      case EIO: text.append("入出力エラー"); break;
      case EMFILE:
      case ENFILE: text.append("開いているファイルが多すぎます"); break;
      default: text.append("エラー番号 ").append(std::to_string(error)); break;
    }
    text.append(")");
  }
  text.append("\n");
  std::fputs(text.c_str(), stderr);
}

// Enough descriptors for the folders held open by the files in flight.
void RaiseDescriptorLimit() {
  rlimit limit{};
  if (::getrlimit(RLIMIT_NOFILE, &limit) != 0) return;
  const rlim_t wanted = 4096;
  if (limit.rlim_cur >= wanted || limit.rlim_cur == RLIM_INFINITY) return;
  limit.rlim_cur = limit.rlim_max == RLIM_INFINITY || limit.rlim_max > wanted ? wanted : limit.rlim_max;
  ::setrlimit(RLIMIT_NOFILE, &limit);
}

// Opens each list file before anything is examined; -1 for plain paths.
bool OpenLists(const Options& options, std::vector<int>& fds) {
  for (const Source& source : options.sources) {
    int fd = -1;
    if (source.kind == Source::Kind::FilesFrom) {
      fd = source.text == "-" ? STDIN_FILENO : ::open(std::string(source.text).c_str(), O_RDONLY | O_CLOEXEC);
      struct stat st {};
      int error = fd < 0 ? errno : 0;
      if (error == 0 && ::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) error = EISDIR;
      if (error != 0) {
        Message("パスの一覧ファイルを開けません: ", source.text, error);
        return false;
      }
    }
    fds.push_back(fd);
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  CatchEndingSignals();

  const auto options = ParseOptions(argc, argv);
  if (!options) return 2;
  if (options->help || options->version) {
    options->help ? PrintHelp() : PrintVersion();
    if (std::fflush(stdout) != 0) {
      Message("説明を書き出せませんでした", {}, errno);
      return 1;
    }
    return 0;
  }
  std::vector<int> lists;
  if (!OpenLists(*options, lists)) return 2;
  RaiseDescriptorLimit();

  RunSettings settings;
  settings.form = {options->format, options->print0, options->hash};
  settings.bom = options->bom;
  settings.summary = options->summary;
  settings.archives = options->archives;
  settings.jobs = options->jobs;
  settings.progress = ::isatty(STDERR_FILENO) == 1;
  settings.outputIsTerminal = ::isatty(STDOUT_FILENO) == 1;
  if (!options->recursive && lists.end() == std::find_if(lists.begin(), lists.end(), [](int fd) { return fd >= 0; })) {
    settings.total = options->sources.size();  // one line per argument
  }

  struct ListError {
    std::string name;
    int error;
  };
  std::vector<ListError> listErrors;
  Pipeline pipeline(settings);
  bool go = true;
  for (std::size_t i = 0; go && i < options->sources.size(); ++i) {
    const Source& source = options->sources[i];
    if (source.kind == Source::Kind::Path) {
      go = EmitPath(std::string(source.text), options->recursive, pipeline);
      continue;
    }
    const int error = ReadList(lists[i], options->nulList,
                               [&](std::string&& path) { return go = EmitPath(std::move(path), options->recursive, pipeline); });
    if (error != 0) listErrors.push_back({std::string(source.text), error});
    if (lists[i] != STDIN_FILENO) ::close(lists[i]);
  }
  const Pipeline::Result result = pipeline.Finish();

  for (const ListError& e : listErrors) Message("パスの一覧ファイルを最後まで読めませんでした: ", e.name, e.error);
  if (result.writeError != 0) {
    Message("結果を標準出力に書き出せませんでした", {}, result.writeError);
    return 1;
  }
  return result.allExamined && listErrors.empty() ? 0 : 1;
}
