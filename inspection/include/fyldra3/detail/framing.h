// What a block framer hands the classifier. Plain data only: the framers are
// compiled once per instruction set, so nothing here may have code.
#pragma once

#include <cstddef>
#include <cstdint>

namespace fyldra3::detail {

// A 64-byte block that may hold a signature; bit i stands for byte i.
struct BlockMasks {
  std::size_t block;         // from the first block framed, 0 up
  std::uint64_t starts;      // bytes that start a character
  std::uint64_t candidates;  // "M" bytes that start a character, with a "W" ten bytes on
  std::uint64_t seconds;     // second bytes of double-byte characters before the block
};

struct FrameState {
  bool lead = false;          // the last byte framed is a lead byte that starts a character
  std::uint64_t seconds = 0;  // second bytes of double-byte characters framed so far
};

// Bytes a framer reads past its last block; they are the stream's next bytes
// (zeros past the end). A signature starting in a block ends within them.
inline constexpr std::size_t kLookahead = 32;

// Blocks with candidates a framer notes before it stops.
inline constexpr std::size_t kHits = 16;

// Frames the blocks at p in order, noting each that holds a candidate in
// hits[0 .. noted), and stops after the last block or after the kHits-th
// noted. Returns how many blocks it framed.
using FrameFn = std::size_t (*)(const unsigned char* p, std::size_t blocks, FrameState& state, BlockMasks* hits,
                                std::size_t& noted) noexcept;

}  // namespace fyldra3::detail
