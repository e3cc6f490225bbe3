// Byte classes of code page 932 and the framing of 64-byte blocks.
#pragma once

#include <cstdint>

#include "fyldra3/detail/framing.h"

namespace fyldra3::cp932 {
// Internal linkage, and compiler builtins rather than std::popcount and the
// like: inlined into a vector kernel these take its instruction set, so no
// copy of them may be one the linker could share with baseline code.
namespace {

// Inclusive byte ranges; `span` is hi - lo, the form the vector compares take.
struct ByteRange {
  unsigned char lo, hi;
  constexpr bool Holds(unsigned b) const noexcept { return b >= lo && b <= hi; }
  constexpr unsigned char span() const noexcept { return static_cast<unsigned char>(hi - lo); }
};

// Lead bytes: two ranges. Trail bytes: one range without 0x7F.
constexpr ByteRange kLeadLow{0x81, 0x9F}, kLeadHigh{0xE0, 0xFC};
constexpr ByteRange kTrail{0x40, 0xFC};
constexpr unsigned char kNotTrail = 0x7F;
// The vector framers test lead bytes with one compare: flipping bit 5 moves
// both lead ranges next to each other, 0xA1-0xBF and 0xC0-0xDC.
constexpr unsigned char kLeadFlip = 0x20;
constexpr ByteRange kFlippedLead{kLeadLow.lo ^ kLeadFlip, kLeadHigh.hi ^ kLeadFlip};

constexpr bool IsLead(unsigned b) noexcept { return kLeadLow.Holds(b) || kLeadHigh.Holds(b); }
constexpr bool IsTrail(unsigned b) noexcept { return kTrail.Holds(b) && b != kNotTrail; }

// Control codes other than TAB, LF and CR. They are never lead or trail
// bytes, so each always stands as a character of its own.
constexpr bool IsDisallowed(unsigned b) noexcept { return b < 0x20 && b != 9 && b != 10 && b != 13; }

// Over all 256 byte values: the vector framers' compares (subtract the low
// end, then an unsigned compare with the span) say what IsLead and IsTrail
// say; every lead byte could also be a trail byte (the pairing below relies
// on it); no control code is either.
constexpr bool ByteClassesAgree() noexcept {
  for (unsigned b = 0; b < 256; ++b) {
    if (IsTrail(b) != (static_cast<unsigned char>(b - kTrail.lo) <= kTrail.span() && b != kNotTrail)) return false;
    if (IsLead(b) != (static_cast<unsigned char>((b ^ kLeadFlip) - kFlippedLead.lo) <= kFlippedLead.span())) {
      return false;
    }
    if (IsLead(b) && !IsTrail(b)) return false;
    if (IsDisallowed(b) && (IsLead(b) || IsTrail(b))) return false;
  }
  return true;
}
static_assert(ByteClassesAgree());

// Which bytes of a block are the second bytes of double-byte characters,
// given which are lead bytes and which could be trail bytes. `carry` is 1
// when the byte before the block is a lead byte that starts a character, so
// that byte 0 ends it if it can be a trail byte; it is updated for the next
// block.
//
// Every lead byte could also be a trail byte, so a run of lead bytes pairs
// up from its first byte, which starts a character (the byte before it is
// not a lead byte, or ended the carried character). All runs are paired at
// once: adding a run's first bit to the run clears it, which sorts runs by
// the parity of their first position.
//
// The carry out is worked out apart, from the length of the last run alone,
// so that a block never waits for the one before it for more than a select.
inline std::uint64_t SecondHalves(std::uint64_t lead, std::uint64_t trail, std::uint64_t& carry) noexcept {
  constexpr std::uint64_t kEven = 0x5555555555555555u;
  const std::uint64_t ended = trail & carry;  // byte 0, when it ends the carried character
  const std::uint64_t l = lead & ~ended;
  const std::uint64_t runFirst = l & ~(l << 1);
  const std::uint64_t evenRuns = l & ~(l + (runFirst & kEven));
  const std::uint64_t startingLeads = l & ~(evenRuns ^ kEven);
  // The last run's last byte starts a character when the run is odd, or,
  // for a run filling the block, when the carry shifted its pairs.
  const int last = lead == ~std::uint64_t{0} ? 64 : __builtin_clzll(~lead);
  carry = last == 64 ? carry : static_cast<std::uint64_t>(last & 1);
  return ((startingLeads << 1) & trail) | ended;
}

// Frames block `block` from its lead and trail bits and its "M" bytes with a
// "W" ten bytes on, noting it in hits[noted++] when one of those "M" bytes
// starts a character. True when that fills the hits.
inline bool Step(std::size_t block, std::uint64_t lead, std::uint64_t trail, std::uint64_t mw, std::uint64_t& carry,
                 std::uint64_t& seconds, detail::BlockMasks* hits, std::size_t& noted) noexcept {
  const std::uint64_t second = SecondHalves(lead, trail, carry);
  const std::uint64_t before = seconds;
  seconds += static_cast<std::uint64_t>(__builtin_popcountll(second));
  const std::uint64_t candidates = mw & ~second;
  if (candidates == 0) return false;
  hits[noted++] = {block, ~second, candidates, before};
  return noted == detail::kHits;
}

}  // namespace
}  // namespace fyldra3::cp932
