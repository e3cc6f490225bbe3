// x86-64 framer for processors with AVX-512BW (chosen at run time): one
// 64-byte block per register, compares straight into bit masks.
#include <immintrin.h>

#include "code_page_932.h"
#include "framers.h"

namespace fyldra3::framers {
namespace {

// Moves a mask into a general register once, so that the pairing's
// arithmetic stays there instead of shuttling through mask registers.
inline std::uint64_t General(__mmask64 mask) noexcept {
  std::uint64_t bits = _cvtmask64_u64(mask);
  asm("" : "+r"(bits));
  return bits;
}

}  // namespace

void Avx512(const unsigned char* p, std::size_t blocks, detail::FrameState& state, detail::BlockMasks* out) noexcept {
  const __m512i flip = _mm512_set1_epi8(0x20), leadLo = _mm512_set1_epi8(static_cast<char>(0xA1));
  const __m512i leadSpan = _mm512_set1_epi8(0x3B), trailLo = _mm512_set1_epi8(0x40);
  const __m512i trailSpan = _mm512_set1_epi8(static_cast<char>(0xBC)), del = _mm512_set1_epi8(0x7F);
  const __m512i capitalM = _mm512_set1_epi8('M'), capitalW = _mm512_set1_epi8('W');
  detail::FrameState local = state;  // kept in registers: `out` may not alias it
  for (std::size_t k = 0; k < blocks; ++k, p += 64) {
    const __m512i v = _mm512_loadu_si512(p);
    // Lead bytes 0x81-0x9F and 0xE0-0xFC are 0xA1-0xDC with bit 5 flipped; trail bytes 0x40-0xFC but 0x7F.
    const __mmask64 lead = _mm512_cmple_epu8_mask(_mm512_sub_epi8(_mm512_xor_si512(v, flip), leadLo), leadSpan);
    const __mmask64 trail =
        _mm512_mask_cmpneq_epi8_mask(_mm512_cmple_epu8_mask(_mm512_sub_epi8(v, trailLo), trailSpan), v, del);
    out[k] = cp932::Finish(General(lead), General(trail), General(_mm512_cmpeq_epi8_mask(v, capitalM)),
                           General(_mm512_cmpeq_epi8_mask(v, capitalW)), local);
  }
  state = local;
}

}  // namespace fyldra3::framers
