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

// Which bytes of a block start a character, given which are lead bytes and
// which could be trail bytes. `carry`: the byte before the block is a lead
// byte that starts a character, so byte 0 ends it if it can be a trail byte.
//
// Every lead byte could also be a trail byte, so a run of lead bytes pairs
// up from its first byte, which starts a character (the byte before it is
// not a lead byte and so ends one), except that a run at byte 0 pairs from
// byte 1 when byte 0 ends the carried character. All runs are paired at
// once: adding a run's first bit to the run clears it, which sorts runs by
// the parity of their first position.
//
// The carry out is worked out apart, from the length of the last run alone,
// so that a block never waits for the one before it for more than a select.
inline std::uint64_t CharacterStarts(std::uint64_t lead, std::uint64_t trail, bool& carry) noexcept {
  constexpr std::uint64_t kEven = 0x5555555555555555u;
  const auto in = static_cast<std::uint64_t>(carry);
  const std::uint64_t runFirst = lead & ~(lead << 1);
  const std::uint64_t evenRuns = lead & ~(lead + (runFirst & (kEven ^ in)));
  const std::uint64_t startingLeads = lead & ~(evenRuns ^ kEven);
  const std::uint64_t secondHalves = ((startingLeads << 1) & trail) | (trail & in);
  // The last run's last byte starts a character when the run is odd, or,
  // for a run filling the block, when the carry shifted its pairs.
  const int last = lead == ~std::uint64_t{0} ? 64 : __builtin_clzll(~lead);
  carry = last == 64 ? carry : (last & 1) != 0;
  return ~secondHalves;
}

// Completes a block's masks from its lead, trail, "M" and "W" bits.
inline detail::BlockMasks Finish(std::uint64_t lead, std::uint64_t trail, std::uint64_t m, std::uint64_t w,
                                 detail::FrameState& state) noexcept {
  const std::uint64_t starts = CharacterStarts(lead, trail, state.lead);
  const detail::BlockMasks masks{starts, m & starts, w, state.chars};
  state.chars += static_cast<std::uint64_t>(__builtin_popcountll(starts));
  return masks;
}

}  // namespace
}  // namespace fyldra3::cp932
