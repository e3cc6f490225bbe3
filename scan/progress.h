// The progress line on a terminal's standard error.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

namespace fyldra3::scan {

// Redraws "N / M 件 (R 件/秒)" on standard error about ten times a second,
// starting half a second after Start(); Stop() clears the line. The line is
// shortened to fit the terminal's width, so it never wraps.
class Progress {
 public:
  // `done` counts the files written; `total` holds their number once `totalKnown`.
  Progress(const std::atomic<std::uint64_t>& done, const std::atomic<std::uint64_t>& total,
           const std::atomic<bool>& totalKnown) noexcept
      : done_(done), total_(total), totalKnown_(totalKnown) {}
  Progress(const Progress&) = delete;
  Progress& operator=(const Progress&) = delete;
  ~Progress() { Stop(); }

  void Start();
  void Stop();

  // Runs `write` with the line taken off the terminal (for output to the same terminal).
  template <class F>
  auto Cleared(F&& write) {
    std::lock_guard lock(mutex_);
    Clear();
    return write();
  }

  // Whether the line is on the terminal now; read by the SIGPIPE handler.
  static std::atomic<bool> shown;

 private:
  void Run();
  void Draw(std::chrono::steady_clock::duration elapsed);
  void Clear();

  const std::atomic<std::uint64_t>& done_;
  const std::atomic<std::uint64_t>& total_;
  const std::atomic<bool>& totalKnown_;
  std::mutex mutex_;
  std::condition_variable wake_;
  bool stop_ = false;
  std::chrono::steady_clock::time_point start_;
  std::thread thread_;
};

}  // namespace fyldra3::scan
