#include "archive.h"

#include <archive.h>
#include <archive_entry.h>
#include <locale.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <cstring>
#include <memory>
#include <string_view>

#include "fyldra3/classifier.h"

namespace fyldra3::scan {
namespace {

constexpr std::size_t kReadSize = std::size_t{256} * 1024;
// What a nested archive's formats may read while deciding whether they know
// it; kept so that the same bytes can be offered to the next format, or
// classified. The formats themselves read far less (an ISO 9660 header sits
// at 32 KiB, self-extracting 7z and RAR are sought within 512 KiB).
constexpr std::size_t kReplayLimit = std::size_t{4} << 20;
// A reader returning empty blocks without end is a damaged archive.
constexpr unsigned kMaxEmptyBlocks = 1u << 16;

constexpr unsigned char kZeros[64 * 1024] = {};

// libarchive converts member names to the thread's locale. With UTF-8 there,
// names the archive marks as Unicode arrive as UTF-8, and names it does not
// mark (a zip from Japanese Windows) arrive as the bytes stored.
void UseUtf8Names() noexcept {
  static const locale_t utf8 = ::newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
  thread_local bool done = false;
  if (!done && utf8 != static_cast<locale_t>(nullptr)) ::uselocale(utf8);
  done = true;
}

struct ArchiveFree {
  void operator()(archive* a) const noexcept { archive_read_free(a); }
};
using Reader = std::unique_ptr<archive, ArchiveFree>;

// A reader for archive formats (`raw` false) or for data that is only
// compressed (`raw` true). Only filters built into the library: none that
// runs an outside program. Formats that would take a plain file for an
// archive (empty, mtree, uuencoded text) are left out.
Reader NewReader(bool raw) {
  Reader a(archive_read_new());
  if (!a) return a;
  archive* r = a.get();
  if (raw) {
    archive_read_support_format_raw(r);
  } else {
    archive_read_support_format_7zip(r);
    archive_read_support_format_cab(r);
    archive_read_support_format_cpio(r);
    archive_read_support_format_iso9660(r);
    archive_read_support_format_lha(r);
    archive_read_support_format_rar(r);
    archive_read_support_format_rar5(r);
    archive_read_support_format_tar(r);
    archive_read_support_format_warc(r);
    archive_read_support_format_zip(r);
    // LHA names are code page 932 by custom; libarchive's default reading
    // of them fails on any name outside ASCII.
    archive_read_set_options(r, "lha:hdrcharset=CP932");
  }
  archive_read_support_filter_gzip(r);
  archive_read_support_filter_bzip2(r);
  archive_read_support_filter_xz(r);
  archive_read_support_filter_lzma(r);
  archive_read_support_filter_zstd(r);
  archive_read_support_filter_compress(r);
  archive_read_support_filter_lz4(r);
  archive_read_support_filter_lzip(r);
  return a;
}

std::string ErrorText(archive* a) {
  const char* text = archive_error_string(a);
  return text != nullptr ? std::string(text) : std::string();
}

// ---- The bytes of a file on disk, with seeking (a zip's directory is at its end).

struct FileInput {
  int fd;
  std::unique_ptr<unsigned char[]> buffer;
};

la_ssize_t FileRead(archive* a, void* data, const void** block) {
  auto* in = static_cast<FileInput*>(data);
  for (;;) {
    const ssize_t n = ::read(in->fd, in->buffer.get(), kReadSize);
    if (n >= 0) {
      *block = in->buffer.get();
      return n;
    }
    if (errno == EINTR) continue;
    archive_set_error(a, errno, "%s", std::strerror(errno));
    return -1;
  }
}

la_int64_t FileSeek(archive* a, void* data, la_int64_t offset, int whence) {
  const off_t at = ::lseek(static_cast<FileInput*>(data)->fd, offset, whence);
  if (at < 0) {
    archive_set_error(a, errno, "%s", std::strerror(errno));
    return ARCHIVE_FATAL;
  }
  return at;
}

la_int64_t FileSkip(archive*, void* data, la_int64_t request) {
  return ::lseek(static_cast<FileInput*>(data)->fd, request, SEEK_CUR) < 0 ? 0 : request;
}

int OpenFile(archive* a, FileInput& in) {
  if (::lseek(in.fd, 0, SEEK_SET) < 0) return ARCHIVE_FATAL;
  archive_read_set_callback_data(a, &in);
  archive_read_set_read_callback(a, FileRead);
  archive_read_set_seek_callback(a, FileSeek);
  archive_read_set_skip_callback(a, FileSkip);
  return archive_read_open1(a);
}

// ---- The bytes of a member, as its archive decompresses them.

class MemberData {
 public:
  explicit MemberData(archive* a) noexcept : a_(a) {}

