#include "pipeline.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <system_error>
#include <cerrno>
#include <string_view>

#include "descriptors.h"
#include "fyldra3/classify_file.h"

namespace fyldra3::scan {
namespace {

using namespace std::chrono_literals;

constexpr std::size_t kFlushSize = std::size_t{64} * 1024;
constexpr std::size_t kSlotsPerJob = 512;  // lookahead for the prefetchers
constexpr std::size_t kMaxSlots = 1024;  // each may hold a folder open
constexpr auto kFlushDelay = 100ms;       // longest a finished line waits in the buffer
constexpr auto kPollDelay = 20ms;         // longest finished slots wait for the rest of their batch

constexpr std::uint64_t kClaimRun = 8;  // most items a worker takes at once
constexpr auto kSlowSource = 1ms;       // items further apart than this are handed over one by one

constexpr unsigned kPrefetchers = 16;  // files opened ahead at once on slow storage
constexpr std::uint64_t kPrefetchRun = 2;  // items a prefetcher takes at once
constexpr off_t kPrefetchBytes = off_t{256} * 1024;
constexpr int kOpenFlags = O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;

// Times `call` and tells `pace` how long it took.
template <class Call>
auto Timed(Pace& pace, std::size_t bytes, Call call) {
  const auto start = std::chrono::steady_clock::now();
  const auto result = call();
  pace.Note(std::chrono::steady_clock::now() - start, bytes);
  return result;
}

// The file system calls for a file named relative to an open folder, or by
// its path; opens and reads are timed for `pace`.
class PacedAccess final : public FileAccess {
 public:
  PacedAccess(Pace& pace, int folder, bool regular) noexcept : pace_(pace), folder_(folder), regular_(regular) {}
  int Stat(const char* name, struct stat* st) noexcept override {
    if (regular_) {  // the listing said so: no need to ask before opening
      st->st_mode = S_IFREG;
      return 0;
    }
    return ::fstatat(folder_, name, st, 0) < 0 ? -errno : 0;
  }
  int Open(const char* name) noexcept override {
    return Timed(pace_, 0, [&] { return OpenFile(folder_, name, regular_); });
  }
  ssize_t Read(int fd, void* buffer, std::size_t size) noexcept override {
    return Timed(pace_, size, [&] { return FileAccess::Read(fd, buffer, size); });
  }

  // Opens `name` in `folder` (AT_FDCWD for a path), never blocking; one
  // listed as `regular` is opened only if it still is one, or a link to one.
  static int OpenFile(int folder, const char* name, bool regular) noexcept {
    if (regular) {
      // O_NOFOLLOW: a file replaced by a link since it was listed is looked at first.
      const int fd = ::openat(folder, name, kOpenFlags | O_NOFOLLOW);
      if (fd >= 0 || errno != ELOOP) return fd < 0 ? -errno : fd;
      struct stat st {};
      if (::fstatat(folder, name, &st, 0) < 0) return -errno;
      if (!S_ISREG(st.st_mode)) return S_ISDIR(st.st_mode) ? -EISDIR : -ENXIO;
    }
    const int fd = ::openat(folder, name, kOpenFlags);
    return fd < 0 ? -errno : fd;
  }

 private:
  Pace& pace_;
  int folder_;
  bool regular_;
};

// A file already open (and found to be no archive): examined from its start
// through the same descriptor, so that it is neither looked up nor opened again.
class OpenedAccess final : public FileAccess {
 public:
  explicit OpenedAccess(int fd) noexcept : fd_(fd) {}
  int Stat(const char*, struct stat* st) noexcept override { return ::fstat(fd_, st) < 0 ? -errno : 0; }
  int Open(const char*) noexcept override { return ::lseek(fd_, 0, SEEK_SET) < 0 ? -errno : fd_; }
  void Close(int) noexcept override {}  // the caller's

