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

Failure FailureOf(int error) noexcept {
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

Outcome ClassifyFile(const std::filesystem::path& path, FileAccess& access) noexcept {
  const char* name = path.c_str();
  struct stat st {};
  Failure failure{};
  if (const int r = access.Stat(name, &st); r < 0) return FailureOf(-r);
  // Checked before opening too, since merely opening some devices has effects.
  if (TypeRefused(st, failure)) return failure;

  const int fd = access.Open(name);
  if (fd < 0) return FailureOf(-fd);
  const Descriptor file(access, fd);
  if (access.FStat(file.get(), &st) < 0) return Failure::ReadError;
  if (TypeRefused(st, failure)) return failure;  // replaced since Stat

  unsigned char* buffer = ReadBuffer();
  if (buffer == nullptr) return Failure::ReadError;
  Classifier classifier;
  off_t total = 0;
  for (;;) {
    const ssize_t n = access.Read(file.get(), buffer, kReadSize);
    if (n == -EINTR) continue;
    if (n < 0) return Failure::ReadError;
    if (n == 0) break;
    total += n;
    if (!classifier.Feed(buffer, buffer + n)) return classifier.Finish();
  }
  // Fewer bytes than the file had when opened: it shrank while being read.
  if (total < st.st_size) return Failure::ReadError;
  return classifier.Finish();
}

}  // namespace fyldra3