  // 1 and a block (valid until the next call), 0 at the end, -1 on failure.
  int Next(const unsigned char*& block, std::size_t& size) {
    if (result_ <= 0) return result_;
    unsigned empty = 0;
    for (;;) {
      if (hole_ > 0) {  // a sparse member: its holes read as zeros
        size = static_cast<std::size_t>(std::min<la_int64_t>(hole_, sizeof kZeros));
        block = kZeros;
        hole_ -= static_cast<la_int64_t>(size);
        position_ += static_cast<la_int64_t>(size);
        return 1;
      }
      if (pendingSize_ > 0) {
        block = pending_;
        size = pendingSize_;
        position_ += static_cast<la_int64_t>(size);
        pendingSize_ = 0;
        return 1;
      }
      const void* data = nullptr;
      std::size_t n = 0;
      la_int64_t offset = 0;
      const int r = archive_read_data_block(a_, &data, &n, &offset);
      if (r == ARCHIVE_EOF) return result_ = 0;
      if (r < ARCHIVE_WARN) {
        fatal_ = r == ARCHIVE_FATAL;
        return result_ = -1;
      }
      if (n == 0) {
        if (++empty > kMaxEmptyBlocks) {
          archive_set_error(a_, EIO, "no data comes from the archive");
          fatal_ = true;
          return result_ = -1;
        }
        continue;
      }
      if (offset > position_) hole_ = offset - position_;
      pending_ = static_cast<const unsigned char*>(data);
      pendingSize_ = n;
    }
  }

  bool Fatal() const noexcept { return fatal_; }

 private:
  archive* a_;
  int result_ = 1;
  bool fatal_ = false;
  la_int64_t position_ = 0;
  la_int64_t hole_ = 0;
  const unsigned char* pending_ = nullptr;
  std::size_t pendingSize_ = 0;
};

// A member's bytes, the first of them kept while readers try their formats
// on them, so that each try, and at last the classifier, starts from byte 0.
class Replay {
 public:
  // `first`: the member's first block, already taken from `data`.
  Replay(MemberData& data, const unsigned char* first, std::size_t size)
      : data_(data), kept_(first, first + size) {}

  void Rewind() noexcept { at_ = 0; }
  // From now on nothing more is kept; what is kept is still given once.
  void StopKeeping() noexcept { keeping_ = false; }

  // As MemberData::Next; -2 when a try reads past the limit of what is kept.
  int Next(const unsigned char*& block, std::size_t& size) {
    if (at_ < kept_.size()) {
      block = kept_.data() + at_;
      size = kept_.size() - at_;
      at_ = kept_.size();
      return 1;
    }
    if (!keeping_ && !kept_.empty()) {  // the last kept block is no longer in use
      std::vector<unsigned char>().swap(kept_);
      at_ = 0;
    }
    if (over_ != nullptr) {
      if (keeping_) return -2;
      block = over_;
      size = overSize_;
      over_ = nullptr;
      return 1;
    }
    const int r = data_.Next(block, size);
    if (r <= 0 || !keeping_) return r;
    if (kept_.size() + size > kReplayLimit) {
      over_ = block;  // held, not kept: given once nothing more is kept
      overSize_ = size;
      return -2;
    }
    kept_.insert(kept_.end(), block, block + size);
    at_ = kept_.size();
    return 1;
  }

