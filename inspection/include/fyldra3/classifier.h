// The classification rule, applied to a stream of bytes.
//
// A file is read as characters of code page 932: a lead byte 0x81-0x9F or
// 0xE0-0xFC followed by a trail byte 0x40-0x7E or 0x80-0xFC is one character,
// every other byte is one character. Counting in those characters:
//   1. the sample is the first 500 characters;
//   2. a sample that starts with "{\rtf" is RichText;
//   3. a sample with no control character other than TAB, LF and CR is
//      PlainText; so is one whose only such character is its last;
//   4. otherwise the verdict starts as NotWord and the signature table is
//      applied to the sample, then to each window: the next 2000-character
//      chunk preceded by a carry (the whole sample before the first chunk,
//      the previous chunk's last 40 characters before every later one). The
//      last check with any match decides; within it, rows 1-5 in order, each
//      match overriding the last, row 3 passed over when row 2 matched.
//
// Contract of Classifier:
//   - Feed() takes the file's bytes front to back in pieces of any size,
//     empty ones included; the verdict does not depend on where they are cut.
//   - Feed() returns false once the verdict is settled by the sample tests;
//     further bytes may be fed but are ignored, so a reader may stop.
//   - Finish() is called once, after the last Feed(), and gives the verdict;
//     basis() then says what decided it, also independent of the pieces.
//   - No allocation, no exceptions, no system calls; memory is fixed
//     (about 500 bytes) whatever the length of the stream.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "fyldra3/detail/framing.h"
#include "fyldra3/verdict.h"

namespace fyldra3 {

// How bytes are framed into characters. All give identical results. Scalar
// is the portable reference; Fast is the best vector code this processor
// runs, chosen at run time. The others are there to be tested one by one.
enum class Framing : unsigned char { Fast, Scalar, Sse2, Avx2, Avx512 };

// Whether this processor (and this build) can use the framing.
bool FramingSupported(Framing framing) noexcept;

// What decided a verdict. Offsets are in bytes from the start of the stream.
//   RichText:  `signature` is the header, at `offset` 0.
//   PlainText: `sampleChars` characters of the sample were examined (the
//              stream's own length when shorter than the sample); `control`
//              is the offset of the disallowed control character in the last
//              position, when there is one.
//   NotWord:   `control` is the offset of the first disallowed control
//              character, and no row matched (`row` 0).
//   Word*:     `control` as for NotWord; `row` (1-5) is the row that decided,
//              `check` the check it decided in (0 for the sample, n for chunk n),
//              and `offset` where that row's first occurrence inside that
//              check's window starts.
struct Basis {
  static constexpr std::uint64_t kNone = ~std::uint64_t{0};
  std::uint32_t sampleChars = 0;
  unsigned row = 0;
  std::uint64_t control = kNone;
  std::uint64_t check = 0;
  std::uint64_t offset = kNone;

  friend constexpr bool operator==(const Basis&, const Basis&) noexcept = default;
};

// The text a basis points at: the header, or the row's signature; empty for none.
std::string_view SignatureText(Verdict v, const Basis& basis) noexcept;
// A row's signature; row 1 is "Microsoft Word 6.0" ... row 5 "Microsoft Word 9.0".
std::string_view RowText(unsigned row) noexcept;

class Classifier {
 public:
  // An unsupported framing falls back to Scalar.
  explicit Classifier(Framing framing = Framing::Fast) noexcept;

  bool Feed(const unsigned char* first, const unsigned char* last) noexcept;
  Verdict Finish() noexcept;
  const Basis& basis() const noexcept { return basis_; }

  static constexpr std::size_t kSampleChars = 500;
  static constexpr std::uint64_t kChunkChars = 2000;
  static constexpr std::uint64_t kCarryChars = 40;

 private:
  enum class Phase : unsigned char { Sampling, LastInSample, Scanning, Settled };
  static constexpr std::size_t kBlock = 64;  // bytes framed at a time

  using Masks = detail::BlockMasks;

  void Sample(const unsigned char* first, const unsigned char* last) noexcept;
  void Blocks(const unsigned char* p, std::size_t count) noexcept;
  void Verify(const unsigned char* block, const Masks& masks, std::uint64_t offset) noexcept;
  void Occurrence(unsigned row, std::uint64_t start, std::uint64_t offset) noexcept;
  void CloseWindowsBefore(std::uint64_t window) noexcept;
  void Settle(Verdict v) noexcept {
    phase_ = Phase::Settled;
    settled_ = v;
  }

  detail::FrameFn frame_;
  Phase phase_ = Phase::Sampling;
  Verdict settled_ = Verdict::PlainText;
  Basis basis_;

  // Sample tests, with their own byte-by-byte framing of the first characters.
  std::uint32_t sampleChars_ = 0;
  std::uint8_t headerMatched_ = 0;  // leading characters equal to "{\rtf"
  bool sampleLead_ = false;         // the last byte was a lead byte that starts a character
  std::uint32_t sampleBytes_ = 0;   // bytes of the sample in earlier pieces

  // Framing of the whole stream, 64 bytes at a time.
  detail::FrameState framed_;
  std::uint64_t framedBytes_ = 0;  // bytes framed in whole blocks
  std::size_t tail_ = 0;           // bytes in tailBytes_ not framed yet: less than a block and its lookahead

  // Rows matched by window. Window w is chunk w with its carry; window 0 is
  // the sample's own check.
  std::uint64_t window_ = 0;   // the oldest window still open
  std::uint8_t open_[3] = {};  // rows matched in windows window_ .. window_+2
  std::uint8_t decided_ = 0;   // rows of the last closed window that had a match
  // Offset of each row's first occurrence in the open windows, valid where open_ has its bit.
  std::uint64_t first_[3][5] = {};

  // Room for the tail and, at the end, its padding: two blocks and their lookahead.
  alignas(64) unsigned char tailBytes_[2 * kBlock + detail::kLookahead];
};

// The verdict for a whole file held in memory.
Verdict Classify(const unsigned char* first, const unsigned char* last,
                 Framing framing = Framing::Fast) noexcept;

inline Verdict Classify(std::string_view bytes, Framing framing = Framing::Fast) noexcept {
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  return Classify(p, p + bytes.size(), framing);
}

}  // namespace fyldra3
