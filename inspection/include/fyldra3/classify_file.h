// Classifying a file by its path.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <array>
#include <cstdint>
#include <filesystem>

#include "fyldra3/classifier.h"
#include "fyldra3/verdict.h"

namespace fyldra3 {

// Why a file could not be examined.
enum class Failure : unsigned char {
  NotFound,
  PermissionDenied,
  IsDirectory,
  NotRegular,  // a FIFO, device or socket: never read
  ReadError,   // any other failure to open or read
  Encrypted,   // an archive member whose data is encrypted
};

inline constexpr std::array<Failure, 6> kAllFailures = {Failure::NotFound,   Failure::PermissionDenied,
                                                        Failure::IsDirectory, Failure::NotRegular,
                                                        Failure::ReadError,  Failure::Encrypted};

// The failure an errno value from opening or reading a path stands for
// (the table in system_errors.cpp).
Failure FailureOfErrno(int error) noexcept;

// A verdict, or the reason there is none. The two never mix: asking a
// failure for its verdict (or the reverse) is a programming error.
// A failure keeps the errno of the system call that failed, 0 when none did
// (a FIFO refused by its type), so that callers can name the cause.
class Outcome {
 public:
  constexpr Outcome(Verdict v) noexcept : examined_(true), verdict_(v) {}  // NOLINT: implicit by design
  constexpr Outcome(Failure f, int error = 0) noexcept  // NOLINT: implicit by design
      : examined_(false), failure_(f), error_(error) {}

  // The failure the errno stands for, keeping the errno.
  static Outcome OfErrno(int error) noexcept { return {FailureOfErrno(error), error}; }

  constexpr bool Examined() const noexcept { return examined_; }
  constexpr Verdict verdict() const noexcept { return examined_ ? verdict_ : Unchecked<Verdict>(); }
  constexpr Failure failure() const noexcept { return examined_ ? Unchecked<Failure>() : failure_; }
  constexpr int error() const noexcept { return error_; }  // 0 for a verdict

  // Compares verdicts and failure kinds; the errno is detail and not compared.

  friend constexpr bool operator==(const Outcome& a, const Outcome& b) noexcept {
    return a.examined_ == b.examined_ && (a.examined_ ? a.verdict_ == b.verdict_ : a.failure_ == b.failure_);
  }

 private:
  template <class T>
  [[noreturn]] static T Unchecked() noexcept {
    __builtin_trap();
  }

  bool examined_;
  union {
    Verdict verdict_;
    Failure failure_;
  };
  int error_ = 0;
};

// The system calls ClassifyFile makes. Each returns what the call returns,
// or minus errno on failure. Tests derive from it to inject failures.
class FileAccess {
 public:
  virtual ~FileAccess() = default;
  virtual int Stat(const char* path, struct stat* st) noexcept;
  virtual int Open(const char* path) noexcept;  // read only, never blocks
  virtual int FStat(int fd, struct stat* st) noexcept;
  virtual ssize_t Read(int fd, void* buffer, std::size_t size) noexcept;
  virtual void Close(int fd) noexcept;

  static FileAccess& System() noexcept;
};

// Shown every byte ClassifyFile reads, in order, once each (to compute a
// digest, say). With one, the file is read to its end even when the verdict
// is settled early, and a failure to read any of it is a failure.
class ByteObserver {
 public:
  virtual void Observe(const unsigned char* first, const unsigned char* last) noexcept = 0;

 protected:
  ~ByteObserver() = default;
};

// What ClassifyFile learns besides the outcome.
struct FileFacts {
  bool opened = false;        // size and modified are known: the file was opened
  std::uint64_t size = 0;     // bytes, from the open file
  std::int64_t modified = 0;  // last modification, seconds since 1970-01-01 UTC
  Basis basis;                // what decided the verdict, when there is one
};

// Reads the file once, front to back, in large blocks; memory does not grow
// with its size. The file ends where a read returns 0 (or at its size as
// opened): one shorter than it states is no error, only a failing read is. Anything but a regular file is refused without being read.
// The path is used as the operating system's bytes. Stops reading as soon as
// the verdict is settled, unless an observer wants every byte. Never creates
// or changes the file. `facts` and `observer` may be null.
Outcome ClassifyFile(const std::filesystem::path& path, FileAccess& access = FileAccess::System(),
                     FileFacts* facts = nullptr, ByteObserver* observer = nullptr) noexcept;

}  // namespace fyldra3