 private:
  MemberData& data_;
  std::vector<unsigned char> kept_;
  std::size_t at_ = 0;
  bool keeping_ = true;
  const unsigned char* over_ = nullptr;
  std::size_t overSize_ = 0;
};

struct ReplayInput {
  Replay* replay;
  archive* parent;
};

la_ssize_t ReplayRead(archive* a, void* data, const void** block) {
  auto* in = static_cast<ReplayInput*>(data);
  const unsigned char* p = nullptr;
  std::size_t n = 0;
  const int r = in->replay->Next(p, n);
  if (r > 0) {
    *block = p;
    return static_cast<la_ssize_t>(n);
  }
  if (r == 0) return 0;
  if (r == -2) {
    archive_set_error(a, EIO, "too far into the data to tell its format");
  } else {
    const std::string text = ErrorText(in->parent);
    archive_set_error(a, EIO, "%s", text.c_str());
  }
  return -1;
}

int OpenReplay(archive* a, ReplayInput& in) {
  in.replay->Rewind();
  archive_read_set_callback_data(a, &in);
  archive_read_set_read_callback(a, ReplayRead);
  return archive_read_open1(a);
}

// ---- Listing.

// The name of a file that is only compressed: its own without the suffix.
std::string UncompressedName(std::string_view name) {
  const std::size_t slash = name.rfind('/');
  if (slash != std::string_view::npos) name.remove_prefix(slash + 1);
  for (const std::string_view suffix : {".gz", ".bz2", ".xz", ".lzma", ".zst", ".Z", ".lz4", ".lz", ".z"}) {
    if (name.size() > suffix.size() && name.substr(name.size() - suffix.size()) == suffix) {
      return std::string(name.substr(0, name.size() - suffix.size()));
    }
  }
  return std::string(name);
}

class Lister {
 public:
  Lister(LineSink& sink, Digester* digester) : sink_(sink), digester_(digester) {}

  // Lists the open archive `a`, whose path is parts_. `onlyName`: the one
  // member of a file that is only compressed, named so.
  bool List(archive* a, const std::string* onlyName) {
    unsigned retries = 0;
    unsigned failed = 0;
    for (;;) {
      archive_entry* entry = nullptr;
      const int r = archive_read_next_header(a, &entry);
      if (r == ARCHIVE_EOF) return true;
      if (r == ARCHIVE_RETRY && ++retries < 16) continue;
      retries = 0;
      if (r < ARCHIVE_WARN && (r != ARCHIVE_FAILED || entry == nullptr || ++failed > 1000)) {
        return Send(parts_, FailureOf(a), ErrorText(a));  // the archive cannot be read on
      }
      if (r != ARCHIVE_FAILED) failed = 0;
      if (archive_entry_filetype(entry) != AE_IFREG || archive_entry_hardlink(entry) != nullptr) continue;
      std::string name;
      if (onlyName != nullptr) {
        name = *onlyName;
      } else if (const char* n = archive_entry_pathname(entry); n != nullptr) {
        name = n;
      } else if (const char* u = archive_entry_pathname_utf8(entry); u != nullptr) {
        name = u;
      }
      parts_.push_back(std::move(name));
      bool go;
      bool fatal = false;
      if (r == ARCHIVE_FAILED) {  // this member only: the next may be read
        go = Send(parts_, FailureOf(a), ErrorText(a));
      } else if (archive_entry_is_encrypted(entry)) {
        go = Send(parts_, Failure::Encrypted, {});
      } else {
        MemberData data(a);
        entry_ = entry;
        go = Member(a, entry, data);
        fatal = data.Fatal();
      }
      parts_.pop_back();
      if (!go) return false;
      if (fatal) return true;  // said in the member's line
    }
  }

  std::vector<std::string> parts_;

 private:
  // libarchive has no error number for encryption; its messages all name it.
  static Failure FailureOf(archive* a) {
    const char* text = archive_error_string(a);
    const bool encrypted = text != nullptr && (std::strstr(text, "ncrypt") != nullptr || std::strstr(text, "assword") != nullptr);
    return encrypted ? Failure::Encrypted : Failure::ReadError;
  }

  bool Send(const std::vector<std::string>& parts, Outcome outcome, std::string detail, bool depth = false,
            const Classifier* classifier = nullptr, std::uint64_t read = 0, const DigestValue* digest = nullptr) {
    MemberLine line;
    line.parts = parts;
    line.outcome = outcome;
    line.detail = std::move(detail);
    line.depthReached = depth;
    if (classifier != nullptr) {
      line.facts.opened = true;
      line.facts.size = archive_entry_size_is_set(entry_) && archive_entry_size(entry_) >= 0
                            ? static_cast<std::uint64_t>(archive_entry_size(entry_))
                            : read;
      line.facts.modified = archive_entry_mtime_is_set(entry_) ? archive_entry_mtime(entry_) : 0;
      line.facts.basis = classifier->basis();
    }
    if (digest != nullptr) line.digest = *digest;
    return sink_.Line(std::move(line));
  }

