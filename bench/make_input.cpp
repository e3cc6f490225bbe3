// Writes a benchmark input: `random` bytes, or `document`-like content
// (runs of NUL, ASCII prose, Shift_JIS text). Both start with a control
// character, so the classifier scans the whole file.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <string_view>
#include <vector>

namespace {

void AppendProse(std::string& out, std::mt19937_64& rng, std::size_t n) {
  static constexpr std::string_view kWords[] = {"the ", "document ", "of ", "Word ", "file ", "and ",
                                                "version ", "Microsoft ", "text ", "page ", ". ", "\r\n"};
  while (n > 0) {
    const std::string_view w = kWords[rng() % std::size(kWords)];
    const std::size_t k = std::min(n, w.size());
    out.append(w.substr(0, k));
    n -= k;
  }
}

void AppendJapanese(std::string& out, std::mt19937_64& rng, std::size_t n) {
  for (std::size_t i = 0; i + 1 < n; i += 2) {
    const auto r = rng();
    if (r % 3 == 0) {  // hiragana
      out += '\x82';
      out += static_cast<char>(0x9F + r % 0x53);
    } else {  // kanji: lead 0x88-0x9F, trail 0x40-0xFC without 0x7F
      out += static_cast<char>(0x88 + (r >> 8) % 0x18);
      unsigned t = 0x40 + static_cast<unsigned>((r >> 16) % 0xBC);
      if (t == 0x7F) t = 0x80;
      out += static_cast<char>(t);
    }
  }
  if (n % 2) out += ' ';
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: %s random|document MIB OUTPUT\n", argv[0]);
    return 2;
  }
  const std::string_view kind = argv[1];
  const std::size_t total = std::strtoull(argv[2], nullptr, 10) << 20;
  std::FILE* f = std::fopen(argv[3], "wb");
  if (f == nullptr) return 1;
  std::mt19937_64 rng(42);
  std::string block;
  std::size_t written = 0;
  while (written < total) {
    block.clear();
    if (written == 0) block += '\x01';
    if (kind == "random") {
      while (block.size() < (1u << 20)) {
        const auto r = rng();
        block.append(reinterpret_cast<const char*>(&r), sizeof r);
      }
    } else {
      while (block.size() < (1u << 20)) {
        const std::size_t n = 64 + rng() % 4000;
        switch (rng() % 3) {
          case 0: block.append(n, '\0'); break;
          case 1: AppendProse(block, rng, n); break;
          default: AppendJapanese(block, rng, n); break;
        }
      }
    }
    const std::size_t k = std::min(block.size(), total - written);
    if (std::fwrite(block.data(), 1, k, f) != k) return 1;
    written += k;
  }
  return std::fclose(f) == 0 ? 0 : 1;
}
