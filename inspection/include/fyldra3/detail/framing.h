// What a block framer hands the classifier. Plain data only: the framers are
// compiled once per instruction set, so nothing here may have code.
#pragma once

#include <cstddef>
#include <cstdint>

namespace fyldra3::detail {

// One 64-byte block; bit i stands for byte i.
struct BlockMasks {
  std::uint64_t starts;  // bytes that start a character
  std::uint64_t m;       // "M" bytes that start a character
  std::uint64_t w;       // "W" bytes
  std::uint64_t before;  // characters in the stream before the block
};

struct FrameState {
  bool lead = false;        // the last byte framed is a lead byte that starts a character
  std::uint64_t chars = 0;  // characters framed so far
};

using FrameFn = void (*)(const unsigned char* p, std::size_t blocks, FrameState& state, BlockMasks* out) noexcept;

}  // namespace fyldra3::detail
