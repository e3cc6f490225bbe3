// The eight things the classifier can say about a file.
#pragma once

#include <array>
#include <string_view>

namespace fyldra3 {

enum class Verdict : unsigned char {
  NotWord,
  RichText,
  PlainText,
  Word6,
  Word95,
  Word95Likely,
  Word97_98,
  Word2000,
};

inline constexpr std::array<Verdict, 8> kAllVerdicts = {
    Verdict::NotWord, Verdict::RichText,     Verdict::PlainText, Verdict::Word6,
    Verdict::Word95,  Verdict::Word95Likely, Verdict::Word97_98, Verdict::Word2000,
};

// The sentence shown to the user for a verdict (UTF-8).
constexpr std::string_view MessageText(Verdict v) noexcept {
  switch (v) {
    case Verdict::NotWord:
      // Ideographic comma U+3001 between versions, ideographic space U+3000 before "の".
      return "Word 6.0、95、97/98、2000　のファイルではありません。";
    case Verdict::RichText: return "リッチテキスト(rtf)ファイルです。";
    case Verdict::PlainText: return "テキストファイルと思われます。";
    case Verdict::Word6: return "Microsoft Word 6.0 ファイルです。";
    case Verdict::Word95: return "Microsoft Word 95 ファイルです。";
    case Verdict::Word95Likely: return "Microsoft Word 95 ファイルと思われます。";
    case Verdict::Word97_98: return "Microsoft Word 97/98 ファイルです。";
    case Verdict::Word2000: return "Microsoft Word 2000 ファイルです。";
  }
  return {};
}

// The verdict's identifier, as scripts see it ("Word97_98").
constexpr std::string_view VerdictName(Verdict v) noexcept {
  switch (v) {
    case Verdict::NotWord: return "NotWord";
    case Verdict::RichText: return "RichText";
    case Verdict::PlainText: return "PlainText";
    case Verdict::Word6: return "Word6";
    case Verdict::Word95: return "Word95";
    case Verdict::Word95Likely: return "Word95Likely";
    case Verdict::Word97_98: return "Word97_98";
    case Verdict::Word2000: return "Word2000";
  }
  return {};
}

}  // namespace fyldra3
