// Fuzz target: every framing, fed the same bytes cut at arbitrary places,
// must give the verdict of the literal rule.
#include <cstdint>
#include <cstdlib>
#include <random>
#include <string_view>

#include "fyldra3/classifier.h"
#include "literal_rule.h"

namespace {

using fyldra3::Classifier;
using fyldra3::Framing;
using fyldra3::Verdict;

// The first four bytes choose where the rest is cut.
Verdict InPieces(const unsigned char* data, std::size_t size, std::uint32_t seed, Framing framing) {
  std::minstd_rand rng(seed);
  Classifier c(framing);
  for (std::size_t at = 0; at < size;) {
    const std::size_t piece = rng() % 4 == 0 ? rng() % 8 : rng() % 700;
    const std::size_t end = std::min(size, at + piece);
    c.Feed(data + at, data + end);
    at = end;
  }
  return c.Finish();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 4) return 0;
  std::uint32_t seed = 0;
  for (int i = 3; i >= 0; --i) seed = seed << 8 | data[i];
  data += 4;
  size -= 4;
  const Verdict expected =
      fyldra3::literal::Classify(std::string_view(reinterpret_cast<const char*>(data), size));
  for (const Framing framing : {Framing::Fast, Framing::Scalar, Framing::Sse2, Framing::Avx2, Framing::Avx512}) {
    if (!fyldra3::FramingSupported(framing)) continue;
    if (fyldra3::Classify(data, data + size, framing) != expected) std::abort();
    if (InPieces(data, size, seed, framing) != expected) std::abort();
  }
  return 0;
}
