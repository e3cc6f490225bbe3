#include "progress.h"

#include <sys/ioctl.h>
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

// Columns the text takes on a terminal: its wide characters (件, 秒) take two.
std::size_t Columns(std::string_view text) {
  std::size_t n = 0;
  for (const char c : text) {
    const auto b = static_cast<unsigned char>(c);
    if (b < 0x80) {
      n += 1;
    } else if (b >= 0xC0) {
      n += 2;  // the lead byte of a character; its continuation bytes add nothing
    }
  }
  return n;
}

// The terminal's width less one: a line that reaches the last column would
// wrap on some terminals, and the next redraw would leave the first behind.
std::size_t Room() {
  winsize size{};
  const std::size_t columns =
      ::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0 ? size.ws_col : 80;
  return columns - 1;
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
  std::string count;
  AppendNumber(count, done);
  if (totalKnown_.load(std::memory_order_acquire)) {
    count.append(" / ");
    AppendNumber(count, total_.load(std::memory_order_relaxed));
  }
  count.append(" 件");
  std::string rate = " (";
  AppendNumber(rate, static_cast<std::uint64_t>(static_cast<double>(done) / seconds));
  rate.append(" 件/秒)");
  // The longest form that fits the terminal now (it may have been resized); none if even the count does not.
  const std::size_t room = Room();
  const std::string forms[] = {"fyldra3-scan: " + count + rate, count + rate, count};
  for (const std::string& form : forms) {
    if (Columns(form) > room) continue;
    shown.store(true);
    WriteAll(STDERR_FILENO, std::string(kClear) + form);
    return;
  }
  Clear();
}

void Progress::Clear() {
  if (!shown.load()) return;
  WriteAll(STDERR_FILENO, kClear);
  shown.store(false);
}

}  // namespace fyldra3::scan
