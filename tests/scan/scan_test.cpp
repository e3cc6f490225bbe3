// fyldra3-scan as a user runs it: its output forms and exit statuses.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;
const fs::path kData = FYLDRA3_TEST_DATA;

struct Finished {
  int status = -1;  // the exit status, or -1 when ended by a signal
  int signal = 0;   // the signal that ended it
  std::string out, err;
  std::size_t outWhileInputOpen = 0;  // bytes of `out` read before standard input was closed
};

struct ScanRun {
  std::vector<std::string> args;
  std::optional<std::string> input = std::nullopt;  // standard input through a pipe (else /dev/null)
  int holdInputMs = 0;               // how long the pipe stays open after the input
  const char* outputFile = nullptr;  // standard output opened on this file instead of a pipe
  bool closeOutput = false;          // the reading end of standard output closed at once
  bool errorOnTerminal = false;      // standard error is a pseudo-terminal; `err` is what it showed
  std::vector<std::string> wrapper = {};  // a program that runs fyldra3-scan (setpriv ...)
  bool closeInput = false;           // standard input closed, as by `<&-`
  bool inputOnTerminal = false;      // `input` typed at a pseudo-terminal, then end of file (Ctrl-D)
  unsigned short errorColumns = 0;   // the width of standard error's terminal, when not 0
  bool pipeIgnored = false;          // started with SIGPIPE ignored, as by `trap '' PIPE`
};

// A wrapper that runs fyldra3-scan under a shell's `ulimit` (both hard and soft limits).
std::vector<std::string> Ulimit(const std::string& option, const std::string& value) {
  return {"/bin/sh", "-c", "ulimit " + option + " " + value + " && exec \"$0\" \"$@\""};
}

// Runs fyldra3-scan as described and collects what it wrote.
Finished Spawn(const ScanRun& run) {
  std::vector<char*> argv;
  for (const std::string& w : run.wrapper) argv.push_back(const_cast<char*>(w.c_str()));
  const char* program = run.wrapper.empty() ? FYLDRA3_SCAN : run.wrapper[0].c_str();
  argv.push_back(const_cast<char*>(FYLDRA3_SCAN));
  for (const std::string& a : run.args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  int in[2] = {-1, -1}, out[2] = {-1, -1}, err[2] = {-1, -1};
  // A pseudo-terminal: [0] the side the test holds, [1] the one the child gets.
  const auto terminal = [](int ends[2]) {
    ends[0] = posix_openpt(O_RDWR | O_NOCTTY);
    if (ends[0] < 0 || grantpt(ends[0]) != 0 || unlockpt(ends[0]) != 0) return false;
    ends[1] = open(ptsname(ends[0]), O_RDWR | O_NOCTTY);  // held until the child has it
    return ends[1] >= 0;
  };
  if (run.inputOnTerminal) {
    if (!terminal(in)) return {};
    std::swap(in[0], in[1]);  // in[0] the child's, in[1] the test's, as with a pipe
  } else if (run.input && pipe(in) != 0) {
    return {};
  }
  if (pipe(out) != 0) return {};
  if (run.errorOnTerminal) {
    if (!terminal(err)) return {};
    if (run.errorColumns != 0) {
      winsize size{};
      size.ws_row = 24;
      size.ws_col = run.errorColumns;
      ioctl(err[0], TIOCSWINSZ, &size);
    }
  } else if (pipe(err) != 0) {
    return {};
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (run.closeInput) {
    posix_spawn_file_actions_addclose(&actions, 0);
  } else if (run.input) {
    posix_spawn_file_actions_adddup2(&actions, in[0], 0);
    posix_spawn_file_actions_addclose(&actions, in[1]);
  } else {
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  }
  if (run.outputFile != nullptr) {
    posix_spawn_file_actions_addopen(&actions, 1, run.outputFile, O_WRONLY, 0);
  } else {
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  }
  posix_spawn_file_actions_adddup2(&actions, err[1], 2);
  posix_spawn_file_actions_addclose(&actions, out[0]);
  posix_spawn_file_actions_addclose(&actions, err[0]);
  // This process ignores SIGPIPE (a child that quits before reading its input
  // must not end the test); the child gets the default, as from a shell.
  std::signal(SIGPIPE, SIG_IGN);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t defaults;
  sigemptyset(&defaults);
  if (!run.pipeIgnored) sigaddset(&defaults, SIGPIPE);
  posix_spawnattr_setsigdefault(&attributes, &defaults);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);
  pid_t pid = 0;
  Finished finished;
  const int spawned = posix_spawn(&pid, program, &actions, &attributes, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  close(out[1]);
  close(err[1]);
  if (run.input) close(in[0]);
  if (run.closeOutput || run.outputFile != nullptr) {
    close(out[0]);
    out[0] = -1;
  }
  if (spawned != 0) return finished;

  std::size_t inputAt = 0;
  int heldTerminal = -1;
  const auto start = std::chrono::steady_clock::now();
  const auto holdUntil = start + std::chrono::milliseconds(run.holdInputMs);
  if (run.input) fcntl(in[1], F_SETFL, O_NONBLOCK);
  pollfd fds[] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}, {run.input ? in[1] : -1, POLLOUT, 0}};
  std::string* sinks[] = {&finished.out, &finished.err};
  for (;;) {
    const bool writing = fds[2].fd >= 0 && inputAt < run.input->size();
    // A terminal stays open until the child has gone: its end of file is a Ctrl-D typed at a line's start.
    if (!writing && fds[2].fd >= 0 && run.inputOnTerminal && std::chrono::steady_clock::now() >= holdUntil) {
      [[maybe_unused]] const ssize_t typed = write(fds[2].fd, "\x04", 1);
      heldTerminal = fds[2].fd;  // not polled any more: it would report the child's hang-up at once
      fds[2].fd = -1;
    }
    if (!writing && fds[2].fd >= 0 && !run.inputOnTerminal && std::chrono::steady_clock::now() >= holdUntil) {
      close(fds[2].fd);
      fds[2].fd = -1;
    }
    fds[2].events = writing ? POLLOUT : 0;
    if (fds[0].fd < 0 && fds[1].fd < 0) break;
    const int timeout = fds[2].fd >= 0 && !writing ? 10 : -1;
    if (poll(fds, 3, timeout) < 0) break;
    if (writing && (fds[2].revents & (POLLOUT | POLLERR | POLLHUP)) != 0) {
      const ssize_t n = write(fds[2].fd, run.input->data() + inputAt, run.input->size() - inputAt);
      if (n > 0) {
        inputAt += static_cast<std::size_t>(n);
      } else {
        inputAt = run.input->size();  // the reader is gone
      }
    }
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0) continue;
      char buffer[4096];
      const ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
      if (n > 0) {
        sinks[i]->append(buffer, static_cast<std::size_t>(n));
        if (i == 0 && fds[2].fd >= 0) finished.outWhileInputOpen = finished.out.size();
      } else {  // the end (EIO on a pseudo-terminal whose other side is closed)
        close(fds[i].fd);
        fds[i].fd = -1;
      }
    }
  }
  if (fds[2].fd >= 0) close(fds[2].fd);
  if (heldTerminal >= 0) close(heldTerminal);
  int status = 0;
  waitpid(pid, &status, 0);
  finished.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  finished.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
  return finished;
}

