// Classifier throughput on in-memory data, for each framing.
#include <benchmark/benchmark.h>

#include <random>
#include <string>

#include "fyldra3/classifier.h"

namespace {

std::string RandomBytes(std::size_t n) {
  std::mt19937_64 rng(1);
  std::string s(n, '\0');
  for (char& c : s) c = static_cast<char>(rng());
  s[0] = '\1';
  return s;
}

std::string DocumentLike(std::size_t n) {
  std::string s(1, '\1');
  std::mt19937_64 rng(2);
  while (s.size() < n) {
    const std::size_t k = 64 + rng() % 4000;
    switch (rng() % 3) {
      case 0: s.append(k, '\0'); break;
      case 1:
        for (std::size_t i = 0; i < k; ++i) s += "Microsoft Word text "[i % 20];
        break;
      default:
        for (std::size_t i = 0; i < k / 2; ++i) s += (i % 2 ? "\x82\xA0" : "\x88\x9F");
    }
  }
  s.resize(n);
  return s;
}

template <class Make>
void Run(benchmark::State& state, Make make, fyldra3::Framing framing) {
  const std::string data = make(std::size_t{64} << 20);
  for (auto _ : state) benchmark::DoNotOptimize(fyldra3::Classify(data, framing));
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(data.size()));
}

void RandomFast(benchmark::State& s) { Run(s, RandomBytes, fyldra3::Framing::Fast); }
void RandomScalar(benchmark::State& s) { Run(s, RandomBytes, fyldra3::Framing::Scalar); }
void DocumentFast(benchmark::State& s) { Run(s, DocumentLike, fyldra3::Framing::Fast); }
void DocumentScalar(benchmark::State& s) { Run(s, DocumentLike, fyldra3::Framing::Scalar); }

}  // namespace

BENCHMARK(RandomFast)->Unit(benchmark::kMillisecond);
BENCHMARK(RandomScalar)->Unit(benchmark::kMillisecond);
BENCHMARK(DocumentFast)->Unit(benchmark::kMillisecond);
BENCHMARK(DocumentScalar)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