 private:
  int fd_;
};

// The descriptor of the share that a worker's file uses, while it uses it.
struct FileDescriptorHeld {
  FileDescriptorHeld() { descriptors::TakeForFile(); }
  ~FileDescriptorHeld() { descriptors::GiveFile(); }
  FileDescriptorHeld(const FileDescriptorHeld&) = delete;
  FileDescriptorHeld& operator=(const FileDescriptorHeld&) = delete;
};

Outcome ExamineOnce(const Item& item, Pace& pace, FileFacts& facts, Digester* digester, DigestValue& digest, int opened) {
  const bool digesting = digester != nullptr && digester->Start();
  ByteObserver* observer = digester;
  Outcome outcome = Failure::ReadError;
  if (opened >= 0) {
    OpenedAccess access(opened);
    outcome = ClassifyFile(item.path, access, &facts, observer);
  } else {
    PacedAccess access(pace, item.dir ? item.dir->fd : AT_FDCWD, item.regular);
    outcome = ClassifyFile(item.dir ? item.name : item.path, access, &facts, observer);
  }
  if (digesting) {
    const DigestValue value = digester->Finish();
    if (outcome.Examined()) digest = value;
  }
  return outcome;
}

// The item's file, open, when it is a regular file; else -1. Its type is
// asked first, since merely opening some devices has effects.
int OpenRegular(const Item& item) {
  struct stat st {};
  const int found = item.dir ? ::fstatat(item.dir->fd, item.name.c_str(), &st, 0) : ::stat(item.path.c_str(), &st);
  if (found != 0 || !S_ISREG(st.st_mode)) return -1;
  const int fd = PacedAccess::OpenFile(item.dir ? item.dir->fd : AT_FDCWD, item.dir ? item.name.c_str() : item.path.c_str(), false);
  if (fd >= 0 && (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))) {
    ::close(fd);
    return -1;
  }
  return fd;
}

// Tried again while descriptors run short nonetheless: no file fails for
// want of one while any is given back. `digester` is null when no digest is
// wanted; `opened`, when not -1, is the item's file, already open.
Outcome Examine(const Item& item, Pace& pace, FileFacts& facts, Digester* digester, DigestValue& digest,
                int opened = -1) {
  if (item.preset) return *item.preset;
  for (int tries = 0;;) {
    const Outcome outcome = ExamineOnce(item, pace, facts, digester, digest, opened);
    if (outcome.Examined() || !descriptors::OutOfDescriptors(outcome.error())) return outcome;
    if (!descriptors::WaitToRetry(tries)) {
      descriptors::NoteShortage();
      return outcome;
    }
  }
}

// Brings a file's inode and first blocks into the page cache, reading
// nothing itself: the same checks as examining it, then a hint to the kernel.
void Warm(const Item& item, Pace& pace) {
  if (item.preset) return;
  const int folder = item.dir ? item.dir->fd : AT_FDCWD;
  const char* name = item.dir ? item.name.c_str() : item.path.c_str();
  struct stat st {};
  if (!item.regular && (::fstatat(folder, name, &st, 0) != 0 || !S_ISREG(st.st_mode))) return;
  const FileDescriptorHeld held;
  const int fd = Timed(pace, 0, [&] { return PacedAccess::OpenFile(folder, name, item.regular); });
  if (fd < 0) return;
  if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
    Timed(pace, 0, [&] { return ::posix_fadvise(fd, 0, std::min(st.st_size, kPrefetchBytes), POSIX_FADV_WILLNEED); });
  }
  ::close(fd);
}

int WriteAll(std::string_view text) {
  while (!text.empty()) {
    const ssize_t n = ::write(STDOUT_FILENO, text.data(), text.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return errno;
    if (n == 0) return EIO;
    text.remove_prefix(static_cast<std::size_t>(n));
  }
  return 0;
}

}  // namespace

void Pace::Note(std::chrono::steady_clock::duration took, std::size_t bytes) noexcept {
  // The page cache answers in microseconds (a nanosecond a byte allowed for
  // the copy); storage now and then takes milliseconds, which a window of
  // calls averages out. Turned on by a high average, off only by a run of
  // low ones, so that it stays on while the prefetchers make the workers'
  // calls fast (a folder the walk has just listed is cold again).
  const auto excess = took - std::chrono::nanoseconds(bytes);
  const auto micros = std::chrono::duration_cast<std::chrono::microseconds>(excess).count();
  waited_.fetch_add(micros > 0 ? static_cast<std::uint64_t>(micros) : 0, std::memory_order_relaxed);
  if (calls_.fetch_add(1, std::memory_order_relaxed) + 1 < kWindow) return;
  const std::uint64_t calls = calls_.exchange(0, std::memory_order_relaxed);
  const std::uint64_t waited = waited_.exchange(0, std::memory_order_relaxed);
  if (calls < kWindow) return;
  if (waited > calls * kSlowMicros) {
    quiet_.store(0, std::memory_order_relaxed);
    slow_.store(true, std::memory_order_relaxed);
  } else if (waited < calls * kCachedMicros && quiet_.fetch_add(1, std::memory_order_relaxed) + 1 >= kQuietWindows) {
    slow_.store(false, std::memory_order_relaxed);
  }
}

