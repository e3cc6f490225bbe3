// x86-64 framer for processors with AVX-512BW (chosen at run time). Only the
// functions marked FYLDRA3_TARGET_AVX512 use it.
//
// Classifying a block's bytes is cheap with 64-byte compares; pairing the
// lead bytes, done one block at a time in general registers, then costs as
// much again. So eight blocks are paired at once, one per 64-bit lane: the
// carry out of a block depends only on its own last run of lead bytes,
// except for a block that is all lead bytes, and those eight go one by one.
#include <immintrin.h>

// GCC 12's AVX-512 header passes an undefined vector as the unused source of
// its masked builtins, which -W(maybe-)uninitialized then reports in our code.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#pragma GCC diagnostic ignored "-Wuninitialized"
#endif

#include "code_page_932.h"
#include "framers.h"

namespace fyldra3::framers {
namespace {

// Moves a mask into a general register once, so that the arithmetic on it
// stays there instead of shuttling through mask registers.
FYLDRA3_TARGET_AVX512 inline std::uint64_t General(__mmask64 mask) noexcept {
  std::uint64_t bits = _cvtmask64_u64(mask);
  asm("" : "+r"(bits));
  return bits;
}

FYLDRA3_TARGET_AVX512 __m512i All(unsigned char b) noexcept { return _mm512_set1_epi8(static_cast<char>(b)); }

struct Classes {
  __m512i flip, leadLo, leadSpan, trailLo, trailSpan, del, capitalM, capitalW;

  FYLDRA3_TARGET_AVX512 Classes() noexcept
      : flip(All(cp932::kLeadFlip)), leadLo(All(cp932::kFlippedLead.lo)), leadSpan(All(cp932::kFlippedLead.span())),
        trailLo(All(cp932::kTrail.lo)), trailSpan(All(cp932::kTrail.span())), del(All(cp932::kNotTrail)),
        capitalM(All('M')), capitalW(All('W')) {}