  // The member whose name ends parts_: an archive listed in turn, or a file classified.
  bool Member(archive* parent, archive_entry* entry, MemberData& data) {
    const unsigned char* first = nullptr;
    std::size_t size = 0;
    const int r = data.Next(first, size);
    const la_int64_t declared = archive_entry_size_is_set(entry) ? archive_entry_size(entry) : -1;
    const std::uint64_t whole = declared < 0 ? UINT64_MAX : static_cast<std::uint64_t>(declared);
    if (r <= 0 || !MightBeArchive(first, first + size, whole)) return Classify(parent, data, r, first, size, false);

    Replay replay(data, first, size);
    ReplayInput in{&replay, parent};
    Reader a = NewReader(false);
    if (!a) return Send(parts_, Failure::ReadError, "out of memory");
    int opened = OpenReplay(a.get(), in);
    const std::string* onlyName = nullptr;
    std::string uncompressed;
    if (opened != ARCHIVE_OK && opened != ARCHIVE_WARN && archive_filter_code(a.get(), 0) != ARCHIVE_FILTER_NONE) {
      a = NewReader(true);
      if (!a) return Send(parts_, Failure::ReadError, "out of memory");
      opened = OpenReplay(a.get(), in);
      if (opened == ARCHIVE_OK && archive_filter_code(a.get(), 0) == ARCHIVE_FILTER_NONE) opened = ARCHIVE_FATAL;
      uncompressed = UncompressedName(parts_.back());
      onlyName = &uncompressed;
    }
    const bool isArchive = opened == ARCHIVE_OK || opened == ARCHIVE_WARN;
    replay.StopKeeping();
    if (isArchive && parts_.size() <= kMaxArchiveDepth) return List(a.get(), onlyName);
    a.reset();
    replay.Rewind();
    const int again = replay.Next(first, size);
    return Classify(parent, replay, again, first, size, isArchive);
  }

  // Classifies the member from `first` (when `r` is 1) and the rest of `source`.
  template <class Source>
  bool Classify(archive* parent, Source& source, int r, const unsigned char* first, std::size_t size,
                bool depthReached) {
    Classifier classifier;
    const bool digesting = digester_ != nullptr && digester_->Start();
    std::uint64_t read = 0;
    bool more = true;
    while (r > 0) {
      read += size;
      if (more) more = classifier.Feed(first, first + size);
      if (digesting) digester_->Observe(first, first + size);
      if (!more && !digesting) break;  // settled: the rest is skipped by the next header
      r = source.Next(first, size);
    }
    if (r < 0) {
      if (digesting) digester_->Finish();
      return Send(parts_, FailureOf(parent), ErrorText(parent));
    }
    const Verdict verdict = classifier.Finish();
    DigestValue digest;
    if (digesting) digest = digester_->Finish();
    return Send(parts_, verdict, {}, depthReached, &classifier, read, digesting ? &digest : nullptr);
  }

