// fyldra3-scan: prints the verdict for each path, one line each, in order.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <exception>
#include <new>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "descriptors.h"
#include "fyldra3/system_errors.h"
#include "options.h"
#include "pipeline.h"
#include "progress.h"
#include "sources.h"

namespace {

using namespace fyldra3::scan;

// Output piped into a program that has quit (head) ends the program quietly,
// as it does other tools, and so do Ctrl-C and kill; but the progress line
// is taken off the terminal first. A signal ignored by whoever started the
// program stays ignored (nohup, a shell's background job, `trap '' PIPE`):
// a closed pipe is then a write error, reported once.
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
    if (::sigaction(signal, nullptr, &old) == 0 && old.sa_handler == SIG_IGN) continue;
    ::sigaction(signal, &action, nullptr);
  }
}

// Descriptors 0, 1 and 2 open, as the standard tools make sure: otherwise the
// first file opened would become standard input or output. A closed one gets
// /dev/null the wrong way round, so that using it fails as closed (EBADF).
void OpenStandardDescriptors() {
  for (const int fd : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}) {
    if (::fcntl(fd, F_GETFD) >= 0 || errno != EBADF) continue;
    const int opened = ::open("/dev/null", fd == STDIN_FILENO ? O_WRONLY : O_RDONLY);
    if (opened != fd) _exit(2);  // nothing sensible can follow, nor be said
  }
}

std::string MessageText(std::string_view what, std::string_view name = {}, int error = 0) {
  std::string text = "fyldra3-scan: ";
  text.append(what).append(name);
  if (error != 0) {
    const std::string_view cause = fyldra3::ErrnoCause(error);
    text.append(" (");
    if (cause.empty()) {
      text.append("エラー番号 ").append(std::to_string(error));
    } else {
      text.append(cause);
    }
    text.append(")");
  }
  text.append("\n");
  return text;
}

void Message(std::string_view what, std::string_view name = {}, int error = 0) {
  std::fputs(MessageText(what, name, error).c_str(), stderr);
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
      // Standard input closed when the program started (now /dev/null for writing), or open only for writing.
      if (error == 0 && fd == STDIN_FILENO && (::fcntl(fd, F_GETFL) & O_ACCMODE) == O_WRONLY) error = EBADF;
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

// Whether any list is read from a terminal: someone typing paths, whom the
// progress line would get in the way of.
bool ListFromTerminal(const std::vector<int>& lists) {
  return std::any_of(lists.begin(), lists.end(), [](int fd) { return fd >= 0 && ::isatty(fd) == 1; });
}

// The line of a list an entry came from, for messages: "3 行目", or "3 番目の項目" in a NUL list.
std::string EntryPlace(std::uint64_t number, bool nul) {
  return std::to_string(number) + (nul ? " 番目の項目" : " 行目");
}

int Run(int argc, char** argv) {
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
  descriptors::Share();

  RunSettings settings;
  settings.form = {options->format, options->print0, options->hash};
  settings.bom = options->bom;
  settings.summary = options->summary;
  settings.archives = options->archives;
  settings.jobs = options->jobs;
  settings.progress = ::isatty(STDERR_FILENO) == 1 && !ListFromTerminal(lists);
  settings.outputIsTerminal = ::isatty(STDOUT_FILENO) == 1;
  if (!options->recursive && lists.end() == std::find_if(lists.begin(), lists.end(), [](int fd) { return fd >= 0; })) {
    settings.total = options->sources.size();  // one line per argument
  }

  struct ListError {
    std::string name;
    int error;
  };
  std::vector<ListError> listErrors;
  bool entriesSkipped = false;
  Pipeline pipeline(settings);
  bool go = true;
  for (std::size_t i = 0; go && i < options->sources.size(); ++i) {
    const Source& source = options->sources[i];
    if (source.kind == Source::Kind::Path) {
      go = EmitPath(std::string(source.text), options->recursive, pipeline);
      continue;
    }
    // Said at once: a list that never ends (/dev/zero) is read on without end.
    const auto tooLong = [&](std::uint64_t number) {
      entriesSkipped = true;
      pipeline.Note(MessageText("パスの一覧ファイル " + std::string(source.text) + " の " + EntryPlace(number, options->nulList) +
                                "は長すぎるため飛ばしました (" + std::to_string(kMaxListEntry) + " バイトを超えています)"));
    };
    const int error = ReadList(
        lists[i], options->nulList,
        [&](std::string&& path) { return go = EmitPath(std::move(path), options->recursive, pipeline); }, tooLong);
    if (error != 0) listErrors.push_back({std::string(source.text), error});
    if (lists[i] != STDIN_FILENO) ::close(lists[i]);
  }
  const Pipeline::Result result = pipeline.Finish();

  for (const ListError& e : listErrors) Message("パスの一覧ファイルを最後まで読めませんでした: ", e.name, e.error);
  if (descriptors::ShortageSeen()) {
    Message("開けるファイルの数の上限 (ulimit -n) に達したため、開けなかったファイルがあります", {}, EMFILE);
  }
  if (result.internalError != 0) {
    Message("処理を続けられませんでした", {}, result.internalError);
    return 2;
  }
  if (result.writeError != 0) {
    Message("結果を標準出力に書き出せませんでした", {}, result.writeError);
    return 1;
  }
  return result.allExamined && listErrors.empty() && !entriesSkipped ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  OpenStandardDescriptors();
  CatchEndingSignals();
  // Nothing may end the program as an abort: running out of memory or threads is said in words.
  try {
    return Run(argc, argv);
  } catch (const std::bad_alloc&) {
    Message("処理を続けられませんでした", {}, ENOMEM);
  } catch (const std::system_error& e) {
    Message("処理を続けられませんでした", {}, e.code().category() == std::system_category() ? e.code().value() : EIO);
  } catch (...) {
    Message("処理を続けられませんでした (内部のエラー)");
  }
  return 2;
}