  // Lead bytes fall in one range once bit 5 is flipped; trail bytes in one range but for 0x7F.
  FYLDRA3_TARGET_AVX512 std::uint64_t Lead(__m512i v) const noexcept {
    return General(_mm512_cmple_epu8_mask(_mm512_sub_epi8(_mm512_xor_si512(v, flip), leadLo), leadSpan));
  }
  FYLDRA3_TARGET_AVX512 std::uint64_t Trail(__m512i v) const noexcept {
    return General(
        _mm512_mask_cmpneq_epi8_mask(_mm512_cmple_epu8_mask(_mm512_sub_epi8(v, trailLo), trailSpan), v, del));
  }
  // Zero where an "M" has a "W" ten bytes on.
  FYLDRA3_TARGET_AVX512 __m512i NotMw(const unsigned char* q, __m512i v) const noexcept {
    const __m512i w = _mm512_xor_si512(_mm512_loadu_si512(q + 10), capitalW);
    return _mm512_ternarylogic_epi32(v, capitalM, w, 0xBE);  // (v ^ M) | w
  }
  FYLDRA3_TARGET_AVX512 std::uint64_t Mw(const unsigned char* q, __m512i v) const noexcept {
    const __m512i x = NotMw(q, v);
    return General(_mm512_testn_epi8_mask(x, x));
  }
  // Block `block` at q in general registers; true when the hits are full.
  FYLDRA3_TARGET_AVX512 bool Step(std::size_t block, const unsigned char* q, std::uint64_t& carry,
                                  std::uint64_t& seconds, detail::BlockMasks* hits, std::size_t& noted) const noexcept {
    const __m512i v = _mm512_loadu_si512(q);
    return cp932::Step(block, Lead(v), Trail(v), Mw(q, v), carry, seconds, hits, noted);
  }
};

FYLDRA3_TARGET_AVX512 __m512i Lanes(std::uint64_t x) noexcept { return _mm512_set1_epi64(static_cast<long long>(x)); }

// Bits set in each byte, summed per lane.
FYLDRA3_TARGET_AVX512 __m512i CountPerLane(__m512i x) noexcept {
  const __m512i table = _mm512_broadcast_i32x4(_mm_setr_epi8(0, 1, 1, 2, 1, 2, 2, 3, 1, 2, 2, 3, 2, 3, 3, 4));
  const __m512i low = _mm512_set1_epi8(0x0F);
  const __m512i bytes = _mm512_add_epi8(_mm512_shuffle_epi8(table, _mm512_and_si512(x, low)),
                                        _mm512_shuffle_epi8(table, _mm512_and_si512(_mm512_srli_epi16(x, 4), low)));
  return _mm512_sad_epu8(bytes, _mm512_setzero_si512());
}

}  // namespace

FYLDRA3_TARGET_AVX512 std::size_t Avx512(const unsigned char* p, std::size_t blocks, detail::FrameState& state,
                                         detail::BlockMasks* hits, std::size_t& noted) noexcept {
  const Classes classes;
  const __m512i even = Lanes(0x5555555555555555u), one = Lanes(1), ones = Lanes(~std::uint64_t{0});
  std::uint64_t carry = state.lead ? 1 : 0, seconds = state.seconds;  // in registers: `hits` may alias `state`
  std::size_t found = 0;
  __m512i counted = _mm512_setzero_si512();  // second bytes per lane, not yet in `seconds`
  std::size_t k = 0;
  bool stop = false;
  while (!stop && k < blocks) {
    std::size_t single = blocks - k;  // blocks to frame one at a time
    if (single >= 8) {
      single = 8;
      const unsigned char* q = p + 64 * k;
      __m512i lead = _mm512_setzero_si512(), trail = lead, notMw = ones;
      for (unsigned j = 0; j < 8; ++j) {
        const __m512i v = _mm512_loadu_si512(q + 64 * j);
        const auto lane = static_cast<__mmask8>(1u << j);
        lead = _mm512_mask_set1_epi64(lead, lane, static_cast<long long>(classes.Lead(v)));
        trail = _mm512_mask_set1_epi64(trail, lane, static_cast<long long>(classes.Trail(v)));
        notMw = _mm512_min_epu8(notMw, classes.NotMw(q + 64 * j, v));
      }
      // A block of lead bytes only goes one block at a time.
      if (_mm512_cmpeq_epi64_mask(lead, ones) == 0) {
        // Starting lead bytes as if no character were carried in; then each
        // lane's carry out is its last bit, and the carry in can shift only
        // the pairs of the run at byte 0.
        const __m512i runFirst = _mm512_andnot_si512(_mm512_slli_epi64(lead, 1), lead);
        const __m512i evenRuns =
            _mm512_andnot_si512(_mm512_add_epi64(lead, _mm512_and_si512(runFirst, even)), lead);
        const __m512i startingIfFresh = _mm512_ternarylogic_epi64(lead, evenRuns, even, 0x90);  // a & ~(b ^ c)
        const __m512i out = _mm512_srli_epi64(startingIfFresh, 63);
        const __m512i in = _mm512_alignr_epi64(out, Lanes(carry), 7);  // lane j: the carry out of block j - 1
        const __m512i firstRun = _mm512_andnot_si512(_mm512_add_epi64(lead, one), lead);
        const __m512i shifted = _mm512_sub_epi64(_mm512_setzero_si512(), in);
        const __m512i starting = _mm512_ternarylogic_epi64(startingIfFresh, firstRun, shifted, 0x78);  // a ^ (b & c)
        const __m512i ended = _mm512_and_si512(trail, in);
        const __m512i second = _mm512_ternarylogic_epi64(_mm512_slli_epi64(starting, 1), trail, ended, 0xEA);  // a & b | c
        if (_mm512_testn_epi8_mask(notMw, notMw) == 0) {
          counted = _mm512_add_epi64(counted, CountPerLane(second));
          carry = static_cast<std::uint64_t>(_mm_extract_epi64(_mm512_extracti32x4_epi32(out, 3), 1));
          k += 8;
          continue;
        }
        // Some "M" has a "W" ten bytes on: note the blocks where it starts a character.
        alignas(64) std::uint64_t seconds8[8], out8[8];
        _mm512_store_si512(seconds8, second);
        _mm512_store_si512(out8, out);
        seconds += static_cast<std::uint64_t>(_mm512_reduce_add_epi64(counted));
        counted = _mm512_setzero_si512();
        for (unsigned j = 0; j < 8 && !stop; ++j, ++k) {
          const unsigned char* b = q + 64 * j;
          const std::uint64_t candidates = classes.Mw(b, _mm512_loadu_si512(b)) & ~seconds8[j];
          const std::uint64_t before = seconds;
          seconds += static_cast<std::uint64_t>(__builtin_popcountll(seconds8[j]));
          carry = out8[j];
          if (candidates != 0) {
            hits[found++] = {k, ~seconds8[j], candidates, before};
            stop = found == detail::kHits;
          }
        }
        continue;
      }
    }
    seconds += static_cast<std::uint64_t>(_mm512_reduce_add_epi64(counted));  // a hit tells the count before it
    counted = _mm512_setzero_si512();
    for (const std::size_t end = k + single; !stop && k < end; ++k) {
      stop = classes.Step(k, p + 64 * k, carry, seconds, hits, found);
    }
  }
  state = {carry != 0, seconds + static_cast<std::uint64_t>(_mm512_reduce_add_epi64(counted))};
  noted = found;
  return k;
}

}  // namespace fyldra3::framers
