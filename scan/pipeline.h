// Examining items on worker threads and writing their lines in input order.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "archive.h"
#include "digest.h"
#include "item.h"
#include "options.h"
#include "output.h"
#include "progress.h"

namespace fyldra3::scan {

struct RunSettings {
  LineForm form;
  bool bom = false;  // with CSV
  bool summary = false;
  bool archives = false;  // archives are listed member by member
  unsigned jobs = 1;
  std::optional<std::uint64_t> total;  // the number of items, when known before the start
  bool progress = false;               // standard error is a terminal
  bool outputIsTerminal = false;       // standard output is one too
};

// Whether files come from slow storage rather than the page cache, judged
// by how long their opens and reads take on average over a window of calls.
class Pace {
 public:
  void Note(std::chrono::steady_clock::duration took, std::size_t bytes) noexcept;
  bool Slow() const noexcept { return slow_.load(std::memory_order_relaxed); }

 private:
  static constexpr std::uint64_t kWindow = 256;
  static constexpr std::uint64_t kSlowMicros = 25;   // on above this average
  static constexpr std::uint64_t kCachedMicros = 8;  // off below it
  static constexpr unsigned kQuietWindows = 8;       // that many times in a row
  std::atomic<std::uint64_t> calls_{0};
  std::atomic<std::uint64_t> waited_{0};  // microseconds over what the page cache takes
  std::atomic<unsigned> quiet_{0};
  std::atomic<bool> slow_{false};
};

// The items pass through a ring of slots: Emit (the caller's thread) fills
// the next slots, a few at a time, waiting while the ring is full; `jobs` workers examine the
// slots in turn; one writer formats the finished slots in order into a large
// buffer and writes it to standard output. The output is thus the same for
// any number of jobs, and memory does not grow with the number of items.
// An archive is one item: its worker reads it as one stream and queues its
// members' lines in the slot, at most kLinesPerSlot at a time, which the
// writer takes as soon as the slot is the next to be written.
// On slow storage, prefetchers open the files ahead of the workers and ask
// the kernel to read them, so that many reads are in flight whatever the
// number of jobs; they read nothing themselves, and the workers remain the
// only ones classifying.
class Pipeline final : public Sink {
 public:
  explicit Pipeline(const RunSettings& settings);
  Pipeline(const Pipeline&) = delete;
  Pipeline& operator=(const Pipeline&) = delete;
  ~Pipeline() override;

  bool Emit(Item&& item) override;
  void HandOver() override;

  // Writes a message to standard error, with the progress line out of its way.
  void Note(const std::string& text);

  struct Result {
    bool allExamined = true;
    int writeError = 0;     // errno of a failed write to standard output
    int internalError = 0;  // errno (ENOMEM) that stopped a thread of the run
  };
  // Ends the input; returns once everything (and the summary) is written.
  Result Finish();

 private:
  struct Slot {
    Item item;
    Outcome outcome = Failure::ReadError;
    FileFacts facts;
    DigestValue digest;
    std::atomic<bool> done{false};  // set by its worker without the lock
    bool ownLine = true;             // false for an archive: its members have the lines
    std::vector<MemberLine> lines;   // members' lines not yet written
    bool Done() const noexcept { return done.load(std::memory_order_acquire); }
  };
  class SlotLines;
  static constexpr std::size_t kLinesPerSlot = 256;

  // A member's line, from a worker; false when the run is stopping.
  bool Queue(std::uint64_t index, MemberLine&& line);
  void WriteLines(std::vector<MemberLine>& lines);
  bool HeadLinesWaiting() const;

  // Hand the staged items over to the workers, with `staging_` held:
  // Publish all of them, waiting for room; MoveStaged (with `mutex_` held
  // too) as many as there is room for.
  bool Publish();
  void MoveStaged();
  void Work();
  void StartPrefetching();  // with `mutex_` held
  void Prefetch();
  void Write();
  // Runs a thread's body; what it throws (no memory) stops the run instead of ending the program.
  template <class Body>
  void Guarded(Body body) noexcept;
  bool Flush();
  // Whether the writer has a batch: the next slot done, and the one a batch
  // later (or the last one filled), or no more to come.
  bool BatchReady() const;
  void Stop();  // after a write error

  const RunSettings settings_;
  std::vector<Slot> ring_;
  const std::size_t batch_;

  std::mutex mutex_;
  std::condition_variable work_;   // workers: a slot to examine, or the end
  std::condition_variable ready_;  // the writer: its next slot is done, or the end
  std::condition_variable space_;  // Emit: a free slot
  std::condition_variable taken_;  // workers: the writer took a slot's lines
  std::uint64_t produced_ = 0;     // slots filled
  std::uint64_t claimed_ = 0;      // slots taken by a worker
  std::atomic<std::uint64_t> claimedSoFar_{0};  // claimed_, for Emit to look at without the lock
  std::uint64_t written_ = 0;      // slots written (and free again)
  bool finished_ = false;          // no more items
  bool stopped_ = false;           // a write failed: drop everything
  bool writerWaiting_ = false;
  unsigned idleWorkers_ = 0;
  std::chrono::steady_clock::time_point lastEmit_;
  int writeError_ = 0;
  std::condition_variable prefetch_;  // prefetchers: an item to open ahead, or the end
  std::uint64_t prefetched_ = 0;      // items before it are opened ahead or claimed
  unsigned prefetchersIdle_ = 0;
  bool prefetchersAwake_ = false;     // woken since storage turned slow
  Pace pace_;

  // Items Emit has not handed over yet.
  std::mutex staging_;  // taken before `mutex_`
  std::vector<Item> staged_;
  int internalError_ = 0;

  // The writer's own.
  std::string buffer_;
  std::chrono::steady_clock::time_point flushBy_;
  Tally tally_;

  // For the progress line.
  std::atomic<std::uint64_t> doneCount_{0};
  std::atomic<std::uint64_t> totalCount_{0};
  std::atomic<bool> totalKnown_{false};
  Progress progress_{doneCount_, totalCount_, totalKnown_};

  std::vector<std::thread> workers_;
  std::vector<std::thread> prefetchers_;  // started with `mutex_` held
  std::thread writer_;
};

}  // namespace fyldra3::scan
