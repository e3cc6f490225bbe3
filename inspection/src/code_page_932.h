// Byte classes of code page 932 and the framing of 64-byte blocks.
#pragma once

#include <cstdint>

#include "fyldra3/detail/framing.h"

namespace fyldra3::cp932 {
// Internal linkage: each framer is compiled for its own instruction set, and
// must not share a copy of these with code built for another. For the same
// reason they use compiler builtins rather than std::popcount and the like,
// whose out-of-line copies the linker would pick from any one file.
namespace {

constexpr bool IsLead(unsigned b) noexcept { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); }
constexpr bool IsTrail(unsigned b) noexcept { return (b >= 0x40 && b <= 0x7E) || (b >= 0x80 && b <= 0xFC); }

// Control codes other than TAB, LF and CR. They are never lead or trail
// bytes, so each always stands as a character of its own.
constexpr bool IsDisallowed(unsigned b) noexcept { return b < 0x20 && b != 9 && b != 10 && b != 13; }

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
