// ClassifyFile on real documents and on everything that cannot be examined.
#include "fyldra3/classify_file.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <string>

#include "printers.h"

namespace fyldra3 {
namespace {

namespace fs = std::filesystem;

const fs::path kData = FYLDRA3_TEST_DATA;

class TempDir : public testing::Test {
 protected:
  void SetUp() override {
    std::string name = (fs::path(testing::TempDir()) / "fyldra3-XXXXXX").string();
    ASSERT_NE(mkdtemp(name.data()), nullptr);
    dir_ = name;
  }
  void TearDown() override {
    std::error_code ec;
    fs::permissions(dir_, fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(dir_, ec);
  }
  fs::path Write(const std::string& name, std::string_view bytes) {
    const fs::path p = dir_ / name;
    std::ofstream(p, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return p;
  }
  fs::path dir_;
};

struct RealDocument {
  const char* file;
  Verdict verdict;
};

class RealDocuments : public testing::TestWithParam<RealDocument> {};

TEST_P(RealDocuments, GiveTheirVerdict) {
  EXPECT_EQ(ClassifyFile(kData / GetParam().file), Outcome(GetParam().verdict));
}

INSTANTIATE_TEST_SUITE_P(Files, RealDocuments,
                         testing::Values(RealDocument{"Bug60942.doc", Verdict::Word6},
                                         RealDocument{"TestMickey.doc", Verdict::Word95},
                                         RealDocument{"simple.doc", Verdict::Word97_98},
                                         RealDocument{"TestGermanWord90.doc", Verdict::Word2000},
                                         RealDocument{"quick.doc", Verdict::NotWord},
                                         RealDocument{"SampleDoc.docx", Verdict::NotWord},
                                         RealDocument{"lorem-ipsum.rtf", Verdict::RichText},
                                         RealDocument{"lorem-ipsum.txt", Verdict::PlainText}),
                         [](const testing::TestParamInfo<RealDocument>& param) {
                           std::string name = param.param.file;
                           for (char& c : name) c = std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
                           return name;
                         });

using ClassifyFileTest = TempDir;

TEST_F(ClassifyFileTest, ReadsAcrossManyBlocks) {
  // The signature sits past several read blocks and is the last thing in the file.
  std::string bytes(3 * 1024 * 1024 + 17, 'x');
  bytes[0] = '\0';
  bytes += "Microsoft Word 9.0";
  EXPECT_EQ(ClassifyFile(Write("big.bin", bytes)), Outcome(Verdict::Word2000));
}

TEST_F(ClassifyFileTest, NameThatIsNotUtf8) {
  // "文書.doc" in Shift_JIS, as an old archive would name it.
  const fs::path p = Write("\x95\xB6\x8F\x91.doc", std::string("\0Microsoft Word 8.0", 19));
  EXPECT_EQ(ClassifyFile(p), Outcome(Verdict::Word97_98));
}

TEST_F(ClassifyFileTest, FollowsSymbolicLinks) {
  const fs::path target = Write("target.rtf", "{\\rtf1}");
  fs::create_symlink(target, dir_ / "link");
  fs::create_symlink(dir_ / "nowhere", dir_ / "dangling");
  EXPECT_EQ(ClassifyFile(dir_ / "link"), Outcome(Verdict::RichText));
  EXPECT_EQ(ClassifyFile(dir_ / "dangling"), Outcome(Failure::NotFound));
}

TEST_F(ClassifyFileTest, FailuresAreAnsweredAtOnce) {
  const fs::path fifo = dir_ / "fifo";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  const fs::path socketPath = dir_ / "socket";
  const int s = socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  socketPath.native().copy(address.sun_path, sizeof address.sun_path - 1);
  ASSERT_EQ(bind(s, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
  const fs::path file = Write("file", "text");

  const struct {
    fs::path path;
    Failure failure;
  } cases[] = {
      {dir_ / "missing", Failure::NotFound},
      {file / "below-a-file", Failure::NotFound},
      {"", Failure::NotFound},
      {dir_, Failure::IsDirectory},
      {fifo, Failure::NotRegular},  // no writer: must not wait for one
      {socketPath, Failure::NotRegular},
      {"/dev/zero", Failure::NotRegular},  // endless: must not be read
      {"/dev/null", Failure::NotRegular},
      {dir_ / std::string(5000, 'n'), Failure::ReadError},  // name too long
  };
  for (const auto& c : cases) {
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(ClassifyFile(c.path), Outcome(c.failure)) << c.path;
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1)) << c.path;
  }
  close(s);
}

TEST_F(ClassifyFileTest, PermissionDenied) {
  const fs::path file = Write("secret.doc", "text");
  fs::permissions(file, fs::perms::none);
  // Root reads anything, so the check runs as an ordinary user in a child.
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(2);
    _exit(ClassifyFile(file) == Outcome(Failure::PermissionDenied) ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

// Real system calls, with failures injected where asked.
class Faulty : public FileAccess {
 public:
  int openError = 0;
  int readError = EIO;
  int readErrorOnCall = 0;   // 1-based; 0: never
  int interruptOnCall = 0;   // 1-based; 0: never
  off_t extraSize = 0;       // added to the size fstat reports
  std::size_t most = 4096;   // bytes one read returns at most
  int reads = 0;
  int opened = -1;
  bool closed = false;

  int Open(const char* path) noexcept override {
    return openError != 0 ? -openError : opened = FileAccess::Open(path);
  }
  int FStat(int fd, struct stat* st) noexcept override {
    const int r = FileAccess::FStat(fd, st);
    st->st_size += extraSize;
    return r;
  }
  ssize_t Read(int fd, void* buffer, std::size_t size) noexcept override {
    ++reads;
    if (reads == readErrorOnCall) return -readError;
    if (reads == interruptOnCall) return -EINTR;
    return FileAccess::Read(fd, buffer, std::min(size, most));
  }
  void Close(int fd) noexcept override {
    closed = fd == opened;
    FileAccess::Close(fd);
  }
};

// The end of the file is where a read returns 0: a file that states more
// bytes than it holds (every file under /sys) gets the verdict of what it
// holds; only a failing read is a read error, and it keeps its errno. A
// size stated far beyond the bytes also takes the path of large files.
TEST_F(ClassifyFileTest, OnlyAFailingReadIsAnError) {
  std::string large(std::size_t{20} << 20, 'x');
  large[0] = '\0';
  large.replace(large.size() / 2, 18, "Microsoft Word 6.0");
  large += "Microsoft Word 8.0";
  const struct {
    const char* file;
    std::string bytes;
    std::size_t most;  // bytes one read returns at most
  } files[] = {
      {"small.doc", std::string(10000, '\0') + "Microsoft Word 6.0", 4096},
      {"large.doc", large, std::size_t{1} << 20},
  };
  const Verdict verdicts[] = {Verdict::Word6, Verdict::Word97_98};

  const struct {
    const char* what;
    off_t extra;  // added to the size fstat states
    int error, onCall, interruptOnCall;
    bool examined;
    int expectedError;
  } cases[] = {
      {"states more than it returns", 4096, 0, 0, 0, true, 0},
      {"states far more than it returns", off_t{1} << 40, 0, 0, 0, true, 0},
      {"states exactly what it returns", 0, 0, 0, 0, true, 0},
      {"an interrupted read is retried", 0, 0, 0, 2, true, 0},
      {"the first read fails", 0, EIO, 1, 0, false, EIO},
      {"a read in the middle fails", 0, EIO, 2, 0, false, EIO},
      {"a read fails and it states more", 4096, ESTALE, 2, 0, false, ESTALE},
  };
  for (std::size_t i = 0; i < std::size(files); ++i) {
    const fs::path p = Write(files[i].file, files[i].bytes);
    for (const auto& c : cases) {
      Faulty f;
      f.most = files[i].most;
      f.extraSize = c.extra;
      f.readError = c.error;
      f.readErrorOnCall = c.onCall;
      f.interruptOnCall = c.interruptOnCall;
      const Outcome outcome = ClassifyFile(p, f);
      const Outcome expected = c.examined ? Outcome(verdicts[i]) : Outcome(Failure::ReadError);
      EXPECT_EQ(outcome, expected) << files[i].file << ": " << c.what;
      EXPECT_EQ(outcome.error(), c.expectedError) << files[i].file << ": " << c.what;
      EXPECT_TRUE(f.closed) << files[i].file << ": " << c.what;
    }
  }
}

TEST_F(ClassifyFileTest, LargeFilesAreReadInBlocks) {
  std::string bytes(std::size_t{20} << 20, 'x');
  bytes[0] = '\0';
  bytes.replace(bytes.size() / 2, 18, "Microsoft Word 6.0");
  bytes += "Microsoft Word 8.0";
  const fs::path big = Write("big.doc", bytes);
  EXPECT_EQ(ClassifyFile(big), Outcome(Verdict::Word97_98));

  const struct {
    int error, interrupt;
    off_t extra;
    Outcome expected;
  } cases[] = {
      {7, 0, 0, Failure::ReadError},   // a read fails in the middle
      {0, 3, 0, Verdict::Word97_98},   // an interrupted read is retried
      {1, 0, 0, Failure::ReadError},   // the very first read fails
  };
  for (const auto& c : cases) {
    Faulty f;
    f.most = std::size_t{1} << 20;
    f.readErrorOnCall = c.error;
    f.interruptOnCall = c.interrupt;
    f.extraSize = c.extra;
    EXPECT_EQ(ClassifyFile(big, f), c.expected) << c.error << " " << c.interrupt << " " << c.extra;
    EXPECT_TRUE(f.closed);
  }

  // Settled by the sample: no more is read.
  Faulty f;
  f.most = std::size_t{1} << 20;
  EXPECT_EQ(ClassifyFile(Write("big.rtf", "{\\rtf1" + bytes), f), Outcome(Verdict::RichText));
  EXPECT_LE(f.reads, 6);
}

TEST_F(ClassifyFileTest, FailuresKeepTheirErrno) {
  const fs::path doc = Write("doc", "text");
  const struct {
    int openError;
    Failure failure;
  } cases[] = {
      {EACCES, Failure::PermissionDenied}, {EPERM, Failure::PermissionDenied}, {ENOENT, Failure::NotFound},
      {ELOOP, Failure::ReadError},         {ENAMETOOLONG, Failure::ReadError}, {EMFILE, Failure::ReadError},
      {ENXIO, Failure::NotRegular},        {EIO, Failure::ReadError},
  };
  for (const auto& c : cases) {
    Faulty f;
    f.openError = c.openError;
    const Outcome outcome = ClassifyFile(doc, f);
    EXPECT_EQ(outcome, Outcome(c.failure)) << c.openError;
    EXPECT_EQ(outcome.error(), c.openError);
  }
  fs::create_symlink("loop", dir_ / "loop");
  EXPECT_EQ(ClassifyFile(dir_ / "loop").error(), ELOOP);
  EXPECT_EQ(ClassifyFile(dir_ / std::string(5000, 'n')).error(), ENAMETOOLONG);
  EXPECT_EQ(ClassifyFile(dir_ / "missing").error(), ENOENT);
  EXPECT_EQ(ClassifyFile(dir_).error(), EISDIR);
  EXPECT_EQ(ClassifyFile("/dev/null").error(), 0);  // refused by its type: no call failed
}

TEST_F(ClassifyFileTest, ReadsToTheSizeAsOpenedWithoutLookingForTheEnd) {
  const fs::path doc = Write("doc", std::string(10000, '\0') + "Microsoft Word 6.0");  // 10018 bytes
  const struct {
    off_t extra;  // added to the size fstat reports
    int reads;
    Outcome expected;
  } cases[] = {
      {0, 3, Verdict::Word6},      // 4096 + 4096 + 1826: the size is reached
      {-18, 4, Verdict::Word6},    // grew since fstat: read on to the end
      {1, 4, Verdict::Word6},      // shrank: the end comes first, and ends it
  };
  for (const auto& c : cases) {
    Faulty f;
    f.extraSize = c.extra;
    EXPECT_EQ(ClassifyFile(doc, f), c.expected) << c.extra;
    EXPECT_EQ(f.reads, c.reads) << c.extra;
  }
}

// Keeps every byte it is shown.
class Recorder final : public ByteObserver {
 public:
  void Observe(const unsigned char* first, const unsigned char* last) noexcept override {
    bytes.append(reinterpret_cast<const char*>(first), static_cast<std::size_t>(last - first));
  }
  std::string bytes;
};

TEST_F(ClassifyFileTest, ObserverSeesEveryByteReadEvenAfterTheVerdictIsSettled) {
  std::string word(700000, 'x');
  word[3] = '\0';
  word.replace(400000, 18, "Microsoft Word 8.0");
  const struct {
    const char* name;
    std::string bytes;
    Verdict verdict;
  } files[] = {
      {"settled.rtf", "{\\rtf1" + std::string(600000, 'r'), Verdict::RichText},  // settled in the first block
      {"text.txt", std::string(300000, 't'), Verdict::PlainText},
      {"word.doc", word, Verdict::Word97_98},
      {"empty", "", Verdict::PlainText},
  };
  for (const auto& file : files) {
    const fs::path p = Write(file.name, file.bytes);
    ASSERT_EQ(truncate(p.c_str(), static_cast<off_t>(file.bytes.size())), 0);
    struct timespec times[2] = {{0, UTIME_OMIT}, {1700000000, 5}};
    ASSERT_EQ(utimensat(AT_FDCWD, p.c_str(), times, 0), 0);
    Recorder recorder;
    FileFacts facts;
    EXPECT_EQ(ClassifyFile(p, FileAccess::System(), &facts, &recorder), Outcome(file.verdict)) << file.name;
    EXPECT_TRUE(recorder.bytes == file.bytes) << file.name << ": " << recorder.bytes.size() << " bytes seen";
    EXPECT_TRUE(facts.opened);
    EXPECT_EQ(facts.size, file.bytes.size());
    EXPECT_EQ(facts.modified, 1700000000);
    Classifier c;
    const auto* b = reinterpret_cast<const unsigned char*>(file.bytes.data());
    c.Feed(b, b + file.bytes.size());
    c.Finish();
    EXPECT_EQ(facts.basis, c.basis()) << file.name;
  }
  // Without an observer the settled file is not read on.
  Faulty f;
  f.most = std::size_t{1} << 20;
  FileFacts facts;
  EXPECT_EQ(ClassifyFile(dir_ / "settled.rtf", f, &facts), Outcome(Verdict::RichText));
  EXPECT_EQ(f.reads, 1);
  EXPECT_EQ(facts.basis.offset, 0u);
}

TEST_F(ClassifyFileTest, WithAnObserverAFailureAfterTheVerdictIsAFailure) {
  const fs::path p = Write("late.rtf", "{\\rtf1" + std::string(100000, 'r'));
  const struct {
    int error;
    off_t extra;
  } cases[] = {{3, 0}};  // a read fails after the sample settled it
  for (const auto& c : cases) {
    Faulty f;
    f.readErrorOnCall = c.error;
    f.extraSize = c.extra;
    Recorder recorder;
    FileFacts facts;
    EXPECT_EQ(ClassifyFile(p, f, &facts, &recorder), Outcome(Failure::ReadError)) << c.error << " " << c.extra;
    EXPECT_TRUE(facts.opened);
    Faulty plain;
    plain.readErrorOnCall = c.error;
    plain.extraSize = c.extra;
    EXPECT_EQ(ClassifyFile(p, plain), Outcome(Verdict::RichText)) << "nothing needed the rest";
  }
  {
    // Stating more than it holds is no failure: the observer has seen every byte there is.
    Faulty f;
    f.extraSize = 1;
    Recorder recorder;
    EXPECT_EQ(ClassifyFile(p, f, nullptr, &recorder), Outcome(Verdict::RichText));
    EXPECT_EQ(recorder.bytes.size(), 100006u);
  }
  FileFacts facts;
  EXPECT_EQ(ClassifyFile(dir_ / "missing", FileAccess::System(), &facts), Outcome(Failure::NotFound));
  EXPECT_FALSE(facts.opened);
}

TEST_F(ClassifyFileTest, StopsReadingOnceTheSampleDecides) {
  for (const char* text : {"{\\rtf1", "plain"}) {
    Faulty f;
    const fs::path p = Write("long", text + std::string(100000, 'x'));
    EXPECT_TRUE(ClassifyFile(p, f).Examined());
    EXPECT_EQ(f.reads, 1) << text;
    EXPECT_TRUE(f.closed);
  }
}

TEST(Outcome, NeverMistakenForAVerdict) {
  for (const Verdict v : kAllVerdicts) {
    for (const Failure f : kAllFailures) EXPECT_NE(Outcome(v), Outcome(f));
  }
  EXPECT_FALSE(Outcome(Failure::NotFound).Examined());
  EXPECT_EQ(Outcome(Verdict::Word6).verdict(), Verdict::Word6);
  EXPECT_DEATH(static_cast<void>(Outcome(Failure::ReadError).verdict()), "");
}

}  // namespace
}  // namespace fyldra3
