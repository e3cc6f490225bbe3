// x86-64 framer for processors with AVX2 (chosen at run time). Only the
// functions marked FYLDRA3_TARGET_AVX2 use it.
#include <immintrin.h>

#include "code_page_932.h"
#include "framers.h"

namespace fyldra3::framers {
namespace {

FYLDRA3_TARGET_AVX2 std::uint64_t Bits(__m256i lo, __m256i hi) noexcept {
  return static_cast<std::uint64_t>(static_cast<unsigned>(_mm256_movemask_epi8(lo))) |
         static_cast<std::uint64_t>(static_cast<unsigned>(_mm256_movemask_epi8(hi))) << 32;
}

FYLDRA3_TARGET_AVX2 __m256i InRange(__m256i v, cp932::ByteRange range) noexcept {
  const __m256i x = _mm256_sub_epi8(v, _mm256_set1_epi8(static_cast<char>(range.lo)));
  return _mm256_cmpeq_epi8(_mm256_min_epu8(x, _mm256_set1_epi8(static_cast<char>(range.span()))), x);
}

FYLDRA3_TARGET_AVX2 __m256i Lead(__m256i v) noexcept {
  return InRange(_mm256_xor_si256(v, _mm256_set1_epi8(cp932::kLeadFlip)), cp932::kFlippedLead);
}

FYLDRA3_TARGET_AVX2 __m256i Trail(__m256i v) noexcept {
  return _mm256_andnot_si256(_mm256_cmpeq_epi8(v, _mm256_set1_epi8(cp932::kNotTrail)), InRange(v, cp932::kTrail));
}

}  // namespace

FYLDRA3_TARGET_AVX2 std::size_t Avx2(const unsigned char* p, std::size_t blocks, detail::FrameState& state,
                                     detail::BlockMasks* hits, std::size_t& noted) noexcept {
  const __m256i capitalM = _mm256_set1_epi8('M'), capitalW = _mm256_set1_epi8('W');
  std::uint64_t carry = state.lead ? 1 : 0, seconds = state.seconds;  // in registers: `hits` may alias `state`
  std::size_t found = 0;
  std::size_t k = 0;
  while (k < blocks) {
    const unsigned char* q = p + 64 * k;
    const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(q));
    const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(q + 32));
    // "M" bytes whose tenth byte on is a "W".
    const __m256i aw = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(q + 10));
    const __m256i bw = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(q + 42));
    const std::uint64_t mw =
        Bits(_mm256_and_si256(_mm256_cmpeq_epi8(a, capitalM), _mm256_cmpeq_epi8(aw, capitalW)),
             _mm256_and_si256(_mm256_cmpeq_epi8(b, capitalM), _mm256_cmpeq_epi8(bw, capitalW)));
    if (cp932::Step(k++, Bits(Lead(a), Lead(b)), Bits(Trail(a), Trail(b)), mw, carry, seconds, hits, found)) break;
  }
  state = {carry != 0, seconds};
  noted = found;
  return k;
}

}  // namespace fyldra3::framers