  LineSink& sink_;
  Digester* digester_;
  archive_entry* entry_ = nullptr;  // the member being read
};

}  // namespace

void PrepareArchiveReading() noexcept {
  if (std::getenv("TZ") == nullptr) ::setenv("TZ", ":/etc/localtime", 0);
  ::tzset();
}

namespace {

bool Has(const unsigned char* first, const unsigned char* last, std::size_t at, std::string_view magic) noexcept {
  return static_cast<std::size_t>(last - first) >= at + magic.size() &&
         std::equal(magic.begin(), magic.end(), first + at, [](char m, unsigned char b) { return static_cast<unsigned char>(m) == b; });
}

// A tar header: its checksum field matches its bytes (old tars have no "ustar").
bool TarHeader(const unsigned char* h) noexcept {
  unsigned long sum = 0;
  for (std::size_t i = 0; i < 512; ++i) sum += i >= 148 && i < 156 ? ' ' : h[i];
  unsigned long stored = 0;
  std::size_t i = 148;
  while (i < 156 && h[i] == ' ') ++i;
  if (i == 156 || h[i] < '0' || h[i] > '7') return false;
  for (; i < 156 && h[i] >= '0' && h[i] <= '7'; ++i) stored = stored * 8 + (h[i] - '0');
  return stored == sum;
}

}  // namespace

bool MightBeArchive(const unsigned char* first, const unsigned char* last, std::uint64_t size) noexcept {
  const auto n = static_cast<std::size_t>(last - first);
  if (n < std::min<std::uint64_t>(size, kSignatureBytes)) return true;  // too few to tell
  const auto has = [&](std::size_t at, std::string_view magic) { return Has(first, last, at, magic); };
  using namespace std::string_view_literals;
  if (has(0, "PK") || has(0, "MZ") || has(0, "7z\xBC\xAF\x27\x1C") || has(0, "Rar!\x1A\x07") || has(0, "MSCF") ||
      has(0, "WARC/") || has(0, "070707") || has(0, "070701") || has(0, "070702") || has(0, "\xC7\x71") ||
      has(0, "\x71\xC7") || (has(2, "-l") && has(6, "-"))) {
    return true;  // zip (and self-extracting programs), 7z, RAR, cab, WARC, cpio, LHA
  }
  if (has(0, "\x1F\x8B") || has(0, "\x1F\x9D") || has(0, "BZh") || has(0, "\xFD" "7zXZ\0"sv) ||
      has(0, "\x28\xB5\x2F\xFD") || has(0, "\x04\x22\x4D\x18") || has(0, "\x02\x21\x4C\x18") || has(0, "LZIP") ||
      has(0, "\x5D\0"sv)) {
    return true;  // gzip, compress, bzip2, xz, zstd, lz4, lzip, lzma
  }
  if (n >= 512 && TarHeader(first)) return true;
  if (size >= kIsoSignatureAt + 5) return n < kIsoSignatureAt + 5 || has(kIsoSignatureAt, "CD001");
  return false;
}

Listing ListArchive(int fd, const std::string& path, LineSink& sink, Digester* digester) {
  struct stat st {};
  if (::fstat(fd, &st) != 0) return Listing::NotArchive;
  const auto size = static_cast<std::uint64_t>(st.st_size);
  unsigned char head[kIsoSignatureAt + 5];
  const auto readAt = [&](std::size_t at, std::size_t count) {
    ssize_t n;
    do n = ::pread(fd, head + at, count, static_cast<off_t>(at));
    while (n < 0 && errno == EINTR);
    return n < 0 ? std::size_t{0} : static_cast<std::size_t>(n);
  };
  std::size_t got = readAt(0, kSignatureBytes);
  if (got == kSignatureBytes && size >= sizeof head) {
    std::fill(head + got, head + kIsoSignatureAt, 0);
    got = readAt(kIsoSignatureAt, 5) == 5 ? sizeof head : got;
  }
  if (got == 0 || !MightBeArchive(head, head + got, size)) return Listing::NotArchive;

  UseUtf8Names();
  FileInput in{fd, std::unique_ptr<unsigned char[]>(new unsigned char[kReadSize])};
  Reader a = NewReader(false);
  if (!a) return Listing::NotArchive;
  int opened = OpenFile(a.get(), in);
  const std::string* onlyName = nullptr;
  std::string uncompressed;
  if (opened != ARCHIVE_OK && opened != ARCHIVE_WARN) {
    if (archive_filter_code(a.get(), 0) == ARCHIVE_FILTER_NONE) return Listing::NotArchive;
    a = NewReader(true);
    if (!a) return Listing::NotArchive;
    opened = OpenFile(a.get(), in);
    if (opened == ARCHIVE_OK && archive_filter_code(a.get(), 0) == ARCHIVE_FILTER_NONE) return Listing::NotArchive;
    uncompressed = UncompressedName(path);
    onlyName = &uncompressed;
  }
  Lister lister(sink, digester);
  lister.parts_.push_back(path);
  if (opened != ARCHIVE_OK && opened != ARCHIVE_WARN) {
    MemberLine line;
    line.parts = lister.parts_;
    line.detail = ErrorText(a.get());
    return sink.Line(std::move(line)) ? Listing::Listed : Listing::Stopped;
  }
  return lister.List(a.get(), onlyName) ? Listing::Listed : Listing::Stopped;
}

}  // namespace fyldra3::scan
