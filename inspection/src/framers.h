// Block framers: each frames whole 64-byte blocks and notes those that may
// hold a signature. All give identical results. Every file is built for baseline x86-64; only the vector
// kernels and their helpers carry a target attribute (FYLDRA3_TARGET_*), so
// no inline function or template the linker may share between files is ever
// compiled for AVX. Find runs a kernel only where the processor and the
// operating system support every extension its attribute names.
#pragma once

#include "fyldra3/classifier.h"
#include "fyldra3/detail/framing.h"

namespace fyldra3::framers {

std::size_t Scalar(const unsigned char* p, std::size_t blocks, detail::FrameState& state, detail::BlockMasks* hits,
                   std::size_t& noted) noexcept;
#if defined(__x86_64__)
#define FYLDRA3_TARGET_AVX2 __attribute__((target("avx2,bmi,lzcnt,popcnt")))
#define FYLDRA3_TARGET_AVX512 __attribute__((target("avx512f,avx512bw,avx2,bmi,lzcnt,popcnt")))

std::size_t Sse2(const unsigned char* p, std::size_t blocks, detail::FrameState& state, detail::BlockMasks* hits,
                   std::size_t& noted) noexcept;
std::size_t Avx2(const unsigned char* p, std::size_t blocks, detail::FrameState& state, detail::BlockMasks* hits,
                   std::size_t& noted) noexcept;
std::size_t Avx512(const unsigned char* p, std::size_t blocks, detail::FrameState& state, detail::BlockMasks* hits,
                   std::size_t& noted) noexcept;
#endif

// The framer for `framing`, or null where this processor cannot run it.
detail::FrameFn Find(Framing framing) noexcept;

}  // namespace fyldra3::framers