Finished Scan(const std::vector<std::string>& args) { return Spawn({args}); }

std::string Data(const char* name) { return (kData / name).string(); }

// Sets the file's modification time to 2023-11-14T22:13:20Z.
constexpr const char* kModified = "2023-11-14T22:13:20Z";
void SetModified(const std::string& path) {
  const struct timespec times[2] = {{0, UTIME_OMIT}, {1700000000, 0}};
  utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW);
}

TEST(Scan, PlainLinesInTheOrderGiven) {
  const Finished r = Scan({Data("simple.doc"), Data("lorem-ipsum.rtf"), Data("quick.doc")});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, Data("simple.doc") + ": Microsoft Word 97/98 ファイルです。\n" + Data("lorem-ipsum.rtf") +
                       ": リッチテキスト(rtf)ファイルです。\n" + Data("quick.doc") +
                       ": Word 6.0、95、97/98、2000　のファイルではありません。\n");
  EXPECT_EQ(r.err, "");
}

TEST(Scan, JsonForEveryRealDocument) {
  const struct {
    const char* file;
    const char* verdict;
  } docs[] = {{"Bug60942.doc", "Word6"},          {"TestMickey.doc", "Word95"},   {"simple.doc", "Word97_98"},
              {"TestGermanWord90.doc", "Word2000"}, {"quick.doc", "NotWord"},       {"SampleDoc.docx", "NotWord"},
              {"lorem-ipsum.rtf", "RichText"},      {"lorem-ipsum.txt", "PlainText"}};
  std::vector<std::string> args{"--json"};
  for (const auto& d : docs) args.push_back(Data(d.file));
  const Finished r = Scan(args);
  EXPECT_EQ(r.status, 0);
  // Check each line's fields rather than repeating every message text here.
  std::size_t at = 0;
  for (const auto& d : docs) {
    const std::size_t end = r.out.find('\n', at);
    ASSERT_NE(end, std::string::npos);
    const std::string text = r.out.substr(at, end - at);
    EXPECT_EQ(text.rfind("{\"path\": \"" + Data(d.file) + "\", \"verdict\": \"" + d.verdict + "\", \"message\": \"", 0),
              0u)
        << text;
    at = end + 1;
  }
  EXPECT_EQ(at, r.out.size());
  EXPECT_NE(r.out.find("\"message\": \"Microsoft Word 97/98 ファイルです。\", \"size\": 19456, \"modified\": \""),
            std::string::npos);
  EXPECT_NE(r.out.find("\"basis\": {\"signature\": \"Microsoft Word 8.0\", \"check\": 5, \"offset\": 9084, "
                       "\"control\": 2}}\n"),
            std::string::npos);
}

class ScanFiles : public testing::Test {
 protected:
  void SetUp() override {
    std::string name = (fs::path(testing::TempDir()) / "fyldra3-scan-XXXXXX").string();
    ASSERT_NE(mkdtemp(name.data()), nullptr);
    dir_ = name;
  }
  void TearDown() override { fs::remove_all(dir_); }
  fs::path dir_;
};

TEST_F(ScanFiles, FailuresInBothFormsExitOne) {
  const fs::path fifo = dir_ / "fifo";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  const std::string missing = (dir_ / "missing").string();
  const std::vector<std::string> paths = {missing, dir_.string(), fifo.string(), "/dev/zero", Data("simple.doc")};

  const Finished plain = Scan(paths);
  EXPECT_EQ(plain.status, 1);
  EXPECT_EQ(plain.out, missing + ": 見つかりません。\n" + dir_.string() + ": フォルダーのため調べられません。\n" +
                           fifo.string() + ": 通常のファイルではないため調べられません。\n" +
                           "/dev/zero: 通常のファイルではないため調べられません。\n" + Data("simple.doc") +
                           ": Microsoft Word 97/98 ファイルです。\n");

  std::vector<std::string> args{"--json"};
  args.insert(args.end(), paths.begin(), paths.end());
  const Finished json = Scan(args);
  EXPECT_EQ(json.status, 1);
  EXPECT_EQ(json.out.substr(0, json.out.find('\n')),
            "{\"path\": \"" + missing + "\", \"error\": \"not_found\", \"errno\": \"ENOENT\", \"message\": \"見つかりません。\"}");
  for (const char* key : {"\"error\": \"is_directory\"", "\"error\": \"not_regular\""}) {
    EXPECT_NE(json.out.find(key), std::string::npos) << key;
  }
}

TEST_F(ScanFiles, NamesThatAreNotUtf8) {
  const std::string name = (dir_ / "\x95\xB6\x8F\x91\".doc").string();
  std::ofstream(name, std::ios::binary) << std::string("\0Microsoft Word 6.0", 19);
  SetModified(name);

  const Finished plain = Scan({name});
  EXPECT_EQ(plain.status, 0);
  EXPECT_EQ(plain.out, name + ": Microsoft Word 6.0 ファイルです。\n");  // the bytes as they are

  const Finished json = Scan({"--json", name});
  EXPECT_EQ(json.status, 0);
  std::string hex;
  for (const char ch : name) {
    const auto c = static_cast<unsigned char>(ch);
    static constexpr char kHex[] = "0123456789abcdef";
    hex += kHex[c >> 4];
    hex += kHex[c & 15];
  }
  EXPECT_EQ(json.out, "{\"path\": \"" + dir_.string() + "/\uFFFD\uFFFD\uFFFD\uFFFD\\\".doc\", \"path_hex\": \"" + hex +
                          "\", \"verdict\": \"Word6\", \"message\": \"Microsoft Word 6.0 ファイルです。\", \"size\": 19, "
                          "\"modified\": \"" + kModified + "\", \"basis\": {\"signature\": \"Microsoft Word 6.0\", "
                          "\"check\": 0, \"offset\": 1, \"control\": 0}}\n");
}

