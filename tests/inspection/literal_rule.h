// The classification rule written out as literally as it reads: frame the
// whole file into a list of characters, take the sample, build every window
// as carry plus chunk, search each signature. Slow and obviously right; the
// shipped classifier must agree with it on every input.
#pragma once

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "fyldra3/verdict.h"

namespace fyldra3::literal {

// A single-byte character is its byte; a double-byte character is 256 + its bytes.
using Char = unsigned;

inline std::vector<Char> Frame(std::string_view bytes) {
  const auto lead = [](unsigned b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); };
  const auto trail = [](unsigned b) { return (b >= 0x40 && b <= 0x7E) || (b >= 0x80 && b <= 0xFC); };
  std::vector<Char> chars;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const auto b = static_cast<unsigned char>(bytes[i]);
    if (lead(b) && i + 1 < bytes.size() && trail(static_cast<unsigned char>(bytes[i + 1]))) {
      chars.push_back(256u + b * 256u + static_cast<unsigned char>(bytes[i + 1]));
      ++i;
    } else {
      chars.push_back(b);
    }
  }
  return chars;
}

inline bool Contains(const std::vector<Char>& text, std::string_view signature) {
  const std::vector<Char> s(signature.begin(), signature.end());
  return std::search(text.begin(), text.end(), s.begin(), s.end()) != text.end();
}

inline Verdict ApplyTable(const std::vector<Char>& text, Verdict verdict) {
  const bool row2 = Contains(text, "Microsoft Word for Windows 9");
  if (Contains(text, "Microsoft Word 6.0")) verdict = Verdict::Word6;
  if (row2) verdict = Verdict::Word95;
  if (!row2 && Contains(text, "Microsoft Word for")) verdict = Verdict::Word95Likely;
  if (Contains(text, "Microsoft Word 8.0")) verdict = Verdict::Word97_98;
  if (Contains(text, "Microsoft Word 9.0")) verdict = Verdict::Word2000;
  return verdict;
}

inline Verdict Classify(std::string_view bytes) {
  const std::vector<Char> chars = Frame(bytes);
  const std::size_t sampleLength = std::min<std::size_t>(500, chars.size());
  const std::vector<Char> sample(chars.begin(), chars.begin() + static_cast<long>(sampleLength));

  const std::vector<Char> header = {'{', '\\', 'r', 't', 'f'};
  if (sample.size() >= 5 && std::equal(header.begin(), header.end(), sample.begin())) return Verdict::RichText;

  std::size_t position = 1;  // the first disallowed character, from 1
  for (; position <= sample.size(); ++position) {
    const Char c = sample[position - 1];
    if (c < 32 && c != 9 && c != 10 && c != 13) break;
  }
  // None at all, or only in the last position: text.
  if (position >= sample.size()) return Verdict::PlainText;

  Verdict verdict = ApplyTable(sample, Verdict::NotWord);
  std::vector<Char> carry = sample;
  for (std::size_t next = sampleLength; next < chars.size();) {
    const std::size_t length = std::min<std::size_t>(2000, chars.size() - next);
    const std::vector<Char> chunk(chars.begin() + static_cast<long>(next),
                                  chars.begin() + static_cast<long>(next + length));
    next += length;
    std::vector<Char> window = carry;
    window.insert(window.end(), chunk.begin(), chunk.end());
    verdict = ApplyTable(window, verdict);
    carry.assign(chunk.end() - static_cast<long>(std::min<std::size_t>(40, chunk.size())), chunk.end());
  }
  return verdict;
}

}  // namespace fyldra3::literal
