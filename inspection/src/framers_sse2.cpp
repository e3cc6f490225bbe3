// Baseline x86-64 framer.
#include <emmintrin.h>

#include "code_page_932.h"
#include "framers.h"

namespace fyldra3::framers {
namespace {

std::uint64_t Bits(__m128i a, __m128i b, __m128i c, __m128i d) noexcept {
  const auto lane = [](__m128i v) { return static_cast<std::uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(v))); };
  return lane(a) | lane(b) << 16 | lane(c) << 32 | lane(d) << 48;
}

// 0xFF where the byte is in the range, as min(x - lo, span) == x - lo (unsigned).
__m128i InRange(__m128i v, cp932::ByteRange range) noexcept {
  const __m128i x = _mm_sub_epi8(v, _mm_set1_epi8(static_cast<char>(range.lo)));
  return _mm_cmpeq_epi8(_mm_min_epu8(x, _mm_set1_epi8(static_cast<char>(range.span()))), x);
}

__m128i Lead(__m128i v) noexcept {
  return InRange(_mm_xor_si128(v, _mm_set1_epi8(cp932::kLeadFlip)), cp932::kFlippedLead);
}

__m128i Trail(__m128i v) noexcept {
  return _mm_andnot_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8(cp932::kNotTrail)), InRange(v, cp932::kTrail));
}

}  // namespace

void Sse2(const unsigned char* p, std::size_t blocks, detail::FrameState& state, detail::BlockMasks* out) noexcept {
  const __m128i capitalM = _mm_set1_epi8('M'), capitalW = _mm_set1_epi8('W');
  detail::FrameState local = state;  // kept in registers: `out` may not alias it
  for (std::size_t k = 0; k < blocks; ++k, p += 64) {
    const auto* q = reinterpret_cast<const __m128i*>(p);
    const __m128i a = _mm_loadu_si128(q), b = _mm_loadu_si128(q + 1);
    const __m128i c = _mm_loadu_si128(q + 2), d = _mm_loadu_si128(q + 3);
    out[k] = cp932::Finish(Bits(Lead(a), Lead(b), Lead(c), Lead(d)), Bits(Trail(a), Trail(b), Trail(c), Trail(d)),
                           Bits(_mm_cmpeq_epi8(a, capitalM), _mm_cmpeq_epi8(b, capitalM),
                                _mm_cmpeq_epi8(c, capitalM), _mm_cmpeq_epi8(d, capitalM)),
                           Bits(_mm_cmpeq_epi8(a, capitalW), _mm_cmpeq_epi8(b, capitalW),
                                _mm_cmpeq_epi8(c, capitalW), _mm_cmpeq_epi8(d, capitalW)),
                           local);
  }
  state = local;
}

}  // namespace fyldra3::framers