TEST(Scan, UsageAndHelp) {
  const Finished none = Scan({});
  EXPECT_EQ(none.status, 2);
  EXPECT_EQ(none.out, "");
  EXPECT_NE(none.err.find("調べるファイルを指定してください。"), std::string::npos) << none.err;

  const Finished unknown = Scan({"--frobnicate", Data("simple.doc")});
  EXPECT_EQ(unknown.status, 2);
  EXPECT_EQ(unknown.out, "");
  EXPECT_NE(unknown.err.find("不明なオプションです: --frobnicate"), std::string::npos) << unknown.err;

  const Finished help = Scan({"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("使い方: fyldra3-scan"), std::string::npos);
  EXPECT_EQ(help.err, "");
}

TEST(Scan, DoubleDashEndsTheOptions) {
  const Finished r = Scan({"--", "--json"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "--json: 見つかりません。\n");
}

// --- whole archives --------------------------------------------------------

const std::string kWord97 = ": Microsoft Word 97/98 ファイルです。\n";
const std::string kText = ": テキストファイルと思われます。\n";
const std::string kRtf = ": リッチテキスト(rtf)ファイルです。\n";
const std::string kNotWord = ": Word 6.0、95、97/98、2000　のファイルではありません。\n";
const std::string kMissing = ": 見つかりません。\n";

void Write(const fs::path& path, const std::string& bytes) { std::ofstream(path, std::ios::binary) << bytes; }

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t end = text.find('\n', at);
    if (end == std::string::npos) {
      lines.push_back(text.substr(at));
      break;
    }
    lines.push_back(text.substr(at, end - at));
    at = end + 1;
  }
  return lines;
}

class ScanTree : public ScanFiles {
 protected:
  // tree/
  //   A.txt  a/ (y.rtf z.doc)  a.txt  b.txt  broken -> nowhere  c -> a  fifo
  //   link.doc -> simple.doc  sub/ (deeper/ (x.txt))  (an empty folder)
  void SetUp() override {
    ScanFiles::SetUp();
    tree_ = dir_ / "tree";
    fs::create_directories(tree_ / "a");
    fs::create_directories(tree_ / "sub" / "deeper");
    fs::create_directories(tree_ / "empty");
    Write(tree_ / "A.txt", "upper case sorts first\n");
    Write(tree_ / "a" / "y.rtf", "{\\rtf1 hello}");
    fs::copy_file(Data("simple.doc"), tree_ / "a" / "z.doc");
    Write(tree_ / "a.txt", "after the folder a: '.' > end of name\n");
    Write(tree_ / "b.txt", "b\n");
    fs::create_symlink(dir_ / "nowhere", tree_ / "broken");
    fs::create_directory_symlink("a", tree_ / "c");
    ASSERT_EQ(mkfifo((tree_ / "fifo").c_str(), 0600), 0);
    // The link's target is a copy in the test's own folder: the source tree may
    // sit where another user (nobody, below) cannot reach it.
    fs::copy_file(Data("simple.doc"), dir_ / "simple.doc");
    fs::create_symlink(dir_ / "simple.doc", tree_ / "link.doc");
    Write(tree_ / "sub" / "deeper" / "x.txt", "deep\n");
  }

  // The lines for the tree shown as `t`.
  static std::string Expected(const std::string& t) {
    return t + "/A.txt" + kText + t + "/a/y.rtf" + kRtf + t + "/a/z.doc" + kWord97 + t + "/a.txt" + kText + t +
           "/b.txt" + kText + t + "/broken" + kMissing + t + "/link.doc" + kWord97 + t + "/sub/deeper/x.txt" + kText;
  }

  fs::path tree_;
};

TEST_F(ScanTree, RecursionInByteOrderFollowingLinksToFilesOnly) {
  const Finished r = Scan({"-r", tree_.string()});
  EXPECT_EQ(r.out, Expected(tree_.string()));
  EXPECT_EQ(r.status, 1);  // the broken link
  EXPECT_EQ(r.err, "");

  // The same with a trailing slash, and through a link to the folder named on the command line.
  EXPECT_EQ(Scan({"--recursive", tree_.string() + "/"}).out, Expected(tree_.string()));
  fs::create_directory_symlink(tree_, dir_ / "tree-link");
  EXPECT_EQ(Scan({"-r", (dir_ / "tree-link").string()}).out, Expected((dir_ / "tree-link").string()));

  // Without -r a folder is what it was; with -r a file argument is examined as usual.
  const Finished flat = Scan({tree_.string(), (tree_ / "b.txt").string()});
  EXPECT_EQ(flat.out, tree_.string() + ": フォルダーのため調べられません。\n" + (tree_ / "b.txt").string() + kText);
  EXPECT_EQ(flat.status, 1);
  fs::remove(tree_ / "broken");
  const Finished files = Scan({"-r", (tree_ / "b.txt").string(), (tree_ / "a").string()});
  EXPECT_EQ(files.out, (tree_ / "b.txt").string() + kText + (tree_ / "a" / "y.rtf").string() + kRtf +
                           (tree_ / "a" / "z.doc").string() + kWord97);
  EXPECT_EQ(files.status, 0);
}

TEST_F(ScanTree, UnreadableFolderIsReportedAndTheWalkGoesOn) {
  // Root reads every folder: run the scanner as nobody then, if setpriv(1) is there.
  std::vector<std::string> wrapper;
  if (geteuid() == 0) {
    if (access("/usr/bin/setpriv", X_OK) != 0) GTEST_SKIP() << "root reads every folder, and no setpriv";
    wrapper = {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"};
    // Everything but the locked folder readable by nobody, whatever the umask
    // and the fixtures' modes.
    const fs::perms read = fs::perms::others_read | fs::perms::group_read;
    const fs::perms enter = fs::perms::others_exec | fs::perms::group_exec;
    fs::permissions(dir_, read | enter, fs::perm_options::add);
    for (const fs::directory_entry& e : fs::recursive_directory_iterator(dir_)) {
      if (e.is_symlink()) continue;
      fs::permissions(e.path(), e.is_directory() ? read | enter : read, fs::perm_options::add);
    }
  }
  fs::create_directory(tree_ / "locked");
  Write(tree_ / "locked" / "hidden.txt", "x\n");
  fs::permissions(tree_ / "locked", fs::perms::none);
  ScanRun run{{"-r", tree_.string()}};
  run.wrapper = wrapper;
  const Finished r = Spawn(run);
  fs::permissions(tree_ / "locked", fs::perms::owner_all);
  const std::string t = tree_.string();
  const std::string expected = Expected(t);
  const std::size_t at = expected.find(t + "/sub/");
  EXPECT_EQ(r.out, expected.substr(0, at) + t + "/locked: 読み取る権限がありません。\n" + expected.substr(at));
  EXPECT_EQ(r.status, 1);
}

TEST_F(ScanTree, JsonForTheWalk) {
  const std::string a = (tree_ / "a").string();
  SetModified(a + "/y.rtf");
  SetModified(a + "/z.doc");
  const Finished r = Scan({"-r", "--json", (tree_ / "a").string(), (tree_ / "broken").string()});
  const std::string facts = std::string("\"modified\": \"") + kModified + "\", \"basis\": ";
  EXPECT_EQ(r.out, "{\"path\": \"" + a + "/y.rtf\", \"verdict\": \"RichText\", \"message\": \"リッチテキスト(rtf)ファイルです。\", " +
                       "\"size\": 13, " + facts + "{\"signature\": \"{\\\\rtf\", \"offset\": 0}}\n" +
                       "{\"path\": \"" + a + "/z.doc\", \"verdict\": \"Word97_98\", \"message\": \"Microsoft Word 97/98 ファイルです。\", " +
                       "\"size\": 19456, " + facts + "{\"signature\": \"Microsoft Word 8.0\", \"check\": 5, \"offset\": 9084, " +
                       "\"control\": 2}}\n" +
                       "{\"path\": \"" + (tree_ / "broken").string() +
                       "\", \"error\": \"not_found\", \"errno\": \"ENOENT\", \"message\": \"見つかりません。\"}\n");
  EXPECT_EQ(r.status, 1);
}

TEST_F(ScanFiles, FilesFromNewlineList) {
  const fs::path list = dir_ / "list.txt";
  // Empty lines skipped, a CR kept as part of the name, the last line without a newline.
  Write(list, Data("simple.doc") + "\n\n\n" + Data("lorem-ipsum.rtf") + "\r\n" + Data("lorem-ipsum.rtf") + "\n" +
                  Data("quick.doc"));
  const std::string expected = Data("simple.doc") + kWord97 + Data("lorem-ipsum.rtf") + "\r" + kMissing +
                               Data("lorem-ipsum.rtf") + kRtf + Data("quick.doc") + kNotWord;
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"-f", list.string()}, {"--files-from", list.string()},
        {"--files-from=" + list.string()}, {"-f" + list.string()}}) {
    const Finished r = Scan(args);
    EXPECT_EQ(r.out, expected) << args[0];
    EXPECT_EQ(r.status, 1) << args[0];
  }

  // Standard input, a list of one file, and arguments around it, in command-line order.
  const Finished mixed = Spawn({{Data("quick.doc"), "-f", "-", Data("simple.doc")}, Data("lorem-ipsum.txt") + "\n"});
  EXPECT_EQ(mixed.out, Data("quick.doc") + kNotWord + Data("lorem-ipsum.txt") + kText + Data("simple.doc") + kWord97);
  EXPECT_EQ(mixed.status, 0);

  // An empty list: nothing to do, nothing wrong.
  Write(list, "");
  const Finished empty = Scan({"-f", list.string()});
  EXPECT_EQ(empty.out, "");
  EXPECT_EQ(empty.status, 0);
}

