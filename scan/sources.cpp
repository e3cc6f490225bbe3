#include "sources.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <utility>
#include <vector>

namespace fyldra3::scan {
namespace {

struct Entry {
  std::string name;
  unsigned char type;  // DT_*
};

std::string Join(const std::string& folder, const std::string& name) {
  std::string path;
  path.reserve(folder.size() + 1 + name.size());
  path.append(folder);
  if (path.empty() || path.back() != '/') path += '/';
  path.append(name);
  return path;
}

// All names in the folder but "." and "..", sorted by their bytes. Returns
// 0 or the errno of a failure; what was read before a failure is kept.
int ReadEntries(int fd, std::vector<Entry>& entries) {
  const int copy = descriptors::OpenRetrying([fd] { return ::fcntl(fd, F_DUPFD_CLOEXEC, 0); });
  if (copy < 0) return errno;
  DIR* dir = ::fdopendir(copy);
  if (dir == nullptr) {
    const int error = errno;
    ::close(copy);
    return error;
  }
  int error = 0;
  for (;;) {
    errno = 0;
    const dirent* e = ::readdir(dir);
    if (e == nullptr) {
      error = errno;
      break;
    }
    const char* n = e->d_name;
    if (n[0] == '.' && (n[1] == '\0' || (n[1] == '.' && n[2] == '\0'))) continue;
    entries.push_back({std::string(n), e->d_type});
  }
  ::closedir(dir);
  // std::string compares as unsigned bytes (char_traits<char>), whatever the locale.
  std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) { return a.name < b.name; });
  return error;
}

class Walker {
 public:
  explicit Walker(Sink& sink) : sink_(sink) {}

  // Walks the open folder `fd`, shown as `path`.
  bool Walk(int fd, std::string path) {
    if (!Enter(fd, std::move(path))) return false;
    while (!stack_.empty()) {
      Frame& top = stack_.back();
      if (top.next == top.entries.size()) {
        stack_.pop_back();
        continue;
      }
      Entry& entry = top.entries[top.next++];
      std::shared_ptr<const Directory> dir = top.dir;  // `top` may move when a folder is entered
      if (!Visit(dir, std::move(entry.name), entry.type)) return false;
    }
    return true;
  }

 private:
  struct Frame {
    std::shared_ptr<const Directory> dir;
    std::vector<Entry> entries;
    std::size_t next = 0;
  };

  bool Fail(std::string path, int error) {
    return sink_.Emit(Item{std::move(path), nullptr, {}, Outcome::OfErrno(error)});
  }

  bool Enter(int fd, std::string path) {
    Frame frame;
    frame.dir = std::make_shared<const Directory>(fd, std::move(path));
    sink_.HandOver();  // reading the folder may wait for the disk
    const int error = ReadEntries(fd, frame.entries);
    // A folder that could not be read in full: say so, then examine what was read.
    if (error != 0 && !Fail(frame.dir->path, error)) return false;
    if (!frame.entries.empty()) stack_.push_back(std::move(frame));
    return true;
  }

  bool File(const std::shared_ptr<const Directory>& dir, std::string name, bool regular = false) {
    std::string path = Join(dir->path, name);
    return sink_.Emit(Item{std::move(path), dir, std::move(name), std::nullopt, regular});
  }

  bool Visit(const std::shared_ptr<const Directory>& dir, std::string name, unsigned char type) {
    struct stat st {};
    if (type == DT_UNKNOWN) {  // file systems that do not say: ask
      if (::fstatat(dir->fd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return File(dir, std::move(name));
      type = S_ISREG(st.st_mode)   ? DT_REG
             : S_ISDIR(st.st_mode) ? DT_DIR
             : S_ISLNK(st.st_mode) ? DT_LNK
                                   : DT_FIFO;  // any other kind: passed over
    }
    if (type == DT_REG) return File(dir, std::move(name), true);
    if (type == DT_DIR) {
      // O_NOFOLLOW: a folder replaced by a link since it was listed is not entered.
      // Items held back may hold the folders this would wait for: handed over first.
      descriptors::TakeForFolder(stack_.size(), [this] { sink_.HandOver(); });
      const int fd = descriptors::OpenRetrying(
          [&] { return ::openat(dir->fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC); });
      if (fd >= 0) return Enter(fd, Join(dir->path, name));
      const int error = errno;
      descriptors::GiveFolder();
      if (error != ELOOP && error != ENOTDIR) return Fail(Join(dir->path, name), error);
      type = DT_LNK;  // no longer a folder: look again
    }
    if (type == DT_LNK) {
      // Followed: a link to a regular file is examined, one to anything else passed over,
      // one that leads nowhere reported by the examination.
      if (::fstatat(dir->fd, name.c_str(), &st, 0) != 0 || S_ISREG(st.st_mode)) return File(dir, std::move(name));
    }
    return true;  // FIFOs, devices, sockets, links to folders
  }

  Sink& sink_;
  std::vector<Frame> stack_;
};

}  // namespace

bool EmitPath(std::string path, bool recursive, Sink& sink) {
  if (path.find('\0') != std::string::npos) {  // from a list: no file has such a name
    return sink.Emit(Item{std::move(path), nullptr, {}, Outcome(Failure::NotFound, ENOENT)});
  }
  struct stat st {};
  // A path the user names is walked even when it is a link to a folder.
  if (recursive && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
    descriptors::TakeForFolder(0);
    const int fd = descriptors::OpenRetrying([&] { return ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); });
    if (fd < 0) {
      const int error = errno;
      descriptors::GiveFolder();
      return sink.Emit(Item{std::move(path), nullptr, {}, Outcome::OfErrno(error)});
    }
    return Walker(sink).Walk(fd, std::move(path));
  }
  return sink.Emit(Item{std::move(path), nullptr, {}, std::nullopt});
}

int ReadList(int fd, bool nul, const std::function<bool(std::string&&)>& each,
             const std::function<void(std::uint64_t)>& tooLong) {
  const char separator = nul ? '\0' : '\n';
  std::vector<char> buffer(std::size_t{64} * 1024);
  std::string pending;
  std::uint64_t number = 1;  // of the entry in `pending`
  bool skipping = false;     // the rest of an entry that is too long
  for (;;) {
    const ssize_t n = ::read(fd, buffer.data(), buffer.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    if (n == 0) break;
    const char* p = buffer.data();
    const char* const end = p + n;
    while (p < end) {
      const char* stop = std::find(p, end, separator);
      if (!skipping) {
        if (pending.size() + static_cast<std::size_t>(stop - p) > kMaxListEntry) {
          skipping = true;
          pending.clear();
          tooLong(number);
        } else {
          pending.append(p, stop);
        }
      }
      if (stop == end) break;
      p = stop + 1;
      ++number;
      skipping = false;
      if (!pending.empty()) {
        if (!each(std::move(pending))) return 0;
        pending.clear();
      }
    }
  }
  if (!pending.empty()) each(std::move(pending));
  return 0;
}

}  // namespace fyldra3::scan
