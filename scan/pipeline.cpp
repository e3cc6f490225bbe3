#include "pipeline.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <string_view>

#include "fyldra3/classify_file.h"

namespace fyldra3::scan {
namespace {

using namespace std::chrono_literals;

constexpr std::size_t kFlushSize = std::size_t{64} * 1024;
constexpr std::size_t kSlotsPerJob = 64;
constexpr std::size_t kMaxSlots = 1024;  // each may hold a folder open
constexpr auto kFlushDelay = 100ms;       // longest a finished line waits in the buffer
constexpr auto kPollDelay = 20ms;         // longest finished slots wait for the rest of their batch

// The file system calls for a file named relative to an open folder.
class FolderAccess final : public FileAccess {
 public:
  explicit FolderAccess(int folder) noexcept : folder_(folder) {}
  int Stat(const char* name, struct stat* st) noexcept override {
    return ::fstatat(folder_, name, st, 0) < 0 ? -errno : 0;
  }
  int Open(const char* name) noexcept override {
    const int fd = ::openat(folder_, name, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    return fd < 0 ? -errno : fd;
  }

 private:
  int folder_;
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

// `digester` is null when no digest is wanted; `opened`, when not -1, is the
// item's file, already open.
Outcome Examine(const Item& item, FileFacts& facts, Digester* digester, DigestValue& digest, int opened = -1) {
  if (item.preset) return *item.preset;
  const bool digesting = digester != nullptr && digester->Start();
  ByteObserver* observer = digester;
  Outcome outcome = Failure::ReadError;
  if (opened >= 0) {
    OpenedAccess access(opened);
    outcome = ClassifyFile(item.path, access, &facts, observer);
  } else if (item.dir) {
    FolderAccess access(item.dir->fd);
    outcome = ClassifyFile(item.name, access, &facts, observer);
  } else {
    outcome = ClassifyFile(item.path, FileAccess::System(), &facts, observer);
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
  const int fd = item.dir ? FolderAccess(item.dir->fd).Open(item.name.c_str()) : FileAccess::System().Open(item.path.c_str());
  if (fd >= 0 && (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))) {
    ::close(fd);
    return -1;
  }
  return fd;
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
  if (settings_.form.format == Format::Csv) AppendCsvHeader(buffer_, settings_.bom);
  if (settings_.progress) progress_.Start();
  writer_ = std::thread([this] { Write(); });
  workers_.reserve(settings_.jobs);
  for (unsigned i = 0; i < settings_.jobs; ++i) workers_.emplace_back([this] { Work(); });
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
  return !head.done && head.lines.size() == kLinesPerSlot;
}

void Pipeline::WriteLines(std::vector<MemberLine>& lines) {
  for (MemberLine& line : lines) {
    AppendLine(buffer_, settings_.form, {line.parts.front(), line.outcome, line.facts, line.digest, &line});
    tally_.Add(line.outcome);
  }
  lines.clear();
}

bool Pipeline::Emit(Item&& item) {
  std::unique_lock lock(mutex_);
  space_.wait(lock, [this] { return stopped_ || produced_ - written_ < ring_.size(); });
  if (stopped_) return false;
  Slot& slot = ring_[produced_ % ring_.size()];
  slot.item = std::move(item);
  slot.done = false;
  ++produced_;
  lock.unlock();
  work_.notify_one();
  return true;
}

void Pipeline::Work() {
  std::optional<Digester> digester;
  if (settings_.form.hash != DigestKind::None) digester.emplace(settings_.form.hash);
  std::unique_lock lock(mutex_);
  for (;;) {
    work_.wait(lock, [this] { return stopped_ || finished_ || claimed_ < produced_; });
    if (stopped_ || claimed_ == produced_) return;  // finished_, and nothing left
    const std::uint64_t index = claimed_++;
    Slot& slot = ring_[index % ring_.size()];
    lock.unlock();
    // The slot is this worker's alone until it is marked done, but for its
    // lines, which are shared with the writer under the lock.
    slot.facts = FileFacts{};
    slot.digest = DigestValue{};
    bool ownLine = true;
    std::optional<Outcome> outcome;
    const int fd = settings_.archives && !slot.item.preset ? OpenRegular(slot.item) : -1;
    if (fd >= 0) {
      SlotLines lines(*this, index);
      ownLine = ListArchive(fd, slot.item.path, lines, digester ? &*digester : nullptr) == Listing::NotArchive;
    }
    if (ownLine) outcome = Examine(slot.item, slot.facts, digester ? &*digester : nullptr, slot.digest, fd);
    if (fd >= 0) ::close(fd);
    lock.lock();
    slot.ownLine = ownLine;
    if (outcome) slot.outcome = *outcome;
    slot.done = true;
    if (writerWaiting_ && BatchReady()) ready_.notify_one();
  }
}

bool Pipeline::BatchReady() const {
  if (written_ == produced_ || !ring_[written_ % ring_.size()].done) return false;
  if (finished_) return true;
  const std::uint64_t last = std::min<std::uint64_t>(written_ + batch_, produced_) - 1;
  return ring_[last % ring_.size()].done;
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
        if (!buffer_.empty() && std::chrono::steady_clock::now() >= flushBy_) {
          lock.unlock();
          const bool ok = Flush();
          lock.lock();
          if (!ok) break;
        }
        if (written_ < claimed_ && !ring_[written_ % ring_.size()].lines.empty()) {
          // an archive still being read: its lines so far
        } else if (written_ == produced_ || !ring_[written_ % ring_.size()].done) {
          continue;
        }
      }
    }
    if (stopped_ || (finished_ && written_ == produced_)) break;
    const std::uint64_t begin = written_;
    std::uint64_t end = begin;
    while (end < produced_ && ring_[end % ring_.size()].done) ++end;
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
}

Pipeline::Result Pipeline::Finish() {
  {
    std::lock_guard lock(mutex_);
    finished_ = true;
    totalCount_.store(produced_);
    totalKnown_.store(true, std::memory_order_release);
  }
  work_.notify_all();
  ready_.notify_all();
  for (std::thread& worker : workers_) worker.join();
  workers_.clear();
  writer_.join();
  progress_.Stop();
  Result result;
  result.writeError = writeError_;
  result.allExamined = tally_.Failed() == 0;
  return result;
}

}  // namespace fyldra3::scan