TEST_F(ScanFiles, FilesFromNulListOnStandardInput) {
  // Names no newline list can carry.
  const std::string newline = (dir_ / "two\nlines.doc").string();
  const std::string tab = (dir_ / " tab\there ").string();
  fs::copy_file(Data("simple.doc"), newline);
  Write(tab, "text\n");
  const std::string input = newline + '\0' + '\0' + tab + '\0' + Data("lorem-ipsum.rtf");  // no final NUL
  for (const char* null : {"-0", "--null"}) {
    const Finished r = Spawn({{null, "-f", "-"}, input});
    EXPECT_EQ(r.out, newline + kWord97 + tab + kText + Data("lorem-ipsum.rtf") + kRtf) << null;
    EXPECT_EQ(r.status, 0);
  }
  // Grouped short options, and JSON escapes the newline.
  const Finished json = Spawn({{"-0f", "-", "--json"}, newline + '\0'});
  EXPECT_EQ(json.out.substr(0, json.out.find(", \"verdict\"")), "{\"path\": \"" + dir_.string() + "/two\\u000alines.doc\"");

  // Folders in a list are walked with -r.
  fs::create_directory(dir_ / "folder");
  Write(dir_ / "folder" / "in.txt", "in\n");
  const Finished walked = Spawn({{"-r0", "-f", "-"}, (dir_ / "folder").string() + '\0'});
  EXPECT_EQ(walked.out, (dir_ / "folder" / "in.txt").string() + kText);
}

TEST_F(ScanFiles, ListedFilesAreExaminedAsTheyCome) {
  // More than the scanner holds back to hand over at once; the list stays
  // open: every line is written before it ends.
  std::string list, expected;
  for (int i = 0; i < 40; ++i) {
    list += Data("simple.doc") + "\n";
    expected += Data("simple.doc") + kWord97;
  }
  for (const char* jobs : {"1", "2"}) {
    ScanRun run{{"-j", jobs, "-f", "-"}, list};
    run.holdInputMs = 1500;
    const Finished r = Spawn(run);
    EXPECT_EQ(r.out, expected) << jobs;
    EXPECT_EQ(r.outWhileInputOpen, expected.size()) << jobs;
  }
}

TEST_F(ScanFiles, FilesFromThatCannotBeOpened) {
  const Finished missing = Scan({Data("simple.doc"), "-f", (dir_ / "no-list").string()});
  EXPECT_EQ(missing.status, 2);
  EXPECT_EQ(missing.out, "");  // nothing examined
  EXPECT_EQ(missing.err, "fyldra3-scan: パスの一覧ファイルを開けません: " + (dir_ / "no-list").string() + " (見つかりません)\n");
  const Finished folder = Scan({"-f", dir_.string()});
  EXPECT_EQ(folder.status, 2);
  EXPECT_NE(folder.err.find("パスの一覧ファイルを開けません"), std::string::npos) << folder.err;
}

class ScanMany : public ScanFiles {
 protected:
  // 12 folders of 50 files each, of several kinds and sizes, and the paths in the order expected.
  void SetUp() override {
    ScanFiles::SetUp();
    char name[32];
    for (int d = 0; d < 12; ++d) {
      std::snprintf(name, sizeof name, "d%02d", d);
      const fs::path folder = dir_ / name;
      fs::create_directory(folder);
      for (int f = 0; f < 50; ++f) {
        std::snprintf(name, sizeof name, "f%03d", f);
        const fs::path file = folder / name;
        switch ((d * 50 + f) % 4) {
          case 0: fs::copy_file(Data("simple.doc"), file); break;
          case 1: Write(file, std::string(static_cast<std::size_t>(f) * 100, 'x') + "\n"); break;
          case 2: Write(file, "{\\rtf1 " + std::to_string(f) + "}"); break;
          default: Write(file, std::string(static_cast<std::size_t>(f) * 37 + 3, '\1')); break;
        }
        paths_.push_back(file.string());
      }
    }
  }
  std::vector<std::string> paths_;
};

