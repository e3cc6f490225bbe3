// Benchmark inputs: random bytes, or document-like content (runs of NUL,
// ASCII prose, Shift_JIS text). Both start with a control character, so the
// classifier scans them to the end.
#pragma once

#include <algorithm>
#include <cstddef>
#include <random>
#include <string>
#include <string_view>

namespace fyldra3::bench {

class Inputs {
 public:
  enum class Kind { Random, Document };
  explicit Inputs(Kind kind) : kind_(kind) {}

  // Appends at least `n` bytes to `out`.
  void Append(std::string& out, std::size_t n) {
    const std::size_t target = out.size() + n;
    if (first_) {
      out += '\x01';
      first_ = false;
    }
    while (out.size() < target) {
      if (kind_ == Kind::Random) {
        const auto r = rng_();
        out.append(reinterpret_cast<const char*>(&r), sizeof r);
        continue;
      }
      const std::size_t k = 64 + rng_() % 4000;
      switch (rng_() % 3) {
        case 0: out.append(k, '\0'); break;
        case 1: Prose(out, k); break;
        default: Japanese(out, k); break;
      }
    }
  }

  std::string Make(std::size_t n) {
    std::string out;
    out.reserve(n + 8192);
    Append(out, n);
    out.resize(n);
    return out;
  }

 private:
  void Prose(std::string& out, std::size_t n) {
    static constexpr std::string_view kWords[] = {"the ", "document ", "of ", "Word ", "file ", "and ",
                                                  "version ", "Microsoft ", "text ", "page ", ". ", "\r\n"};
    for (std::size_t done = 0; done < n;) {
      const std::string_view w = kWords[rng_() % std::size(kWords)];
      out.append(w);
      done += w.size();
    }
  }

  void Japanese(std::string& out, std::size_t n) {
    for (std::size_t i = 0; i < n; i += 2) {
      const auto r = rng_();
      if (r % 3 == 0) {  // hiragana
        out += '\x82';
        out += static_cast<char>(0x9F + r % 0x53);
      } else {  // kanji: lead 0x88-0x9F, trail 0x40-0xFC but 0x7F
        out += static_cast<char>(0x88 + (r >> 8) % 0x18);
        const auto t = static_cast<unsigned>(0x40 + (r >> 16) % 0xBC);
        out += static_cast<char>(t == 0x7F ? 0x80 : t);
      }
    }
  }

  Kind kind_;
  std::mt19937_64 rng_{42};
  bool first_ = true;
};

}  // namespace fyldra3::bench
