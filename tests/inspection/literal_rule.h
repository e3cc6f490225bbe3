// The classification rule written out as literally as it reads: frame the
// whole file into a list of characters, take the sample, build every window
// as carry plus chunk, search each signature. Slow and obviously right; the
// shipped classifier must agree with it on every input, verdict and basis.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fyldra3/classifier.h"
#include "fyldra3/verdict.h"

namespace fyldra3::literal {

// A single-byte character is its byte; a double-byte character is 256 + its bytes.
using Char = unsigned;

// The characters, and the byte offset at which each starts.
struct Text {
  std::vector<Char> chars;
  std::vector<std::uint64_t> at;
};

inline Text Frame(std::string_view bytes) {
  const auto lead = [](unsigned b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); };
  const auto trail = [](unsigned b) { return (b >= 0x40 && b <= 0x7E) || (b >= 0x80 && b <= 0xFC); };
  Text text;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const auto b = static_cast<unsigned char>(bytes[i]);
    text.at.push_back(i);
    if (lead(b) && i + 1 < bytes.size() && trail(static_cast<unsigned char>(bytes[i + 1]))) {
      text.chars.push_back(256u + b * 256u + static_cast<unsigned char>(bytes[i + 1]));
      ++i;
    } else {
      text.chars.push_back(b);
    }
  }
  return text;
}

constexpr std::string_view kRows[] = {"", "Microsoft Word 6.0", "Microsoft Word for Windows 9", "Microsoft Word for",
                                      "Microsoft Word 8.0", "Microsoft Word 9.0"};

// The index of the signature's first occurrence in the window, or -1.
inline long Find(const std::vector<Char>& window, std::string_view signature) {
  const std::vector<Char> s(signature.begin(), signature.end());
  const auto it = std::search(window.begin(), window.end(), s.begin(), s.end());
  return it == window.end() ? -1 : static_cast<long>(it - window.begin());
}

// The row the table gives for one window: each matching row overrides the
// last, row 3 only without row 2; 0 for none. `first` is where it starts in the window.
inline unsigned ApplyTable(const std::vector<Char>& window, long& first) {
  unsigned row = 0;
  const long row2 = Find(window, kRows[2]);
  const auto apply = [&](unsigned r, long found) {
    if (found >= 0) row = r, first = found;
  };
  apply(1, Find(window, kRows[1]));
  apply(2, row2);
  if (row2 < 0) apply(3, Find(window, kRows[3]));
  apply(4, Find(window, kRows[4]));
  apply(5, Find(window, kRows[5]));
  return row;
}

struct Result {
  Verdict verdict;
  Basis basis;
  friend bool operator==(const Result&, const Result&) = default;
};

inline Result Examine(std::string_view bytes) {
  const Text text = Frame(bytes);
  const std::vector<Char>& chars = text.chars;
  const std::size_t sampleLength = std::min<std::size_t>(500, chars.size());
  const std::vector<Char> sample(chars.begin(), chars.begin() + static_cast<long>(sampleLength));

  Basis basis;
  const std::vector<Char> header = {'{', '\\', 'r', 't', 'f'};
  if (sample.size() >= 5 && std::equal(header.begin(), header.end(), sample.begin())) {
    basis.offset = 0;
    return {Verdict::RichText, basis};
  }

  std::size_t position = 1;  // the first disallowed character, from 1
  for (; position <= sample.size(); ++position) {
    const Char c = sample[position - 1];
    if (c < 32 && c != 9 && c != 10 && c != 13) break;
  }
  if (position <= sample.size()) basis.control = text.at[position - 1];
  // None at all, or only in the last position: text.
  if (position >= sample.size()) {
    basis.sampleChars = static_cast<std::uint32_t>(sample.size());
    return {Verdict::PlainText, basis};
  }

  // Window w starts at character windowStart and is checked as check w.
  const auto check = [&](const std::vector<Char>& window, std::size_t windowStart, std::uint64_t number) {
    long first = 0;
    if (const unsigned row = ApplyTable(window, first); row != 0) {
      basis.row = row;
      basis.check = number;
      basis.offset = text.at[windowStart + static_cast<std::size_t>(first)];
    }
  };
  check(sample, 0, 0);
  std::vector<Char> carry = sample;
  std::size_t carryStart = 0;
  std::uint64_t number = 0;
  for (std::size_t next = sampleLength; next < chars.size();) {
    const std::size_t length = std::min<std::size_t>(2000, chars.size() - next);
    const std::vector<Char> chunk(chars.begin() + static_cast<long>(next),
                                  chars.begin() + static_cast<long>(next + length));
    std::vector<Char> window = carry;
    window.insert(window.end(), chunk.begin(), chunk.end());
    check(window, carryStart, ++number);
    const std::size_t kept = std::min<std::size_t>(40, chunk.size());
    carry.assign(chunk.end() - static_cast<long>(kept), chunk.end());
    carryStart = next + length - kept;
    next += length;
  }
  constexpr Verdict kVerdicts[] = {Verdict::NotWord,      Verdict::Word6,     Verdict::Word95,
                                   Verdict::Word95Likely, Verdict::Word97_98, Verdict::Word2000};
  return {kVerdicts[basis.row], basis};
}

inline Verdict Classify(std::string_view bytes) { return Examine(bytes).verdict; }

}  // namespace fyldra3::literal
