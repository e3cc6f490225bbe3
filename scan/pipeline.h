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

// The items pass through a ring of slots: Emit (the caller's thread) fills
// the next slot, waiting while the ring is full; `jobs` workers examine the
// slots in turn; one writer formats the finished slots in order into a large
// buffer and writes it to standard output. The output is thus the same for
// any number of jobs, and memory does not grow with the number of items.
// An archive is one item: its worker reads it as one stream and queues its
// members' lines in the slot, at most kLinesPerSlot at a time, which the
// writer takes as soon as the slot is the next to be written.
class Pipeline final : public Sink {
 public:
  explicit Pipeline(const RunSettings& settings);
  Pipeline(const Pipeline&) = delete;
  Pipeline& operator=(const Pipeline&) = delete;
  ~Pipeline() override;

  bool Emit(Item&& item) override;

  struct Result {
    bool allExamined = true;
    int writeError = 0;  // errno of a failed write to standard output
  };
  // Ends the input; returns once everything (and the summary) is written.
  Result Finish();

 private:
  struct Slot {
    Item item;
    Outcome outcome = Failure::ReadError;
    FileFacts facts;
    DigestValue digest;
    bool done = false;
    bool ownLine = true;             // false for an archive: its members have the lines
    std::vector<MemberLine> lines;   // members' lines not yet written
  };
  class SlotLines;
  static constexpr std::size_t kLinesPerSlot = 256;

  // A member's line, from a worker; false when the run is stopping.
  bool Queue(std::uint64_t index, MemberLine&& line);
  void WriteLines(std::vector<MemberLine>& lines);
  bool HeadLinesWaiting() const;

  void Work();
  void Write();
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
  std::uint64_t written_ = 0;      // slots written (and free again)
  bool finished_ = false;          // no more items
  bool stopped_ = false;           // a write failed: drop everything
  bool writerWaiting_ = false;
  int writeError_ = 0;

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
  std::thread writer_;
};

}  // namespace fyldra3::scan
