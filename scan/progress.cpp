#include "progress.h"

#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <string>
#include <string_view>

namespace fyldra3::scan {
namespace {

constexpr std::string_view kClear = "\r\033[K";

void WriteAll(int fd, std::string_view text) {
  while (!text.empty()) {
    const ssize_t n = ::write(fd, text.data(), text.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;  // nothing to be done about a terminal that fails
    text.remove_prefix(static_cast<std::size_t>(n));
  }
}

void AppendNumber(std::string& out, std::uint64_t n) {
  char digits[24];
  out.append(digits, std::to_chars(digits, digits + sizeof digits, n).ptr);
}

}  // namespace

std::atomic<bool> Progress::shown{false};

void Progress::Start() {
  start_ = std::chrono::steady_clock::now();
  thread_ = std::thread([this] { Run(); });
}

void Progress::Stop() {
  if (!thread_.joinable()) return;
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
  }
  wake_.notify_all();
  thread_.join();
  std::lock_guard lock(mutex_);
  Clear();
}

void Progress::Run() {
  using namespace std::chrono_literals;
  std::unique_lock lock(mutex_);
  while (!wake_.wait_for(lock, 100ms, [this] { return stop_; })) {
    const auto elapsed = std::chrono::steady_clock::now() - start_;
    if (elapsed >= 500ms) Draw(elapsed);
  }
}

void Progress::Draw(std::chrono::steady_clock::duration elapsed) {
  const std::uint64_t done = done_.load(std::memory_order_relaxed);
  const double seconds = std::chrono::duration<double>(elapsed).count();
  std::string line(kClear);
  line.append("fyldra3-scan: ");
  AppendNumber(line, done);
  if (totalKnown_.load(std::memory_order_acquire)) {
    line.append(" / ");
    AppendNumber(line, total_.load(std::memory_order_relaxed));
  }
  line.append(" 件 (");
  AppendNumber(line, static_cast<std::uint64_t>(static_cast<double>(done) / seconds));
  line.append(" 件/秒)");
  shown.store(true);
  WriteAll(STDERR_FILENO, line);
}

void Progress::Clear() {
  if (!shown.load()) return;
  WriteAll(STDERR_FILENO, kClear);
  shown.store(false);
}

}  // namespace fyldra3::scan