Pipeline::Pipeline(const RunSettings& settings)
    : settings_(settings),
      ring_(std::clamp<std::size_t>(settings.jobs * kSlotsPerJob, kSlotsPerJob, kMaxSlots)),
      batch_(ring_.size() / 4) {
  if (settings_.total) {
    totalCount_.store(*settings_.total);
    totalKnown_.store(true);
  }
  if (settings_.archives) PrepareArchiveReading();
  buffer_.reserve(kFlushSize * 2);
  staged_.reserve(kClaimRun);
  if (settings_.form.format == Format::Csv) AppendCsvHeader(buffer_, settings_.bom);
  if (settings_.progress) progress_.Start();
  writer_ = std::thread([this] { Guarded([this] { Write(); }); });
  workers_.reserve(settings_.jobs);
  try {
    for (unsigned i = 0; i < settings_.jobs; ++i) workers_.emplace_back([this] { Guarded([this] { Work(); }); });
  } catch (const std::system_error&) {
    // Fewer threads than asked for: fine, as long as there is one.
    if (workers_.empty()) {
      Finish();
      throw;
    }
  }
}

template <class Body>
void Pipeline::Guarded(Body body) noexcept {
  try {
    body();
  } catch (...) {
    {
      std::lock_guard lock(mutex_);
      if (internalError_ == 0) internalError_ = ENOMEM;
    }
    Stop();
  }
}

void Pipeline::Note(const std::string& text) {
  progress_.Cleared([&text] { return std::fputs(text.c_str(), stderr); });
}

Pipeline::~Pipeline() {
  if (writer_.joinable()) Finish();
}

class Pipeline::SlotLines final : public LineSink {
 public:
  SlotLines(Pipeline& pipeline, std::uint64_t index) : pipeline_(pipeline), index_(index) {}
  bool Line(MemberLine&& line) override { return pipeline_.Queue(index_, std::move(line)); }

 private:
  Pipeline& pipeline_;
  std::uint64_t index_;
};

bool Pipeline::Queue(std::uint64_t index, MemberLine&& line) {
  std::unique_lock lock(mutex_);
  Slot& slot = ring_[index % ring_.size()];
  taken_.wait(lock, [&] { return stopped_ || slot.lines.size() < kLinesPerSlot; });
  if (stopped_) return false;
  slot.lines.push_back(std::move(line));
  if (slot.lines.size() == kLinesPerSlot && index == written_ && writerWaiting_) ready_.notify_one();
  return true;
}

bool Pipeline::HeadLinesWaiting() const {
  if (written_ == claimed_) return false;
  const Slot& head = ring_[written_ % ring_.size()];
  return !head.Done() && head.lines.size() == kLinesPerSlot;
}

void Pipeline::WriteLines(std::vector<MemberLine>& lines) {
  for (MemberLine& line : lines) {
    AppendLine(buffer_, settings_.form, {line.parts.front(), line.outcome, line.facts, line.digest, &line});
    tally_.Add(line.outcome);
  }
  lines.clear();
}

bool Pipeline::Emit(Item&& item) {
  const std::lock_guard staging(staging_);
  staged_.push_back(std::move(item));
  // Items are handed over a run at a time while the workers have plenty
  // queued, so the threads meet on the lock less often than once a file.
  // Items held back longer than a moment are handed over by the writer.
  if (staged_.size() < kClaimRun &&
      produced_ - claimedSoFar_.load(std::memory_order_relaxed) >= kClaimRun * settings_.jobs) {
    return true;
  }
  return Publish();
}

void Pipeline::HandOver() {
  const std::lock_guard staging(staging_);
  Publish();
}

bool Pipeline::Publish() {
  std::unique_lock lock(mutex_);
  while (!staged_.empty()) {
    // A full ring is waited on until a batch is free again, not a slot.
    if (produced_ - written_ == ring_.size()) {
      space_.wait(lock, [this] { return stopped_ || produced_ - written_ + batch_ <= ring_.size(); });
    }
    if (stopped_) break;
    MoveStaged();
  }
  staged_.clear();
  return !stopped_;
}

void Pipeline::MoveStaged() {
  const bool noneWaiting = claimed_ == produced_;
  std::size_t i = 0;
  for (; i < staged_.size() && produced_ - written_ < ring_.size(); ++i) {
    Slot& slot = ring_[produced_ % ring_.size()];
    slot.item = std::move(staged_[i]);
    slot.done.store(false, std::memory_order_relaxed);
    ++produced_;
  }
  staged_.erase(staged_.begin(), staged_.begin() + static_cast<std::ptrdiff_t>(i));
  // An idle worker is woken for a run of items rather than for each one,
  // unless the items come slowly. A worker that found nothing at all waits
  // without a time limit, so the first items after that always wake one:
  // the source may be about to block on a descriptor those items hold.
  const auto now = std::chrono::steady_clock::now();
  if (idleWorkers_ > 0 && i > 0 &&
      (noneWaiting || produced_ - claimed_ >= kClaimRun || now - lastEmit_ > kSlowSource)) {
    work_.notify_one();
  }
  lastEmit_ = now;
  // One idle prefetcher woken per run of new items, not all for each.
  if (prefetchersIdle_ > 0 && pace_.Slow() && i > 0) prefetch_.notify_one();
}

