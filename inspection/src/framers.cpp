#include "framers.h"

#include <bit>

#include "code_page_932.h"

namespace fyldra3 {
namespace framers {

void Scalar(const unsigned char* p, std::size_t blocks, detail::FrameState& state, detail::BlockMasks* out) noexcept {
  for (std::size_t k = 0; k < blocks; ++k, p += 64) {
    std::uint64_t starts = 0, m = 0, w = 0;
    bool lead = state.lead;
    for (unsigned i = 0; i < 64; ++i) {
      const unsigned b = p[i];
      const bool second = lead && cp932::IsTrail(b);
      const std::uint64_t bit = std::uint64_t{1} << i;
      if (!second) {
        starts |= bit;
        if (b == 'M') m |= bit;
      }
      if (b == 'W') w |= bit;
      lead = !second && cp932::IsLead(b);
    }
    state.lead = lead;
    out[k] = {starts, m, w, state.chars};
    state.chars += static_cast<std::uint64_t>(std::popcount(starts));
  }
}

#if defined(__x86_64__)
namespace {

struct Support {
  bool avx2, avx512;
};

// Asked once, whatever the number of threads classifying.
const Support& Detected() noexcept {
  static const Support support = [] {
    __builtin_cpu_init();
    // Every processor with AVX2 and BMI1 also has POPCNT and LZCNT, which those framers use too.
    const bool avx2 =
        __builtin_cpu_supports("avx2") && __builtin_cpu_supports("bmi") && __builtin_cpu_supports("popcnt");
    return Support{avx2, avx2 && __builtin_cpu_supports("avx512bw")};
  }();
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