TEST_F(ScanMany, OutputIdenticalForAnyNumberOfJobs) {
  const Finished one = Scan({"-r", "--json", "--summary", "-j", "1", dir_.string()});
  ASSERT_EQ(one.status, 0);
  std::vector<std::string> lines = Lines(one.out);
  ASSERT_EQ(lines.size(), paths_.size() + 1);
  for (std::size_t i = 0; i < paths_.size(); ++i) {
    EXPECT_EQ(lines[i].rfind("{\"path\": \"" + paths_[i] + "\"", 0), 0u) << lines[i];
  }
  EXPECT_EQ(lines.back(),
            "{\"summary\": {\"Word6\": 0, \"Word95\": 0, \"Word95Likely\": 0, \"Word97_98\": 150, \"Word2000\": 0, "
            "\"RichText\": 150, \"PlainText\": 150, \"NotWord\": 150, \"not_found\": 0, \"permission_denied\": 0, "
            "\"is_directory\": 0, \"not_regular\": 0, \"read_error\": 0, \"encrypted\": 0, \"total\": 600}}");
  for (const char* jobs : {"-j4", "--jobs=2", "-j64"}) {
    const Finished many = Scan({"-r", "--json", "--summary", jobs, dir_.string()});
    EXPECT_EQ(many.status, 0) << jobs;
    EXPECT_TRUE(many.out == one.out) << jobs;  // not printed: 600 lines
  }

  // The plain lines from arguments (with failures among them) and from a NUL list agree too.
  std::vector<std::string> args{"-j", "1"};
  std::string list;
  for (std::size_t i = 0; i < paths_.size(); ++i) {
    const std::string path = i % 97 == 5 ? paths_[i] + "-missing" : paths_[i];
    args.push_back(path);
    list += path + '\0';
  }
  const Finished argsOne = Scan(args);
  EXPECT_EQ(argsOne.status, 1);
  EXPECT_EQ(Lines(argsOne.out).size(), paths_.size());
  args[1] = "4";
  EXPECT_TRUE(Scan(args).out == argsOne.out);
  const Finished listed = Spawn({{"-0", "-f", "-", "--jobs", "3"}, list});
  EXPECT_TRUE(listed.out == argsOne.out);
  EXPECT_EQ(listed.status, 1);
}

TEST(Scan, SummaryCounts) {
  const std::vector<std::string> files = {Data("Bug60942.doc"), Data("TestMickey.doc"),  Data("simple.doc"),
                                          Data("simple.doc"),   Data("TestGermanWord90.doc"), Data("quick.doc"),
                                          Data("SampleDoc.docx"), Data("lorem-ipsum.rtf"), Data("lorem-ipsum.txt"),
                                          Data("missing"),      Data("missing2"),        FYLDRA3_TEST_DATA};
  std::vector<std::string> args{"--summary"};
  args.insert(args.end(), files.begin(), files.end());
  const Finished plain = Scan(args);
  EXPECT_EQ(plain.status, 1);
  const std::string summary = plain.out.substr(plain.out.find("\n\n") + 1);
  EXPECT_EQ(summary,
            "\n集計:\n"
            "  Microsoft Word 6.0: 1 件\n"
            "  Microsoft Word 95: 1 件\n"
            "  Microsoft Word 95 (と思われる): 0 件\n"
            "  Microsoft Word 97/98: 2 件\n"
            "  Microsoft Word 2000: 1 件\n"
            "  リッチテキスト(rtf): 1 件\n"
            "  テキストファイル (と思われる): 1 件\n"
            "  Word 6.0、95、97/98、2000 のどれでもない: 2 件\n"
            "  調べられなかった (見つからない): 2 件\n"
            "  調べられなかった (フォルダー): 1 件\n"
            "  合計: 12 件 (調べられた 9 件、調べられなかった 3 件)\n");
  EXPECT_EQ(Lines(plain.out).size(), files.size() + 13);

  args[0] = "--json";
  args.insert(args.begin(), "--summary");
  const Finished json = Scan(args);
  EXPECT_EQ(json.status, 1);
  const std::vector<std::string> lines = Lines(json.out);
  ASSERT_EQ(lines.size(), files.size() + 1);
  EXPECT_EQ(lines.back(),
            "{\"summary\": {\"Word6\": 1, \"Word95\": 1, \"Word95Likely\": 0, \"Word97_98\": 2, \"Word2000\": 1, "
            "\"RichText\": 1, \"PlainText\": 1, \"NotWord\": 2, \"not_found\": 2, \"permission_denied\": 0, "
            "\"is_directory\": 1, \"not_regular\": 0, \"read_error\": 0, \"encrypted\": 0, \"total\": 12}}");

  // Nothing at all: still a summary, of zeros.
  const Finished none = Spawn({{"--summary", "--json", "-f", "-"}, ""});
  EXPECT_EQ(none.status, 0);
  EXPECT_EQ(none.out.rfind("{\"summary\": {\"Word6\": 0, ", 0), 0u) << none.out;
}

TEST(Scan, ExitStatusesAndBadOptions) {
  EXPECT_EQ(Scan({"-j", "3", Data("simple.doc")}).status, 0);
  EXPECT_EQ(Scan({"-rj2", "--summary", Data("simple.doc")}).status, 0);
  EXPECT_EQ(Scan({"--jobs=256", Data("simple.doc")}).status, 0);
  EXPECT_EQ(Scan({Data("simple.doc"), Data("missing")}).status, 1);
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"-j", "0"}, {"-j", "-1"}, {"-j", "abc"}, {"-j", "4x"}, {"--jobs="}, {"--jobs=257"},
        {"-j0"}, {"--jobs", "+3"}, {"-x"}, {"--recursive=yes"}}) {
    std::vector<std::string> withFile = args;
    withFile.push_back(Data("simple.doc"));
    const Finished r = Scan(withFile);
    EXPECT_EQ(r.status, 2) << args[0];
    EXPECT_EQ(r.out, "") << args[0];
    EXPECT_NE(r.err.find("fyldra3-scan: "), std::string::npos) << args[0];
    EXPECT_NE(r.err.find("使い方: fyldra3-scan"), std::string::npos) << args[0];
  }
  const Finished bad = Scan({"-j", "zero", Data("simple.doc")});
  EXPECT_NE(bad.err.find("-j (--jobs) には 1 から 256 までの整数を指定してください: zero"), std::string::npos) << bad.err;
  const Finished noValue = Scan({Data("simple.doc"), "-j"});
  EXPECT_EQ(noValue.status, 2);
  EXPECT_NE(noValue.err.find("オプションに値がありません: -j"), std::string::npos) << noValue.err;
  EXPECT_EQ(Scan({"-f"}).status, 2);

  const Finished help = Scan({"--help"});
  for (const char* option : {"--recursive", "--files-from", "--null", "--jobs", "--summary", "--json"}) {
    EXPECT_NE(help.out.find(option), std::string::npos) << option;
  }
}

TEST(Scan, OutputThatCannotBeWritten) {
  ScanRun run{{Data("simple.doc")}};
  run.outputFile = "/dev/full";
  const Finished full = Spawn(run);
  EXPECT_EQ(full.status, 1);
  EXPECT_EQ(full.err, "fyldra3-scan: 結果を標準出力に書き出せませんでした (空き容量がありません)\n");

  // A reader that has gone away (like head): ended by SIGPIPE, quietly. The list
  // stays open a while, so the reader is gone before the first write.
  ScanRun gone{{"-f", "-"}, Data("simple.doc") + "\n"};
  gone.holdInputMs = 300;
  gone.closeOutput = true;
  const Finished piped = Spawn(gone);
  EXPECT_EQ(piped.signal, SIGPIPE);
  EXPECT_EQ(piped.err, "");
}

