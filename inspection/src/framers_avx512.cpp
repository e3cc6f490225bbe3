// x86-64 framer for processors with AVX-512BW (chosen at run time): one
// 64-byte block per register, compares straight into bit masks. Only the
// functions marked FYLDRA3_TARGET_AVX512 use it.
#include <immintrin.h>

#include "code_page_932.h"
#include "framers.h"

namespace fyldra3::framers {
namespace {

// Moves a mask into a general register once, so that the pairing's
// arithmetic stays there instead of shuttling through mask registers.
FYLDRA3_TARGET_AVX512 inline std::uint64_t General(__mmask64 mask) noexcept {
  std::uint64_t bits = _cvtmask64_u64(mask);
  asm("" : "+r"(bits));
  return bits;
}

FYLDRA3_TARGET_AVX512 __m512i All(unsigned char b) noexcept { return _mm512_set1_epi8(static_cast<char>(b)); }

}  // namespace

FYLDRA3_TARGET_AVX512 void Avx512(const unsigned char* p, std::size_t blocks, detail::FrameState& state,
                                  detail::BlockMasks* out) noexcept {
  const __m512i flip = All(cp932::kLeadFlip), leadLo = All(cp932::kFlippedLead.lo);
  const __m512i leadSpan = All(cp932::kFlippedLead.span()), trailLo = All(cp932::kTrail.lo);
  const __m512i trailSpan = All(cp932::kTrail.span()), del = All(cp932::kNotTrail);
  const __m512i capitalM = _mm512_set1_epi8('M'), capitalW = _mm512_set1_epi8('W');
  detail::FrameState local = state;  // kept in registers: `out` may not alias it
  for (std::size_t k = 0; k < blocks; ++k, p += 64) {
    const __m512i v = _mm512_loadu_si512(p);
    // Lead bytes in one range once bit 5 is flipped; trail bytes in one range but for 0x7F.
    const __mmask64 lead = _mm512_cmple_epu8_mask(_mm512_sub_epi8(_mm512_xor_si512(v, flip), leadLo), leadSpan);
    const __mmask64 trail =
        _mm512_mask_cmpneq_epi8_mask(_mm512_cmple_epu8_mask(_mm512_sub_epi8(v, trailLo), trailSpan), v, del);
    out[k] = cp932::Finish(General(lead), General(trail), General(_mm512_cmpeq_epi8_mask(v, capitalM)),
                           General(_mm512_cmpeq_epi8_mask(v, capitalW)), local);
  }
  state = local;
}

}  // namespace fyldra3::framers
