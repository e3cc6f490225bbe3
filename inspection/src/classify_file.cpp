#include "fyldra3/classify_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <memory>
#include <new>

#include "fyldra3/classifier.h"

namespace fyldra3 {
namespace {

constexpr std::size_t kReadSize = std::size_t{256} * 1024;
// From this size on the kernel is asked to read further ahead.
constexpr off_t kReadAheadFrom = off_t{8} << 20;

// Refuses what is not a regular file before anything opens or reads it.
bool TypeRefused(const struct stat& st, Outcome& refused) noexcept {
  if (S_ISREG(st.st_mode)) return false;
  // What reading a folder would fail with; other kinds are refused before any call fails.
  refused = S_ISDIR(st.st_mode) ? Outcome(Failure::IsDirectory, EISDIR) : Outcome(Failure::NotRegular);
  return true;
}

// One buffer per thread, kept for later files.
unsigned char* ReadBuffer() noexcept {
  thread_local std::unique_ptr<unsigned char[]> buffer(new (std::nothrow) unsigned char[kReadSize]);
  return buffer.get();
}

class Descriptor {
 public:
  Descriptor(FileAccess& access, int fd) noexcept : access_(access), fd_(fd) {}
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  ~Descriptor() { access_.Close(fd_); }
  int get() const noexcept { return fd_; }

 private:
  FileAccess& access_;
  int fd_;
};

int Checked(int r) noexcept { return r < 0 ? -errno : r; }

ssize_t ReadSome(FileAccess& access, int fd, unsigned char* buffer) noexcept {
  ssize_t n;
  do n = access.Read(fd, buffer, kReadSize);
  while (n == -EINTR);
  return n;
}

enum class Fed { ToTheEnd, Settled, Failed, More };

// What the read loop knows of the file while it reads.
struct Progress {
  off_t size;      // as opened
  off_t total = 0;  // bytes read so far
  ByteObserver* observer = nullptr;
  bool settled = false;  // the classifier wants no more bytes
};

// Feeds one block read; a read that brings the file to its size as opened
// ends it without another read to find the end (a file that grows is read on).
Fed FeedBlock(Classifier& classifier, const unsigned char* block, ssize_t n, Progress& progress) noexcept {
  if (n < 0) return Fed::Failed;
  if (n == 0) return Fed::ToTheEnd;
  progress.total += n;
  if (progress.observer != nullptr) progress.observer->Observe(block, block + n);
  if (!progress.settled && !classifier.Feed(block, block + n)) {
    progress.settled = true;
    if (progress.observer == nullptr) return Fed::Settled;
  }
  return progress.total == progress.size ? Fed::ToTheEnd : Fed::More;
}

// Reads a block, feeds it, and so on, on this thread. No second thread reads
// ahead: handing cached blocks to another processor costs more than reading
// them (the copy and the classifier then each miss the other's cache), and
// the kernel reads ahead of a sequential reader from storage by itself.
// `error` is set when Failed.
Fed FeedInTurn(FileAccess& access, int fd, Classifier& classifier, Progress& progress, int& error) noexcept {
  unsigned char* buffer = ReadBuffer();
  if (buffer == nullptr) {
    error = ENOMEM;
    return Fed::Failed;
  }
  for (;;) {
    const ssize_t n = ReadSome(access, fd, buffer);
    if (n < 0) {
      error = static_cast<int>(-n);
      return Fed::Failed;
    }
    const Fed fed = FeedBlock(classifier, buffer, n, progress);
    if (fed != Fed::More) return fed;
  }
}

}  // namespace
int FileAccess::Stat(const char* path, struct stat* st) noexcept { return Checked(::stat(path, st)); }

int FileAccess::Open(const char* path) noexcept {
  // O_NONBLOCK: a FIFO that slipped past Stat must not wait for a writer.
  return Checked(::open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
}

int FileAccess::FStat(int fd, struct stat* st) noexcept { return Checked(::fstat(fd, st)); }

ssize_t FileAccess::Read(int fd, void* buffer, std::size_t size) noexcept {
  const ssize_t n = ::read(fd, buffer, size);
  return n < 0 ? -errno : n;
}

void FileAccess::Close(int fd) noexcept { ::close(fd); }

FileAccess& FileAccess::System() noexcept {
  static FileAccess system;
  return system;
}

Outcome ClassifyFile(const std::filesystem::path& path, FileAccess& access, FileFacts* facts,
                     ByteObserver* observer) noexcept {
  const char* name = path.c_str();
  struct stat st {};
  Outcome refused = Failure::NotRegular;
  if (const int r = access.Stat(name, &st); r < 0) return Outcome::OfErrno(-r);
  // Checked before opening too, since merely opening some devices has effects.
  if (TypeRefused(st, refused)) return refused;

  const int fd = access.Open(name);
  if (fd < 0) return Outcome::OfErrno(-fd);
  const Descriptor file(access, fd);
  if (const int r = access.FStat(file.get(), &st); r < 0) return Outcome(Failure::ReadError, -r);
  if (TypeRefused(st, refused)) return refused;  // replaced since Stat
  if (facts != nullptr) {
    facts->opened = true;
    facts->size = static_cast<std::uint64_t>(st.st_size);
    facts->modified = st.st_mtim.tv_sec;
  }

  Classifier classifier;
  Progress progress{st.st_size};
  progress.observer = observer;
  // A larger read-ahead window for large files, which are read front to back.
  if (st.st_size >= kReadAheadFrom) ::posix_fadvise(file.get(), 0, 0, POSIX_FADV_SEQUENTIAL);
  int error = 0;
  const Fed fed = FeedInTurn(access, file.get(), classifier, progress, error);
  // The file ends where a read returns 0, whatever size it stated (files
  // under /sys state 4096 bytes and hold fewer): only a failing read is an error.
  if (fed == Fed::Failed) return Outcome(Failure::ReadError, error);
  const Verdict verdict = classifier.Finish();
  if (facts != nullptr) facts->basis = classifier.basis();
  return verdict;
}

}  // namespace fyldra3