TEST(Scan, ProgressOnlyOnATerminal) {
  // The list stays open for 1.2 s, so the run lasts longer than the half second.
  ScanRun slow{{"-f", "-", "--summary"}, Data("simple.doc") + "\n"};
  slow.holdInputMs = 1200;
  const Finished piped = Spawn(slow);
  EXPECT_EQ(piped.status, 0);
  EXPECT_EQ(piped.err, "");  // a pipe: no progress
  EXPECT_EQ(piped.out.substr(0, piped.out.find('\n') + 1), Data("simple.doc") + kWord97);

  slow.errorOnTerminal = true;
  const Finished terminal = Spawn(slow);
  EXPECT_EQ(terminal.status, 0);
  EXPECT_TRUE(terminal.out == piped.out);
  EXPECT_NE(terminal.err.find("\r\033[Kfyldra3-scan: 1 件 ("), std::string::npos) << terminal.err;
  EXPECT_NE(terminal.err.find(" 件/秒)"), std::string::npos) << terminal.err;
  ASSERT_GE(terminal.err.size(), 4u);
  EXPECT_EQ(terminal.err.substr(terminal.err.size() - 4), "\r\033[K");  // cleared at the end
  EXPECT_EQ(terminal.err.find('\n'), std::string::npos);

  // A quick run shows nothing even on a terminal.
  ScanRun quick{{Data("simple.doc")}};
  quick.errorOnTerminal = true;
  EXPECT_EQ(Spawn(quick).err, "");
}

}  // namespace

// --- evidence, digests, CSV and the command line ------------------------------

namespace {

// What a coreutils tool prints for one file: its digest in hex.
std::string ToolDigest(const std::string& tool, const std::string& path) {
  const std::string command = tool + " -- '" + path + "'";
  std::string out;
  if (FILE* p = popen(command.c_str(), "r")) {
    char buffer[512];
    while (fgets(buffer, sizeof buffer, p) != nullptr) out += buffer;
    pclose(p);
  }
  return out.substr(0, out.find(' '));
}

TEST_F(ScanFiles, DigestsEqualThoseOfCoreutils) {
  std::string word(3 << 20, 'w');  // several read blocks
  word[0] = '\0';
  word += "Microsoft Word 8.0";
  const std::vector<std::pair<std::string, std::string>> files = {
      {"empty", ""},
      {"settled.rtf", "{\\rtf1" + std::string(700000, 'r')},  // the sample decides: read on for the digest
      {"short.txt", "a few words\n"},
      {"word.doc", word},
  };
  std::vector<std::string> paths;
  for (const auto& [name, bytes] : files) {
    Write(dir_ / name, bytes);
    paths.push_back((dir_ / name).string());
  }
  paths.push_back(Data("simple.doc"));
  for (const char* tool : {"sha256sum", "md5sum", "sha1sum", "sha512sum"}) {
    const std::string name = std::string(tool).substr(0, std::string(tool).size() - 3);
    std::vector<std::string> args = {"--hash", name};
    args.insert(args.end(), paths.begin(), paths.end());
    const Finished r = Scan(args);
    ASSERT_EQ(r.status, 0) << r.err;
    const std::vector<std::string> lines = Lines(r.out);
    ASSERT_EQ(lines.size(), paths.size());
    for (std::size_t i = 0; i < paths.size(); ++i) {
      EXPECT_EQ(lines[i].substr(0, lines[i].find(' ')), ToolDigest(tool, paths[i])) << tool << " " << paths[i];
      EXPECT_EQ(lines[i].substr(lines[i].find(' '), paths[i].size() + 3), "  " + paths[i] + ":") << lines[i];
    }
    // The same digest in JSON, under the method's name.
    const Finished json = Scan({"--json", "--hash=" + name, paths[1]});
    EXPECT_NE(json.out.find("\"" + name + "\": \"" + ToolDigest(tool, paths[1]) + "\"}"), std::string::npos)
        << json.out;
  }
  // A file that cannot be read has no digest.
  const Finished missing = Scan({"--hash", "md5", (dir_ / "missing").string()});
  EXPECT_EQ(missing.out, "-  " + (dir_ / "missing").string() + ": 見つかりません。\n");
}

TEST_F(ScanFiles, Print0EndsPlainLinesInNul) {
  const std::string odd = (dir_ / "two\nlines.txt").string();
  Write(odd, "text\n");
  const Finished r = Scan({"-Z", odd, Data("simple.doc"), "--summary"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out.substr(0, r.out.find("\n集計:")), odd + kText.substr(0, kText.size() - 1) + '\0' +
                                                          Data("simple.doc") + kWord97.substr(0, kWord97.size() - 1) +
                                                          '\0');
}

TEST_F(ScanFiles, CsvQuotesWhatNeedsIt) {
  const std::string odd = (dir_ / "a,\"b\"\r\nc.txt").string();
  Write(odd, "text\n");
  SetModified(odd);
  const Finished r = Scan({"--csv", "--bom", odd, (dir_ / "missing").string()});
  EXPECT_EQ(r.status, 1);
  std::string quoted = "\"" + dir_.string() + "/a,\"\"b\"\"\r\nc.txt\"";
  EXPECT_EQ(r.out, "\xEF\xBB\xBFpath,path_hex,size,modified,verdict,message,basis_chars,basis_control,"
                   "basis_signature,basis_check,basis_offset,error,errno,digest\r\n" +
                       quoted + ",,5," + kModified + ",PlainText,テキストファイルと思われます。,5,,,,,,,\r\n" +
                       (dir_ / "missing").string() + ",,,,,見つかりません。,,,,,,not_found,ENOENT,\r\n");
  EXPECT_EQ(Scan({"--csv", Data("simple.doc")}).out.substr(0, 5), "path,");  // no mark unless asked
}

// Whatever the form, the offending option is named as written, a short one alone.
TEST(Scan, CommandLineErrorsNameTheOption) {
  const std::string doc = Data("simple.doc");
  const struct {
    std::vector<std::string> args;
    const char* message;
  } cases[] = {
      {{"-x", doc}, "不明なオプションです: -x\n"},
      {{"-rx", doc}, "不明なオプションです: -x\n"},
      {{"-xr", doc}, "不明なオプションです: -x\n"},
      {{"-rZx", doc}, "不明なオプションです: -x\n"},
      {{"-ré", doc}, "不明なオプションです: -é\n"},
      {{"-zrq", doc}, "不明なオプションです: -q\n"},
      {{"-r:", doc}, "不明なオプションです: -:\n"},
      {{"--frobnicate", doc}, "不明なオプションです: --frobnicate\n"},
      {{"--frobnicate=1", doc}, "不明なオプションです: --frobnicate\n"},
      {{"--j", doc}, "どのオプションか決められません (略しすぎです): --j\n"},
      {{"--recursive=yes", doc}, "このオプションは値をとりません: --recursive\n"},
      {{"--rec=yes", doc}, "このオプションは値をとりません: --rec\n"},
      {{doc, "-j"}, "オプションに値がありません: -j\n"},
      {{doc, "-rj"}, "オプションに値がありません: -j\n"},
      {{doc, "--jobs"}, "オプションに値がありません: --jobs\n"},
      {{doc, "--jo"}, "オプションに値がありません: --jo\n"},
      {{"--files-from="}, "オプションに値がありません: --files-from\n"},
      {{"-f"}, "オプションに値がありません: -f\n"},
      {{"--hash", "crc32", doc}, "--hash には md5、sha1、sha256、sha512 のどれかを指定してください: crc32\n"},
      {{"--jobs=0", doc}, "-j (--jobs) には 1 から 256 までの整数を指定してください: 0\n"},
      {{"--json", "--csv", doc}, "--json と --csv は一緒に指定できません。\n"},
      {{"--csv", "--summary", doc}, "--summary は --csv と一緒に指定できません。\n"},
      {{"--bom", doc}, "--bom は --csv と一緒に指定してください。\n"},
      {{"--json", "-Z", doc}, "-Z (--print0) は --json、--csv と一緒に指定できません。\n"},
      {{"-r"}, "調べるファイルを指定してください。\n"},
  };
  for (const auto& c : cases) {
    const Finished r = Scan(c.args);
    EXPECT_EQ(r.status, 2) << c.args[0];
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err.substr(0, r.err.find('\n') + 1), std::string("fyldra3-scan: ") + c.message) << c.args[0];
  }
}

// Abbreviations, "=value", grouping and "--" come from getopt_long; paths and lists keep their order.
TEST_F(ScanFiles, CommandLineForms) {
  const std::string doc = Data("simple.doc"), rtf = Data("lorem-ipsum.rtf"), txt = Data("lorem-ipsum.txt");
  const std::string list = (dir_ / "list").string();
  Write(list, rtf + "\n");
  const std::string expected = doc + kWord97 + rtf + kRtf + txt + kText;
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{doc, "-f", list, txt}, {doc, "--files-from=" + list, txt}, {doc, "-f" + list, txt},
        {doc, "--files=" + list, "-j2", txt}, {"--rec", doc, "-rj", "2", "-f", list, "--", txt},
        {doc, "--jobs=1", "--fil", list, txt}}) {
    const Finished r = Scan(args);
    EXPECT_EQ(r.out, expected) << args[1];
    EXPECT_EQ(r.status, 0) << r.err;
  }
  EXPECT_EQ(Scan({"--", "-x"}).out, "-x" + kMissing);
  EXPECT_EQ(Scan({"--csv", "--", "--json"}).out.substr(0, 5), "path,");
}

