// Classifier throughput for each framing this processor runs: 64 MiB per
// iteration, fed as ClassifyFile feeds it, in 256 KiB blocks from a buffer
// in the cache (the same block again and again, as a read buffer is reused).
#include <benchmark/benchmark.h>

#include <string>

#include "fyldra3/classifier.h"
#include "inputs.h"

namespace {

constexpr std::size_t kBlock = std::size_t{256} << 10;
constexpr std::size_t kPerIteration = std::size_t{64} << 20;

void Run(benchmark::State& state, const std::string& block, fyldra3::Framing framing) {
  const auto* p = reinterpret_cast<const unsigned char*>(block.data());
  for (auto _ : state) {
    fyldra3::Classifier classifier(framing);
    for (std::size_t fed = 0; fed < kPerIteration; fed += block.size()) classifier.Feed(p, p + block.size());
    benchmark::DoNotOptimize(classifier.Finish());
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(kPerIteration));
}

}  // namespace

int main(int argc, char** argv) {
  using fyldra3::bench::Inputs;
  const std::string random = Inputs(Inputs::Kind::Random).Make(kBlock);
  const std::string document = Inputs(Inputs::Kind::Document).Make(kBlock);
  const struct {
    const char* name;
    fyldra3::Framing framing;
  } framings[] = {{"Fast", fyldra3::Framing::Fast},   {"Avx512", fyldra3::Framing::Avx512},
                  {"Avx2", fyldra3::Framing::Avx2},   {"Sse2", fyldra3::Framing::Sse2},
                  {"Scalar", fyldra3::Framing::Scalar}};
  for (const auto& f : framings) {
    if (!fyldra3::FramingSupported(f.framing)) continue;
    const fyldra3::Framing framing = f.framing;
    benchmark::RegisterBenchmark((std::string("Random/") + f.name).c_str(),
                                 [&random, framing](benchmark::State& s) { Run(s, random, framing); })
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark((std::string("Document/") + f.name).c_str(),
                                 [&document, framing](benchmark::State& s) { Run(s, document, framing); })
        ->Unit(benchmark::kMillisecond);
  }
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
