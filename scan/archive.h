// Archives opened with libarchive: a line for each regular file inside.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "digest.h"
#include "fyldra3/classify_file.h"

namespace fyldra3::scan {

// Containers nested deeper than this are not opened: their member is
// classified as a file, and its line says so.
inline constexpr std::size_t kMaxArchiveDepth = 8;

// The line of one member, or of an archive that could not be read on.
struct MemberLine {
  // The archive's path as shown, then the member names down to this one, as
  // the archive stores them (bytes, not necessarily UTF-8).
  std::vector<std::string> parts;
  Outcome outcome = Failure::ReadError;
  std::string detail;         // libarchive's message, for a failure
  bool depthReached = false;  // the member is an archive nested too deep to open
  FileFacts facts;            // its size and time as the archive gives them, and the basis
  DigestValue digest;         // of its bytes, when asked for and it was read to the end
};

class LineSink {
 public:
  virtual ~LineSink() = default;
  // Takes the next line; false when the run is being stopped.
  virtual bool Line(MemberLine&& line) = 0;
};

enum class Listing {
  NotArchive,  // nothing sent: examine the file as a file
  Listed,      // a line sent for each member (none for an archive with no files)
  Stopped,     // the sink asked to stop
};

// Reads the regular file open at `fd` (from its start) as an archive shown
// as `path`: zip, LZH, 7z, tar, cpio, ISO 9660, cab, RAR, WARC, each maybe
// compressed, or a file that is only compressed (gzip, bzip2, xz, zstd...).
// Members are read front to back in the archive's order, each classified
// from its data as it is decompressed: nothing is written anywhere, and
// memory does not grow with a member's size. Archives inside are opened in
// turn, to kMaxArchiveDepth. A damaged or encrypted member gets a failure
// line and the rest of the archive is read on where the format allows.
// With `digester`, each member is read to its end and digested.
Listing ListArchive(int fd, const std::string& path, LineSink& sink, Digester* digester = nullptr);

// To be called once before archives are read, while no other thread runs:
// libarchive turns each member's DOS time into local time, and with TZ unset
// the C library looks at /etc/localtime again on every call. Setting TZ to
// that same file (when unset) keeps the time zone and loads it once.
void PrepareArchiveReading() noexcept;

// Whether a file of `size` bytes that begins with [first, last) may be an
// archive or a compressed file that libarchive should be asked about: a
// quick look at the signatures of the formats read, so that documents are
// not offered to every format in turn. Never false for an archive; true
// when the bytes given are too few to tell.
bool MightBeArchive(const unsigned char* first, const unsigned char* last, std::uint64_t size) noexcept;

// The bytes MightBeArchive needs to see from the start, and where an ISO 9660
// image has its signature.
inline constexpr std::size_t kSignatureBytes = 512;
inline constexpr std::size_t kIsoSignatureAt = 32769;

}  // namespace fyldra3::scan
