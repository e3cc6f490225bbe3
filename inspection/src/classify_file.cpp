#include "fyldra3/classify_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <memory>
#include <new>
#include <thread>

#include "fyldra3/classifier.h"

namespace fyldra3 {
namespace {

constexpr std::size_t kReadSize = std::size_t{256} * 1024;
// From this size on a second thread reads ahead while this one classifies.
constexpr off_t kReadAheadFrom = off_t{8} << 20;

// Refuses what is not a regular file before anything opens or reads it.
bool TypeRefused(const struct stat& st, Failure& failure) noexcept {
  if (S_ISREG(st.st_mode)) return false;
  failure = S_ISDIR(st.st_mode) ? Failure::IsDirectory : Failure::NotRegular;
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

enum class Fed { ToTheEnd, Settled, Failed };

// Reads and classifies in turn on this thread.
Fed FeedInTurn(FileAccess& access, int fd, Classifier& classifier, off_t& total) noexcept {
  unsigned char* buffer = ReadBuffer();
  if (buffer == nullptr) return Fed::Failed;
  for (;;) {
    const ssize_t n = ReadSome(access, fd, buffer);
    if (n < 0) return Fed::Failed;
    if (n == 0) return Fed::ToTheEnd;
    total += n;
    if (!classifier.Feed(buffer, buffer + n)) return Fed::Settled;
  }
}

// A ring of read blocks between a reading thread and the classifying one.
// Block i is full once `produced` > i and free again once `consumed` > i.
struct Ring {
  static constexpr std::size_t kSlots = 4;
  std::unique_ptr<unsigned char[]> bytes{new (std::nothrow) unsigned char[kSlots * kReadSize]};
  ssize_t length[kSlots] = {};  // bytes read, 0 at the end, minus errno on failure
  std::atomic<std::uint64_t> produced{0};
  std::atomic<std::uint64_t> consumed{0};
  std::atomic<bool> stop{false};

  unsigned char* Slot(std::uint64_t i) noexcept { return bytes.get() + (i % kSlots) * kReadSize; }
};

void ReadInto(Ring& ring, FileAccess& access, int fd) noexcept {
  for (std::uint64_t i = 0;; ++i) {
    for (std::uint64_t c = ring.consumed.load(std::memory_order_acquire); i - c >= Ring::kSlots;
         c = ring.consumed.load(std::memory_order_acquire)) {
      if (ring.stop.load(std::memory_order_acquire)) return;
      ring.consumed.wait(c, std::memory_order_acquire);
    }
    if (ring.stop.load(std::memory_order_acquire)) return;
    const ssize_t n = ReadSome(access, fd, ring.Slot(i));
    ring.length[i % Ring::kSlots] = n;
    ring.produced.store(i + 1, std::memory_order_release);
    ring.produced.notify_one();
    if (n <= 0) return;
  }
}

// Reading and classifying overlap: worth a thread only for large files.
Fed FeedReadingAhead(FileAccess& access, int fd, Classifier& classifier, off_t& total) noexcept {
  Ring ring;
  if (ring.bytes == nullptr) return FeedInTurn(access, fd, classifier, total);
  std::thread reader;
  try {
    reader = std::thread(ReadInto, std::ref(ring), std::ref(access), fd);
  } catch (...) {
    return FeedInTurn(access, fd, classifier, total);
  }
  Fed fed;
  for (std::uint64_t i = 0;; ++i) {
    for (std::uint64_t p = ring.produced.load(std::memory_order_acquire); p == i;
         p = ring.produced.load(std::memory_order_acquire)) {
      ring.produced.wait(p, std::memory_order_acquire);
    }
    const ssize_t n = ring.length[i % Ring::kSlots];
    if (n <= 0) {
      fed = n == 0 ? Fed::ToTheEnd : Fed::Failed;
      break;
    }
    total += n;
    const bool more = classifier.Feed(ring.Slot(i), ring.Slot(i) + n);
    ring.consumed.store(i + 1, std::memory_order_release);
    ring.consumed.notify_one();
    if (!more) {
      fed = Fed::Settled;
      break;
    }
  }
  ring.stop.store(true, std::memory_order_release);
  ring.consumed.fetch_add(1, std::memory_order_release);  // wakes a reader waiting for room
  ring.consumed.notify_one();
  reader.join();
  return fed;
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

Failure FailureOfErrno(int error) noexcept {
  switch (error) {
    case ENOENT:
    case ENOTDIR: return Failure::NotFound;
    case EACCES:
    case EPERM: return Failure::PermissionDenied;
    case EISDIR: return Failure::IsDirectory;
    case ENXIO:  // a socket, or a device that is not there
    case ENODEV: return Failure::NotRegular;
    default: return Failure::ReadError;
  }
}

FileAccess& FileAccess::System() noexcept {
  static FileAccess system;
  return system;
}

Outcome ClassifyFile(const std::filesystem::path& path, FileAccess& access) noexcept {
  const char* name = path.c_str();
  struct stat st {};
  Failure failure{};
  if (const int r = access.Stat(name, &st); r < 0) return FailureOfErrno(-r);
  // Checked before opening too, since merely opening some devices has effects.
  if (TypeRefused(st, failure)) return failure;

  const int fd = access.Open(name);
  if (fd < 0) return FailureOfErrno(-fd);
  const Descriptor file(access, fd);
  if (access.FStat(file.get(), &st) < 0) return Failure::ReadError;
  if (TypeRefused(st, failure)) return failure;  // replaced since Stat

  Classifier classifier;
  off_t total = 0;
  const Fed fed = st.st_size >= kReadAheadFrom ? FeedReadingAhead(access, file.get(), classifier, total)
                                               : FeedInTurn(access, file.get(), classifier, total);
  if (fed == Fed::Failed) return Failure::ReadError;
  if (fed == Fed::Settled) return classifier.Finish();
  // Fewer bytes than the file had when opened: it shrank while being read.
  if (total < st.st_size) return Failure::ReadError;
  return classifier.Finish();
}

}  // namespace fyldra3
