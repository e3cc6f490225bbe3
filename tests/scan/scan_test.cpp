// fyldra3-scan as a user runs it: its output forms and exit statuses.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;
const fs::path kData = FYLDRA3_TEST_DATA;

struct Finished {
  int status = -1;
  std::string out, err;
};

// Runs fyldra3-scan with the arguments; standard input is /dev/null.
Finished Scan(const std::vector<std::string>& args) {
  std::vector<char*> argv{const_cast<char*>(FYLDRA3_SCAN)};
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  int out[2], err[2];
  if (pipe(out) != 0 || pipe(err) != 0) return {};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  posix_spawn_file_actions_adddup2(&actions, err[1], 2);
  posix_spawn_file_actions_addclose(&actions, out[0]);
  posix_spawn_file_actions_addclose(&actions, err[0]);
  pid_t pid = 0;
  Finished run;
  const int spawned = posix_spawn(&pid, FYLDRA3_SCAN, &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(out[1]);
  close(err[1]);
  if (spawned != 0) return run;
  pollfd fds[] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
  std::string* sinks[] = {&run.out, &run.err};
  for (int open = 2; open > 0;) {
    if (poll(fds, 2, -1) < 0) break;
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0) continue;
      char buffer[4096];
      const ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
      if (n > 0) {
        sinks[i]->append(buffer, static_cast<std::size_t>(n));
      } else {
        close(fds[i].fd);
        fds[i].fd = -1;
        --open;
      }
    }
  }
  int status = 0;
  waitpid(pid, &status, 0);
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

std::string Data(const char* name) { return (kData / name).string(); }

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
  EXPECT_NE(r.out.find("\"message\": \"Microsoft Word 97/98 ファイルです。\"}"), std::string::npos);
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
            "{\"path\": \"" + missing + "\", \"error\": \"not_found\", \"message\": \"見つかりません。\"}");
  for (const char* key : {"\"error\": \"is_directory\"", "\"error\": \"not_regular\""}) {
    EXPECT_NE(json.out.find(key), std::string::npos) << key;
  }
}

TEST_F(ScanFiles, NamesThatAreNotUtf8) {
  const std::string name = (dir_ / "\x95\xB6\x8F\x91\".doc").string();
  std::ofstream(name, std::ios::binary) << std::string("\0Microsoft Word 6.0", 19);

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
                          "\", \"verdict\": \"Word6\", \"message\": \"Microsoft Word 6.0 ファイルです。\"}\n");
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

}  // namespace
