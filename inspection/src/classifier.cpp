#include "fyldra3/classifier.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "code_page_932.h"
#include "framers.h"

namespace fyldra3 {
namespace {

// The signature table. Every signature begins with this prefix; row 3 is the
// prefix of row 2.
constexpr std::string_view kPrefix = "Microsoft Word ";
constexpr std::uint8_t kRow1 = 1, kRow2 = 2, kRow3 = 4, kRow4 = 8, kRow5 = 16;

// The row that decides a check: rows 1 to 5 in order, each overriding the
// last, row 3 only without row 2.
constexpr unsigned DecidingRow(std::uint8_t rows) noexcept {
  if (rows & kRow5) return 5;
  if (rows & kRow4) return 4;
  if (rows & kRow2) return 2;
  if (rows & kRow3) return 3;
  if (rows & kRow1) return 1;
  return 0;
}

constexpr Verdict VerdictOfRow(unsigned row) noexcept {
  constexpr Verdict kVerdicts[] = {Verdict::NotWord, Verdict::Word6, Verdict::Word95, Verdict::Word95Likely,
                                   Verdict::Word97_98, Verdict::Word2000};
  return kVerdicts[row];
}

constexpr std::string_view kRowText[] = {"", "Microsoft Word 6.0", "Microsoft Word for Windows 9",
                                         "Microsoft Word for", "Microsoft Word 8.0", "Microsoft Word 9.0"};
constexpr std::string_view kHeader = "{\\rtf";

// The chunk holding character `position` (from 1); 0 for the sample.
constexpr std::uint64_t ChunkOf(std::uint64_t position) noexcept {
  return position <= Classifier::kSampleChars ? 0 : (position - Classifier::kSampleChars - 1) / Classifier::kChunkChars + 1;
}

constexpr std::uint64_t LastOfChunk(std::uint64_t chunk) noexcept {
  return Classifier::kSampleChars + Classifier::kChunkChars * chunk;
}

bool Equals(const unsigned char* p, std::string_view s) noexcept { return std::memcmp(p, s.data(), s.size()) == 0; }

static_assert(kRowText[2].size() <= Classifier::kCarryChars,
              "a signature cut by a chunk boundary must fit in the carry");
static_assert(kRowText[2].size() - 1 <= detail::kLookahead, "a signature starting in a block must end in its lookahead");

}  // namespace

std::string_view RowText(unsigned row) noexcept { return row < std::size(kRowText) ? kRowText[row] : std::string_view{}; }

std::string_view SignatureText(Verdict v, const Basis& basis) noexcept {
  return v == Verdict::RichText ? kHeader : RowText(basis.row);
}

Classifier::Classifier(Framing framing) noexcept : frame_(framers::Find(framing)) {
  if (frame_ == nullptr) frame_ = &framers::Scalar;
}

bool Classifier::Feed(const unsigned char* first, const unsigned char* last) noexcept {
  if (phase_ == Phase::Settled) return false;
  if (first == last) return true;
  if (phase_ == Phase::LastInSample) phase_ = Phase::Scanning;  // the control character was not the last
  if (phase_ == Phase::Sampling) {
    Sample(first, last);
    if (phase_ == Phase::Settled) return false;
  }

  auto n = static_cast<std::size_t>(last - first);
  // Bytes not yet framed: the tail's, then [first, last). A block is framed
  // once the bytes after it are at hand, since a signature may run into them.
  while (tail_ > 0) {
    const std::size_t want = kBlock + detail::kLookahead - tail_;
    const std::size_t take = std::min(want, n);
    std::memcpy(tailBytes_ + tail_, first, take);
    if (take < want) {
      tail_ += take;
      return true;
    }
    Blocks(tailBytes_, 1);
    if (tail_ <= kBlock) {  // the bytes after that block are all in [first, last)
      first += kBlock - tail_;
      n -= kBlock - tail_;
      tail_ = 0;
    } else {
      tail_ -= kBlock;
      std::memmove(tailBytes_, tailBytes_ + kBlock, tail_);
    }
  }
  if (n >= kBlock + detail::kLookahead) {
    const std::size_t whole = (n - detail::kLookahead) / kBlock;
    Blocks(first, whole);
    first += whole * kBlock;
    n -= whole * kBlock;
  }
  std::memcpy(tailBytes_, first, n);  // the caller's buffer is gone after this call
  tail_ = n;
  return true;
}

void Classifier::Sample(const unsigned char* first, const unsigned char* last) noexcept {
  for (const unsigned char* p = first; p != last; ++p) {
    const unsigned b = *p;
    if (sampleLead_) {
      sampleLead_ = false;
      if (cp932::IsTrail(b)) continue;  // second byte of a double-byte character
    }
    ++sampleChars_;
    if (headerMatched_ + 1u == sampleChars_ && headerMatched_ < kHeader.size() &&
        b == static_cast<unsigned char>(kHeader[headerMatched_]) && ++headerMatched_ == kHeader.size()) {
      basis_.offset = 0;
      return Settle(Verdict::RichText);
    }
    if (cp932::IsDisallowed(b)) {
      basis_.control = sampleBytes_ + static_cast<std::uint64_t>(p - first);
      // Not text, unless this is the sample's last character: the 500th, or the file's last.
      if (sampleChars_ == kSampleChars) {
        basis_.sampleChars = sampleChars_;
        return Settle(Verdict::PlainText);
      }
      phase_ = p + 1 == last ? Phase::LastInSample : Phase::Scanning;
      return;
    }
    if (sampleChars_ == kSampleChars) {
      basis_.sampleChars = sampleChars_;
      return Settle(Verdict::PlainText);
    }
    sampleLead_ = cp932::IsLead(b);
  }
  sampleBytes_ += static_cast<std::uint32_t>(last - first);  // the sample is at most 1000 bytes
}

void Classifier::Blocks(const unsigned char* p, std::size_t count) noexcept {
  while (count > 0) {
    Masks hits[detail::kHits];
    std::size_t noted = 0;
    const std::size_t framed = frame_(p, count, framed_, hits, noted);
    for (std::size_t i = 0; i < noted; ++i) {
      Verify(p + hits[i].block * kBlock, hits[i], framedBytes_ + hits[i].block * kBlock);
    }
    p += framed * kBlock;
    count -= framed;
    framedBytes_ += framed * kBlock;
  }
}

// Looks for signatures at a block's candidates; `offset` is the block's in the stream.
void Classifier::Verify(const unsigned char* block, const Masks& masks, std::uint64_t offset) noexcept {
  const std::uint64_t before = offset - masks.seconds;  // characters before the block
  for (std::uint64_t candidates = masks.candidates; candidates != 0; candidates &= candidates - 1) {
    const auto i = static_cast<unsigned>(std::countr_zero(candidates));
    const unsigned char* s = block + i;
    if (!Equals(s, kPrefix)) continue;
    const std::uint64_t earlier = masks.starts & ((std::uint64_t{1} << i) - 1);
    const std::uint64_t position = before + static_cast<std::uint64_t>(std::popcount(earlier)) + 1;
    const std::uint64_t at = offset + i;
    s += kPrefix.size();
    if (Equals(s, "6.0")) {
      Occurrence(1, position, at);
    } else if (Equals(s, "8.0")) {
      Occurrence(4, position, at);
    } else if (Equals(s, "9.0")) {
      Occurrence(5, position, at);
    } else if (Equals(s, "for")) {
      if (Equals(s + 3, " Windows 9")) Occurrence(2, position, at);
      Occurrence(3, position, at);
    }
  }
}

// Marks the windows that hold the whole signature of `row` starting at
// character `start`, byte `offset`. Occurrences arrive in order of their
// start, so the first to mark a window is the first in it.
void Classifier::Occurrence(unsigned row, std::uint64_t start, std::uint64_t offset) noexcept {
  const std::uint64_t end = start + kRowText[row].size() - 1;
  CloseWindowsBefore(ChunkOf(start));
  const std::uint64_t chunk = ChunkOf(end);
  const auto bit = static_cast<std::uint8_t>(1u << (row - 1));
  const auto mark = [&](std::uint64_t window) {
    const std::uint64_t k = window - window_;
    if ((open_[k] & bit) == 0) first_[k][row - 1] = offset;
    open_[k] |= bit;
  };
  mark(chunk);
  // The first window's carry is the whole sample; a later window's carry is
  // the last 40 characters of the chunk before it.
  if (chunk == 0 || start + kCarryChars > LastOfChunk(chunk)) mark(chunk + 1);
}

void Classifier::CloseWindowsBefore(std::uint64_t window) noexcept {
  while (window_ < window && (open_[0] | open_[1] | open_[2]) != 0) {
    if (open_[0] != 0) {
      decided_ = open_[0];
      basis_.row = DecidingRow(decided_);
      basis_.check = window_;
      basis_.offset = first_[0][basis_.row - 1];
    }
    open_[0] = open_[1];
    open_[1] = open_[2];
    open_[2] = 0;
    std::memmove(first_[0], first_[1], sizeof first_[0] * 2);
    ++window_;
  }
  window_ = std::max(window_, window);
}

Verdict Classifier::Finish() noexcept {
  switch (phase_) {
    case Phase::Settled: return settled_;
    case Phase::Sampling:      // fewer than 500 characters, none of them disallowed
    case Phase::LastInSample:  // the only disallowed character is the file's last
      basis_.sampleChars = sampleChars_;
      Settle(Verdict::PlainText);
      return settled_;
    case Phase::Scanning: break;
  }
  // Zeros can be neither part of a signature nor a trail byte, so they pad
  // the last blocks and stand for "nothing follows".
  const std::uint64_t bytes = framedBytes_ + tail_;
  if (tail_ > 0) {
    std::memset(tailBytes_ + tail_, 0, sizeof tailBytes_ - tail_);
    Blocks(tailBytes_, (tail_ + kBlock - 1) / kBlock);
    tail_ = 0;
  }
  const std::uint64_t chunks = ChunkOf(bytes - framed_.seconds);  // the last chunk may be short
  CloseWindowsBefore(chunks + 1);
  Settle(VerdictOfRow(DecidingRow(decided_)));
  return settled_;
}

Verdict Classify(const unsigned char* first, const unsigned char* last, Framing framing) noexcept {
  Classifier classifier(framing);
  classifier.Feed(first, last);
  return classifier.Finish();
}

}  // namespace fyldra3