TEST(Scan, VersionFromTheBuild) {
  const Finished r = Scan({"--version"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, std::string("fyldra3-scan ") + FYLDRA3_VERSION + "\n");
  EXPECT_EQ(Scan({"--vers"}).out, r.out);
}

// Columns a terminal gives the text: two for East Asian wide characters.
std::size_t Columns(std::string_view line) {
  std::size_t columns = 0;
  for (std::size_t i = 0; i < line.size();) {
    const unsigned b = static_cast<unsigned char>(line[i]);
    const std::size_t length = b < 0x80 ? 1 : b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4;
    char32_t c = length == 1 ? b : b & (0x7Fu >> length);
    for (std::size_t k = 1; k < length && i + k < line.size(); ++k) {
      c = (c << 6) | (static_cast<unsigned char>(line[i + k]) & 0x3Fu);
    }
    columns += (c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0xA4CF) || (c >= 0xAC00 && c <= 0xD7A3) ||
                       (c >= 0xF900 && c <= 0xFAFF) || (c >= 0xFE30 && c <= 0xFE4F) || (c >= 0xFF00 && c <= 0xFF60) ||
                       (c >= 0xFFE0 && c <= 0xFFE6)
                   ? 2
                   : 1;
    i += length;
  }
  return columns;
}

TEST(Scan, HelpFitsEightyColumns) {
  const Finished help = Scan({"--help"});
  ASSERT_EQ(help.status, 0);
  EXPECT_EQ(Columns("「-」は標準入力"), 15u);
  for (const std::string& line : Lines(help.out)) EXPECT_LE(Columns(line), 80u) << line;
  for (const char* option : {"--csv", "--bom", "--hash", "--print0", "--version", "basis_offset", "errno"}) {
    EXPECT_NE(help.out.find(option), std::string::npos) << option;
  }
}

// Files under /sys state 4096 bytes and hold fewer: the verdict of what they hold.
TEST(Scan, FilesShorterThanTheirStatedSize) {
  const std::string file = "/sys/devices/system/cpu/online";
  struct stat st {};
  if (stat(file.c_str(), &st) != 0 || st.st_size != 4096) GTEST_SKIP() << "no " << file << " stating 4096 bytes here";
  const Finished r = Scan({file});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, file + kText);
}

TEST_F(ScanFiles, ClosedStandardInputIsAnErrorAboutDash) {
  // Otherwise the list opened next would become descriptor 0, and be read as standard input.
  const fs::path list = dir_ / "b.lst";
  Write(list, Data("simple.doc") + "\n");
  ScanRun run{{"-f", "-", "-f", list.string()}};
  run.closeInput = true;
  const Finished r = Spawn(run);
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "fyldra3-scan: パスの一覧ファイルを開けません: - (閉じられています)\n");
}

TEST_F(ScanFiles, AnEntryTooLongIsSkippedAndTheRestRead) {
  // 600 MB without a line break (a sparse file, taking no disk), then a path.
  const fs::path list = dir_ / "long.lst";
  {
    std::ofstream out(list, std::ios::binary);
    out.seekp(600 << 20);
    out << "\n" << Data("simple.doc") << "\n";
  }
  const std::string message = "fyldra3-scan: パスの一覧ファイル " + list.string() +
                              " の 1 行目は長すぎるため飛ばしました (65536 バイトを超えています)\n";
  ScanRun run{{"-f", list.string()}};
#if !defined(__SANITIZE_ADDRESS__)  // the sanitizer's shadow memory needs more address space than this
  run.wrapper = Ulimit("-v", "400000");
#endif
  const Finished r = Spawn(run);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.signal, 0);
  EXPECT_EQ(r.out, Data("simple.doc") + kWord97);
  EXPECT_EQ(r.err, message);

  // In a NUL-separated list the place is the entry's number.
  const Finished nul = Spawn({{"-0", "-f", "-"}, std::string("a\0", 2) + std::string(70000, 'x') + '\0' + Data("simple.doc")});
  EXPECT_EQ(nul.status, 1);
  EXPECT_EQ(nul.out, "a" + kMissing + Data("simple.doc") + kWord97);
  EXPECT_EQ(nul.err,
            "fyldra3-scan: パスの一覧ファイル - の 2 番目の項目は長すぎるため飛ばしました (65536 バイトを超えています)\n");
}