void Pipeline::StartPrefetching() {
  if (prefetchers_.empty() && !finished_ && !stopped_) {
    try {
      for (unsigned i = 0; i < kPrefetchers; ++i) prefetchers_.emplace_back([this] { Guarded([this] { Prefetch(); }); });
    } catch (...) {  // fewer threads: fewer files in flight
    }
  }
  // All are woken when storage turns slow; later, new items wake them.
  if (!prefetchersAwake_ && prefetchersIdle_ > 0) prefetch_.notify_all();
  prefetchersAwake_ = true;
}

void Pipeline::Prefetch() {
  std::vector<Item> items;
  std::unique_lock lock(mutex_);
  for (;;) {
    const auto next = [this] { return std::max(prefetched_, claimed_); };
    ++prefetchersIdle_;
    prefetch_.wait(lock, [&] { return stopped_ || finished_ || (pace_.Slow() && next() < produced_); });
    --prefetchersIdle_;
    if (stopped_) return;
    if (!pace_.Slow() || next() >= produced_) {
      if (finished_) return;
      continue;
    }
    // A few at a time, and a sleeping prefetcher woken if more are left.
    const std::uint64_t begin = next();
    prefetched_ = std::min(begin + kPrefetchRun, produced_);
    // Unclaimed, so neither examined nor written meanwhile: copies are safe to take.
    for (std::uint64_t i = begin; i < prefetched_; ++i) items.push_back(ring_[i % ring_.size()].item);
    if (prefetched_ < produced_ && prefetchersIdle_ > 0) prefetch_.notify_one();
    lock.unlock();
    for (const Item& item : items) Warm(item, pace_);
    items.clear();
    lock.lock();
  }
}

void Pipeline::Work() {
  std::optional<Digester> digester;
  if (settings_.form.hash != DigestKind::None) digester.emplace(settings_.form.hash);
  std::unique_lock lock(mutex_);
  for (;;) {
    if (!stopped_ && !finished_ && produced_ - claimed_ < kClaimRun) {
      ++idleWorkers_;
      while (!stopped_ && !finished_ && produced_ - claimed_ < kClaimRun) {
        if (claimed_ == produced_) {
          work_.wait(lock);
        } else if (work_.wait_for(lock, kSlowSource) == std::cv_status::timeout) {
          break;  // the rest of the run is slow to come: take what there is
        }
      }
      --idleWorkers_;
    }
    if (stopped_) return;
    if (claimed_ == produced_) {
      if (finished_) return;
      continue;
    }
    // A run of items when many wait, so that the threads meet on the lock
    // less often than once a file; a share of them, so that all get some.
    const std::uint64_t begin = claimed_;
    claimed_ += std::clamp<std::uint64_t>((produced_ - claimed_) / settings_.jobs, 1, kClaimRun);
    const std::uint64_t end = claimed_;
    claimedSoFar_.store(end, std::memory_order_relaxed);
    lock.unlock();
    // The slots are this worker's alone until each is marked done, but for
    // their lines, which are shared with the writer under the lock. They are
    // examined in order, so the writer's next slot is never left waiting.
    for (std::uint64_t index = begin; index < end; ++index) {
      Slot& slot = ring_[index % ring_.size()];
      slot.facts = FileFacts{};
      slot.digest = DigestValue{};
      bool ownLine = true;
      std::optional<FileDescriptorHeld> held;
      if (!slot.item.preset) held.emplace();
      const int fd = settings_.archives && !slot.item.preset ? OpenRegular(slot.item) : -1;
      if (fd >= 0) {
        SlotLines lines(*this, index);
        ownLine = ListArchive(fd, slot.item.path, lines, digester ? &*digester : nullptr) == Listing::NotArchive;
      }
      if (ownLine) slot.outcome = Examine(slot.item, pace_, slot.facts, digester ? &*digester : nullptr, slot.digest, fd);
      if (fd >= 0) ::close(fd);
      held.reset();
      slot.ownLine = ownLine;
      slot.done.store(true, std::memory_order_release);
    }
    lock.lock();
    if (writerWaiting_ && BatchReady()) ready_.notify_one();
    if (pace_.Slow()) {
      StartPrefetching();
    } else {
      prefetchersAwake_ = false;
    }
  }
}

