// The floor for many files: THREADS threads each take the next path of a
// NUL-separated list, open it, read it to the end in 256 KiB blocks and close
// it. Prints the number of bytes read.
//   fyldra3_many_reader [-t THREADS] LIST
// With --evict, instead drops each listed file's pages from the page cache
// (posix_fadvise POSIX_FADV_DONTNEED): cold data for one who may not drop
// the whole cache; folders and inodes stay cached.
#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace {

std::vector<std::string> ReadList(const char* path) {
  std::string all;
  if (std::FILE* f = std::fopen(path, "rb")) {
    char chunk[65536];
    for (std::size_t n; (n = std::fread(chunk, 1, sizeof chunk, f)) > 0;) all.append(chunk, n);
    std::fclose(f);
  }
  std::vector<std::string> paths;
  for (std::size_t at = 0; at < all.size();) {
    std::size_t end = all.find('\0', at);
    if (end == std::string::npos) end = all.size();
    if (end > at) paths.emplace_back(all, at, end - at);
    at = end + 1;
  }
  return paths;
}

}  // namespace

int main(int argc, char** argv) {
  unsigned threads = 1;
  bool evict = false;
  int i = 1;
  for (; i < argc - 1; ++i) {
    const std::string_view a = argv[i];
    if (a == "-t" && i + 1 < argc - 1) {
      threads = static_cast<unsigned>(std::strtoul(argv[++i], nullptr, 10));
    } else if (a == "--evict") {
      evict = true;
    } else {
      break;
    }
  }
  if (i != argc - 1 || threads < 1) {
    std::fprintf(stderr, "usage: %s [-t THREADS] [--evict] LIST\n", argv[0]);
    return 2;
  }
  const std::vector<std::string> paths = ReadList(argv[i]);
  std::atomic<std::size_t> next{0};
  std::atomic<unsigned long long> total{0};
  std::atomic<bool> failed{false};
  auto work = [&] {
    std::vector<char> buffer(std::size_t{256} * 1024);
    unsigned long long bytes = 0;
    for (std::size_t k; (k = next.fetch_add(1, std::memory_order_relaxed)) < paths.size();) {
      const int fd = open(paths[k].c_str(), O_RDONLY | O_CLOEXEC);
      if (fd < 0) {
        failed = true;
        continue;
      }
      if (evict) {
        if (posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED) != 0) failed = true;
      } else {
        for (ssize_t n; (n = read(fd, buffer.data(), buffer.size())) != 0;) {
          if (n < 0) {
            failed = true;
            break;
          }
          bytes += static_cast<unsigned long long>(n);
        }
      }
      close(fd);
    }
    total += bytes;
  };
  std::vector<std::thread> pool;
  for (unsigned t = 1; t < threads; ++t) pool.emplace_back(work);
  work();
  for (std::thread& t : pool) t.join();
  std::printf("%llu\n", total.load());
  return failed ? 1 : 0;
}