class ScanWide : public ScanFiles {
 protected:
  // 1500 folders of one file each: a walk that would hold a descriptor for each file in flight.
  void SetUp() override {
    ScanFiles::SetUp();
    char name[16];
    for (int d = 0; d < 1500; ++d) {
      std::snprintf(name, sizeof name, "d%04d", d);
      fs::create_directory(dir_ / name);
      Write(dir_ / name / "f", d % 2 == 0 ? "text\n" : "{\\rtf1}");
    }
  }
};

TEST_F(ScanWide, SameOutputUnderADescriptorLimit) {
  const Finished free = Scan({"-r", "-j1", dir_.string()});
  ASSERT_EQ(free.status, 0);
  ASSERT_EQ(Lines(free.out).size(), 1500u);
  // A hard limit too, which the program cannot raise.
  for (const char* limit : {"10", "12", "32"}) {
    for (const char* jobs : {"-j1", "-j4", "-j16"}) {
      ScanRun run{{"-r", jobs, dir_.string()}};
      run.wrapper = Ulimit("-n", limit);
      const Finished r = Spawn(run);
      EXPECT_EQ(r.status, 0) << limit << " " << jobs;
      EXPECT_TRUE(r.out == free.out) << limit << " " << jobs;  // not printed: 1500 lines
      EXPECT_EQ(r.err, "") << limit << " " << jobs;
    }
  }
}

TEST_F(ScanWide, TooFewDescriptorsAreSaidOnce) {
#ifdef FYLDRA3_SANITIZED
  GTEST_SKIP() << "UndefinedBehaviorSanitizer tests memory through a pipe of its own, and this limit leaves no "
                  "descriptor for it";
#endif
  // Three beside standard input, output and error: the top folder and one below it take both.
  ScanRun run{{"-r", "-j4", dir_.string()}};
  run.wrapper = Ulimit("-n", "5");
  const Finished r = Spawn(run);
  EXPECT_EQ(r.status, 1);
  const std::string message =
      "fyldra3-scan: 開けるファイルの数の上限 (ulimit -n) に達したため、開けなかったファイルがあります "
      "(開いているファイルが多すぎます)\n";
  EXPECT_EQ(r.err, message);
  EXPECT_NE(r.out.find(": 読み込めませんでした (開いているファイルが多すぎます)。\n"), std::string::npos);
}

TEST_F(ScanFiles, NoProgressWhilePathsAreTypedAtATerminal) {
  // Typed, then Ctrl-D after 1.2 s: the run lasts longer than the half second.
  ScanRun typed{{"-f", "-"}, Data("simple.doc") + "\n"};
  typed.inputOnTerminal = true;
  typed.errorOnTerminal = true;
  typed.holdInputMs = 1200;
  const Finished r = Spawn(typed);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, Data("simple.doc") + kWord97);
  EXPECT_EQ(r.err, "");
}

TEST(Scan, ProgressNeverWiderThanTheTerminal) {
  for (const unsigned short columns : {static_cast<unsigned short>(80), static_cast<unsigned short>(20), static_cast<unsigned short>(8)}) {
    ScanRun slow{{"-f", "-"}, Data("simple.doc") + "\n"};
    slow.holdInputMs = 1200;
    slow.errorOnTerminal = true;
    slow.errorColumns = columns;
    const Finished r = Spawn(slow);
    EXPECT_EQ(r.status, 0);
    // Each redraw begins by clearing the line; what follows it must fit, short of the last column.
    constexpr std::string_view kClear = "\r\033[K";
    std::size_t drawn = 0;
    for (std::size_t at = r.err.find(kClear); at != std::string::npos;) {
      const std::size_t next = r.err.find(kClear, at + kClear.size());
      const std::string line = r.err.substr(at + kClear.size(), next - at - kClear.size());
      EXPECT_LT(Columns(line), columns) << columns << ": " << line;
      if (!line.empty()) ++drawn;
      at = next;
    }
    EXPECT_GT(drawn, 0u) << columns << ": " << r.err;
  }
}

TEST(Scan, IgnoredSigpipeMakesAWriteErrorSaidOnce) {
  // As after `trap '' PIPE`: the reader is gone before the first write.
  ScanRun gone{{"-f", "-"}, Data("simple.doc") + "\n" + Data("quick.doc") + "\n"};
  gone.holdInputMs = 300;
  gone.closeOutput = true;
  gone.pipeIgnored = true;
  const Finished r = Spawn(gone);
  EXPECT_EQ(r.signal, 0);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "fyldra3-scan: 結果を標準出力に書き出せませんでした (出力先が閉じられています)\n");
}

TEST_F(ScanFiles, FailuresSayWhyInJapaneseAndJsonNamesTheErrno) {
  fs::create_symlink("loop", dir_ / "loop");
  Write(dir_ / "file", "text\n");
  const struct {
    std::string path;
    const char* error;
    const char* errnoName;
    std::string message;
  } cases[] = {
      {(dir_ / "loop").string(), "read_error", "ELOOP", "読み込めませんでした (リンクが循環しています)。"},
      {(dir_ / std::string(300, 'n')).string(), "read_error", "ENAMETOOLONG", "読み込めませんでした (名前が長すぎます)。"},
      {(dir_ / "file" / "x").string(), "not_found", "ENOTDIR",
       "見つかりません (パスの途中にフォルダーでないものがあります)。"},
      {(dir_ / "missing").string(), "not_found", "ENOENT", "見つかりません。"},
      {dir_.string(), "is_directory", "EISDIR", "フォルダーのため調べられません。"},
  };
  std::vector<std::string> args;
  std::string plain, json;
  for (const auto& c : cases) {
    args.push_back(c.path);
    plain += c.path + ": " + c.message + "\n";
    json += "{\"path\": \"" + c.path + "\", \"error\": \"" + c.error + "\", \"errno\": \"" + c.errnoName +
            "\", \"message\": \"" + c.message + "\"}\n";
  }
  const Finished r = Scan(args);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, plain);
  args.insert(args.begin(), "--json");
  EXPECT_EQ(Scan(args).out, json);
  // Refused by its type, no call failed: no errno to name.
  EXPECT_EQ(Scan({"--json", "/dev/null"}).out,
            "{\"path\": \"/dev/null\", \"error\": \"not_regular\", \"message\": \"通常のファイルではないため調べられません。\"}\n");
}

}  // namespace