bool Pipeline::BatchReady() const {
  if (written_ == produced_ || !ring_[written_ % ring_.size()].Done()) return false;
  if (finished_) return true;
  const std::uint64_t last = std::min<std::uint64_t>(written_ + batch_, produced_) - 1;
  return ring_[last % ring_.size()].Done();
}

void Pipeline::Write() {
  std::unique_lock lock(mutex_);
  const auto next = [this] {
    return stopped_ || (finished_ && written_ == produced_) || BatchReady() || HeadLinesWaiting();
  };
  for (;;) {
    if (!next()) {
      // Woken for a batch rather than for every file; still, finished lines
      // wait neither for a batch nor in the buffer for long.
      auto until = std::chrono::steady_clock::now() + kPollDelay;
      if (!buffer_.empty()) until = std::min(until, flushBy_);
      writerWaiting_ = true;
      const bool woken = ready_.wait_until(lock, until, next);
      writerWaiting_ = false;
      if (!woken) {
        // Emit may be waiting for room, holding what it staged: never wait for it.
        if (staging_.try_lock()) {
          if (!staged_.empty()) MoveStaged();
          staging_.unlock();
        }
        if (!buffer_.empty() && std::chrono::steady_clock::now() >= flushBy_) {
          lock.unlock();
          const bool ok = Flush();
          lock.lock();
          if (!ok) break;
        }
        if (written_ < claimed_ && !ring_[written_ % ring_.size()].lines.empty()) {
          // an archive still being read: its lines so far
        } else if (written_ == produced_ || !ring_[written_ % ring_.size()].Done()) {
          continue;
        }
      }
    }
    if (stopped_ || (finished_ && written_ == produced_)) break;
    const std::uint64_t begin = written_;
    std::uint64_t end = begin;
    while (end < produced_ && ring_[end % ring_.size()].Done()) ++end;
    std::vector<MemberLine> headLines;
    if (end == begin) {  // the head is an archive still being read
      headLines.swap(ring_[begin % ring_.size()].lines);
      taken_.notify_all();
    }
    lock.unlock();

    // The slots begin..end are the writer's alone until written_ moves past them.
    const bool wasEmpty = buffer_.empty();
    WriteLines(headLines);
    for (std::uint64_t i = begin; i < end; ++i) {
      Slot& slot = ring_[i % ring_.size()];
      WriteLines(slot.lines);
      if (slot.ownLine) {
        AppendLine(buffer_, settings_.form, {slot.item.path, slot.outcome, slot.facts, slot.digest});
        tally_.Add(slot.outcome);
      }
      slot.item = Item{};  // lets go of its folder
      slot.ownLine = true;
    }
    const auto now = std::chrono::steady_clock::now();
    if (wasEmpty) flushBy_ = now + kFlushDelay;
    const bool ok = (buffer_.size() < kFlushSize && now < flushBy_) || Flush();
    doneCount_.store(end, std::memory_order_relaxed);

    lock.lock();
    written_ = end;
    space_.notify_one();
    if (!ok) break;
  }
  const bool stopped = stopped_;
  lock.unlock();
  if (stopped) return;
  if (settings_.summary) AppendSummary(buffer_, settings_.form.format, tally_);
  Flush();
}

bool Pipeline::Flush() {
  if (buffer_.empty()) return true;
  const auto write = [this] { return WriteAll(buffer_); };
  const int error = settings_.progress && settings_.outputIsTerminal ? progress_.Cleared(write) : write();
  buffer_.clear();
  if (error == 0) return true;
  Stop();
  std::lock_guard lock(mutex_);
  writeError_ = error;
  return false;
}

void Pipeline::Stop() {
  {
    std::lock_guard lock(mutex_);
    stopped_ = true;
  }
  work_.notify_all();
  space_.notify_all();
  ready_.notify_all();
  taken_.notify_all();
  prefetch_.notify_all();
}

Pipeline::Result Pipeline::Finish() {
  HandOver();
  {
    std::lock_guard lock(mutex_);
    finished_ = true;
    totalCount_.store(produced_);
    totalKnown_.store(true, std::memory_order_release);
  }
  work_.notify_all();
  ready_.notify_all();
  prefetch_.notify_all();
  for (std::thread& worker : workers_) worker.join();
  workers_.clear();
  for (std::thread& prefetcher : prefetchers_) prefetcher.join();
  prefetchers_.clear();
  writer_.join();
  progress_.Stop();
  Result result;
  result.writeError = writeError_;
  result.internalError = internalError_;
  result.allExamined = tally_.Failed() == 0;
  return result;
}

}  // namespace fyldra3::scan
