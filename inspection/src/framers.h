// Block framers: each turns whole 64-byte blocks into masks. All give
// identical masks; each vector one lives in a file built for its instruction set.
#pragma once

#include "fyldra3/classifier.h"
#include "fyldra3/detail/framing.h"

namespace fyldra3::framers {

void Scalar(const unsigned char* p, std::size_t blocks, detail::FrameState& state, detail::BlockMasks* out) noexcept;
#if defined(__x86_64__)
void Sse2(const unsigned char* p, std::size_t blocks, detail::FrameState& state, detail::BlockMasks* out) noexcept;
void Avx2(const unsigned char* p, std::size_t blocks, detail::FrameState& state, detail::BlockMasks* out) noexcept;
void Avx512(const unsigned char* p, std::size_t blocks, detail::FrameState& state, detail::BlockMasks* out) noexcept;
#endif

// The framer for `framing`, or null where this processor cannot run it.
detail::FrameFn Find(Framing framing) noexcept;

}  // namespace fyldra3::framers
