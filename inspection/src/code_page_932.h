// Byte classes of code page 932 and the framing of 64-byte blocks.
#pragma once

#include <bit>
#include <cstdint>

#include "fyldra3/detail/framing.h"

namespace fyldra3::cp932 {
// Internal linkage: each framer is compiled for its own instruction set, and
// must not share a copy of these with code built for another.
namespace {

constexpr bool IsLead(unsigned b) noexcept { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); }
constexpr bool IsTrail(unsigned b) noexcept { return (b >= 0x40 && b <= 0x7E) || (b >= 0x80 && b <= 0xFC); }

// Control codes other than TAB, LF and CR. They are never lead or trail
// bytes, so each always stands as a character of its own.
constexpr bool IsDisallowed(unsigned b) noexcept { return b < 0x20 && b != 9 && b != 10 && b != 13; }

struct Pairing {
  std::uint64_t starts;
  bool carry;
};

// Which bytes of a block start a character when byte 0 does, given which are
// lead bytes and which could be trail bytes. Every lead byte could also be a
// trail byte, so a run of lead bytes pairs up from its first byte, which
// starts a character (the byte before it is not a lead byte and so ends one).
// The pairs are found for all runs at once: adding a run's first bit to the
// run clears it, which sorts runs by the parity of their first position.
constexpr Pairing Pair(std::uint64_t lead, std::uint64_t trail) noexcept {
  constexpr std::uint64_t kEven = 0x5555555555555555u;
  const std::uint64_t runFirst = lead & ~(lead << 1);
  const std::uint64_t evenRuns = lead & ~(lead + (runFirst & kEven));
  const std::uint64_t startingLeads = lead & ~(evenRuns ^ kEven);
  return {~((startingLeads << 1) & trail), (startingLeads >> 63) != 0};
}

// The same for a block whose byte 0 may end the previous block's character:
// `carry` says the byte before the block is a lead byte that starts one.
// Both cases are worked out before the carry is looked at, so blocks do not
// wait on each other for more than a select.
constexpr std::uint64_t CharacterStarts(std::uint64_t lead, std::uint64_t trail, bool& carry) noexcept {
  const Pairing free = Pair(lead, trail);
  const Pairing taken = Pair(lead & ~std::uint64_t{1}, trail);
  const bool completes = carry && (trail & 1) != 0;
  carry = completes ? taken.carry : free.carry;
  return completes ? taken.starts & ~std::uint64_t{1} : free.starts;
}

// Completes a block's masks from its lead, trail, "M" and "W" bits.
inline detail::BlockMasks Finish(std::uint64_t lead, std::uint64_t trail, std::uint64_t m, std::uint64_t w,
                                 detail::FrameState& state) noexcept {
  const std::uint64_t starts = CharacterStarts(lead, trail, state.lead);
  const detail::BlockMasks masks{starts, m & starts, w, state.chars};
  state.chars += static_cast<std::uint64_t>(std::popcount(starts));
  return masks;
}

}  // namespace
}  // namespace fyldra3::cp932
