// Writes a benchmark input file of N MiB: make_input random|document N OUTPUT.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "inputs.h"

int main(int argc, char** argv) {
  using fyldra3::bench::Inputs;
  if (argc != 4 || (std::string_view(argv[1]) != "random" && std::string_view(argv[1]) != "document")) {
    std::fprintf(stderr, "usage: %s random|document MIB OUTPUT\n", argv[0]);
    return 2;
  }
  Inputs inputs(std::string_view(argv[1]) == "random" ? Inputs::Kind::Random : Inputs::Kind::Document);
  const std::size_t total = std::strtoull(argv[2], nullptr, 10) << 20;
  std::FILE* f = std::fopen(argv[3], "wb");
  if (f == nullptr) return 1;
  std::string block;
  for (std::size_t written = 0; written < total;) {
    block.clear();
    inputs.Append(block, std::size_t{1} << 20);
    const std::size_t k = std::min(block.size(), total - written);
    if (std::fwrite(block.data(), 1, k, f) != k) return 1;
    written += k;
  }
  return std::fclose(f) == 0 ? 0 : 1;
}
