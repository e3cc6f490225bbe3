// Byte classes of code page 932 and the framing of 64-byte blocks.
#pragma once

#include <cstdint>

namespace fyldra3::cp932 {

constexpr bool IsLead(unsigned b) noexcept { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); }
constexpr bool IsTrail(unsigned b) noexcept { return (b >= 0x40 && b <= 0x7E) || (b >= 0x80 && b <= 0xFC); }

// Control codes other than TAB, LF and CR. They are never lead or trail
// bytes, so each always stands as a character of its own.
constexpr bool IsDisallowed(unsigned b) noexcept { return b < 0x20 && b != 9 && b != 10 && b != 13; }

// Which bytes of a block start a character, given which are lead bytes and
// which could be trail bytes. Every lead byte could also be a trail byte, so
// a run of lead bytes pairs up from its first byte, which always starts a
// character (the byte before it is not a lead byte and so ends one). The
// pairs are found for all runs at once: adding a run's first bit to the run
// clears it, which sorts runs by the parity of their first position.
// `carry`: the byte before the block is a lead byte that starts a character.
constexpr std::uint64_t CharacterStarts(std::uint64_t lead, std::uint64_t trail, bool& carry) noexcept {
  constexpr std::uint64_t kEven = 0x5555555555555555u;
  const std::uint64_t completes = trail & static_cast<std::uint64_t>(carry);  // byte 0 ends that character
  const std::uint64_t l = lead & ~completes;
  const std::uint64_t runFirst = l & ~(l << 1);
  const std::uint64_t evenRuns = l & ~(l + (runFirst & kEven));
  const std::uint64_t startingLeads = l & ~(evenRuns ^ kEven);
  const std::uint64_t secondHalves = ((startingLeads << 1) & trail) | completes;
  carry = (startingLeads >> 63) != 0;
  return ~secondHalves;
}

}  // namespace fyldra3::cp932
