#include "descriptors.h"

#include <dirent.h>
#include <sys/resource.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <mutex>

namespace fyldra3::scan::descriptors {
namespace {

// For the transient ones: a folder's listing (a copy of its descriptor), a
// name decoder's tables, and what the C library opens for itself.
constexpr std::size_t kSpare = 8;
constexpr int kMostTries = 20;

struct Pool {
  std::mutex mutex;
  std::condition_variable given;
  std::size_t capacity = SIZE_MAX;  // until shared
  std::size_t folders = 0;
  std::size_t files = 0;
  std::uint64_t gives = 0;  // counts every give, for those waiting to retry
};

Pool& ThePool() {
  static Pool pool;
  return pool;
}

std::atomic<bool> shortage{false};

// Descriptors open now below `limit` (only numbers below it can be given
// out); a guess where /proc is missing.
std::size_t OpenNow(std::size_t limit) {
  DIR* dir = ::opendir("/proc/self/fd");
  if (dir == nullptr) return 16;
  const int own = ::dirfd(dir);
  std::size_t n = 0;
  while (const dirent* e = ::readdir(dir)) {
    if (e->d_name[0] == '.') continue;
    const unsigned long fd = std::strtoul(e->d_name, nullptr, 10);
    if (fd < limit && fd != static_cast<unsigned long>(own)) ++n;
  }
  ::closedir(dir);
  return n;
}

// Gives back one descriptor counted in `held` and wakes whoever waits for one.
void Give(std::size_t Pool::*held) {
  Pool& pool = ThePool();
  {
    std::lock_guard lock(pool.mutex);
    --(pool.*held);
    ++pool.gives;
  }
  pool.given.notify_all();
}

}  // namespace

void Share() {
  rlimit limit{};
  if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return;
  const auto most = static_cast<std::size_t>(limit.rlim_cur);
  const std::size_t used = OpenNow(most) + kSpare;
  Pool& pool = ThePool();
  std::lock_guard lock(pool.mutex);
  pool.capacity = most > used + 2 ? most - used : 2;  // too few to work with: openings will tell
}

void TakeForFolder(std::size_t ownHeld, const std::function<void()>& beforeWaiting) {
  Pool& pool = ThePool();
  std::unique_lock lock(pool.mutex);
  const auto room = [&pool] {
    return pool.folders + pool.files < pool.capacity && pool.folders + 1 < pool.capacity;
  };
  const auto worthWaiting = [&] {
    return pool.folders > ownHeld || (pool.files > 0 && pool.folders + 1 < pool.capacity);
  };
  if (!room() && worthWaiting() && beforeWaiting) {
    lock.unlock();
    beforeWaiting();
    lock.lock();
  }
  pool.given.wait(lock, [&] { return room() || !worthWaiting(); });
  ++pool.folders;
}

void TakeForFile() {
  Pool& pool = ThePool();
  std::unique_lock lock(pool.mutex);
  // Waits only for other files, which give theirs back soon; never for
  // folders, whose files may be waiting for this one to be written.
  pool.given.wait(lock, [&pool] { return pool.folders + pool.files < pool.capacity || pool.files == 0; });
  ++pool.files;
}

void GiveFolder() { Give(&Pool::folders); }
void GiveFile() { Give(&Pool::files); }

bool WaitToRetry(int& tries) {
  using namespace std::chrono_literals;
  // Once a file has failed for want of descriptors the limit is too low to
  // work with: the rest fail at once rather than each after a wait.
  if (++tries > kMostTries || ShortageSeen()) return false;
  Pool& pool = ThePool();
  std::unique_lock lock(pool.mutex);
  const std::uint64_t seen = pool.gives;
  return pool.given.wait_for(lock, 1s, [&] { return pool.gives != seen; });
}

void NoteShortage() noexcept { shortage.store(true, std::memory_order_relaxed); }
bool ShortageSeen() noexcept { return shortage.load(std::memory_order_relaxed); }

}  // namespace fyldra3::scan::descriptors
