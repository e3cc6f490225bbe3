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

std::size_t Sse2(const unsigned char* p, std::size_t blocks, detail::FrameState& state, detail::BlockMasks* hits,
                 std::size_t& noted) noexcept {
  const __m128i capitalM = _mm_set1_epi8('M'), capitalW = _mm_set1_epi8('W');
  std::uint64_t carry = state.lead ? 1 : 0, seconds = state.seconds;  // in registers: `hits` may alias `state`
  std::size_t found = 0;
  std::size_t k = 0;
  while (k < blocks) {
    const unsigned char* q = p + 64 * k;
    const auto at = [q](std::size_t i) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(q + i)); };
    // "M" bytes whose tenth byte on is a "W".
    const auto mw = [&](__m128i v, std::size_t i) {
      return _mm_and_si128(_mm_cmpeq_epi8(v, capitalM), _mm_cmpeq_epi8(at(i + 10), capitalW));
    };
    const __m128i a = at(0), b = at(16), c = at(32), d = at(48);
    if (cp932::Step(k++, Bits(Lead(a), Lead(b), Lead(c), Lead(d)), Bits(Trail(a), Trail(b), Trail(c), Trail(d)),
                    Bits(mw(a, 0), mw(b, 16), mw(c, 32), mw(d, 48)), carry, seconds, hits, found)) {
      break;
    }
  }
  state = {carry != 0, seconds};
  noted = found;
  return k;
}

}  // namespace fyldra3::framers
