// Classifier throughput on 64 MiB in memory, for each framing this processor runs.
#include <benchmark/benchmark.h>

#include <string>

#include "fyldra3/classifier.h"
#include "inputs.h"

namespace {

void Run(benchmark::State& state, const std::string& data, fyldra3::Framing framing) {
  for (auto _ : state) benchmark::DoNotOptimize(fyldra3::Classify(data, framing));
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(data.size()));
}

}  // namespace

int main(int argc, char** argv) {
  using fyldra3::bench::Inputs;
  const std::string random = Inputs(Inputs::Kind::Random).Make(std::size_t{64} << 20);
  const std::string document = Inputs(Inputs::Kind::Document).Make(std::size_t{64} << 20);
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
