#include "framers.h"

#include <bit>

#if defined(__x86_64__)
#include <cpuid.h>
#endif

#include "code_page_932.h"

namespace fyldra3 {
namespace framers {

std::size_t Scalar(const unsigned char* p, std::size_t blocks, detail::FrameState& state, detail::BlockMasks* hits,
                   std::size_t& noted) noexcept {
  noted = 0;
  for (std::size_t k = 0; k < blocks; ++k, p += 64) {
    std::uint64_t starts = 0, candidates = 0;
    bool lead = state.lead;
    for (unsigned i = 0; i < 64; ++i) {
      const unsigned b = p[i];
      const bool second = lead && cp932::IsTrail(b);
      if (!second) starts |= std::uint64_t{1} << i;
      lead = !second && cp932::IsLead(b);
      if (b == 'M' && p[i + 10] == 'W') candidates |= std::uint64_t{1} << i;
    }
    candidates &= starts;
    state.lead = lead;
    const std::uint64_t before = state.seconds;
    state.seconds += static_cast<std::uint64_t>(64 - std::popcount(starts));
    if (candidates != 0) {
      hits[noted++] = {k, starts, candidates, before};
      if (noted == detail::kHits) return k + 1;
    }
  }
  return blocks;
}

#if defined(__x86_64__)
namespace {

struct Support {
  bool avx2 = false, avx512 = false;
};

// Every extension named in FYLDRA3_TARGET_AVX2 and FYLDRA3_TARGET_AVX512,
// asked of the processor (cpuid), and whether the operating system saves the
// vector registers (xgetbv). A virtual machine may offer AVX2 without LZCNT,
// which then runs as BSR and frames bytes wrongly, or AVX-512 whose
// registers the kernel does not save.
Support Probe() noexcept {
  unsigned a = 0, b = 0, c = 0, d = 0;
  if (__get_cpuid(1, &a, &b, &c, &d) == 0) return {};
  const bool popcnt = (c & bit_POPCNT) != 0, avx = (c & bit_AVX) != 0, osxsave = (c & bit_OSXSAVE) != 0;
  if (!popcnt || !avx || !osxsave) return {};
  unsigned xcr0 = 0, xcr0High = 0;
  asm("xgetbv" : "=a"(xcr0), "=d"(xcr0High) : "c"(0));
  const bool ymmSaved = (xcr0 & 0x06) == 0x06;  // SSE and AVX state
  const bool zmmSaved = (xcr0 & 0xE6) == 0xE6;  // and the opmask and all 32 ZMM registers
  if (__get_cpuid(0x80000001, &a, &b, &c, &d) == 0 || (c & bit_LZCNT) == 0) return {};
  if (__get_cpuid_count(7, 0, &a, &b, &c, &d) == 0) return {};
  const bool avx2 = ymmSaved && (b & bit_AVX2) != 0 && (b & bit_BMI) != 0;
  const bool avx512 = avx2 && zmmSaved && (b & bit_AVX512F) != 0 && (b & bit_AVX512BW) != 0;
  return {avx2, avx512};
}

// Asked once, whatever the number of threads classifying.
const Support& Detected() noexcept {
  static const Support support = Probe();
  return support;
}

}  // namespace
#endif

detail::FrameFn Find(Framing framing) noexcept {
#if defined(__x86_64__)
  const Support& cpu = Detected();
  switch (framing) {
    case Framing::Fast: return cpu.avx512 ? &Avx512 : cpu.avx2 ? &Avx2 : &Sse2;
    case Framing::Scalar: return &Scalar;
    case Framing::Sse2: return &Sse2;
    case Framing::Avx2: return cpu.avx2 ? &Avx2 : nullptr;
    case Framing::Avx512: return cpu.avx512 ? &Avx512 : nullptr;
  }
  return nullptr;
#else
  return framing == Framing::Fast || framing == Framing::Scalar ? &Scalar : nullptr;
#endif
}

}  // namespace framers

bool FramingSupported(Framing framing) noexcept { return framers::Find(framing) != nullptr; }

}  // namespace fyldra3
