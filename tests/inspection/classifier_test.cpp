// The classification rule on small byte fixtures: each case is checked
// against its expected verdict, against the literal rule (verdict and basis),
// with every framer, and with the bytes fed in pieces of many sizes.
#include "fyldra3/classifier.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "literal_rule.h"
#include "printers.h"

namespace fyldra3 {
namespace literal {
void PrintTo(const Result& r, std::ostream* os) {
  fyldra3::PrintTo(r.verdict, os);
  *os << " ";
  fyldra3::PrintTo(r.basis, os);
}
}  // namespace literal

namespace {

constexpr std::string_view kWord6 = "Microsoft Word 6.0";
constexpr std::string_view kWord95 = "Microsoft Word for Windows 95";
constexpr std::string_view kWordFor = "Microsoft Word for Macintosh";
constexpr std::string_view kWord8 = "Microsoft Word 8.0";
constexpr std::string_view kWord9 = "Microsoft Word 9.0";

// A file laid out in characters: `total` characters of filler, the first a
// NUL (so the sample is not text) unless `text` is set, with strings put at
// 1-based character positions. The filler is ASCII or double-byte, so the
// same layout lands on very different byte offsets.
enum class Filler { Ascii, DoubleByte };

struct Put {
  std::size_t position;
  std::string_view bytes;  // single-byte characters only
};

std::string Layout(std::size_t total, Filler filler, std::vector<Put> puts, bool text = false) {
  std::string out;
  std::size_t position = 1;
  auto next = puts.begin();
  while (position <= total) {
    if (next != puts.end() && next->position == position) {
      out.append(next->bytes);
      position += next->bytes.size();
      ++next;
    } else if (position == 1 && !text) {
      out += '\0';
      ++position;
    } else {
      out.append(filler == Filler::Ascii ? "a" : "\x82\xA0");
      ++position;
    }
  }
  return out;
}

std::string Repeat(std::string_view s, std::size_t n) {
  std::string out;
  for (std::size_t i = 0; i < n; ++i) out.append(s);
  return out;
}

using Result = literal::Result;

// Feeds the bytes in pieces of `piece` bytes (all at once for 0).
Result Streamed(std::string_view bytes, std::size_t piece, Framing framing) {
  Classifier c(framing);
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  if (piece == 0) piece = std::max<std::size_t>(1, bytes.size());
  for (std::size_t at = 0; at < bytes.size(); at += piece) {
    c.Feed(p + at, p + std::min(bytes.size(), at + piece));
  }
  const Verdict v = c.Finish();
  return {v, c.basis()};
}

// Checks that each offset of the basis points at what it names.
void ExpectBasisPointsAtItsBytes(std::string_view bytes, const Result& r) {
  const Basis& b = r.basis;
  const auto isControl = [&](std::uint64_t at) {
    if (at >= bytes.size()) return false;
    const auto c = static_cast<unsigned char>(bytes[at]);
    return c < 0x20 && c != 9 && c != 10 && c != 13;
  };
  switch (r.verdict) {
    case Verdict::RichText:
      EXPECT_EQ(b.offset, 0u);
      EXPECT_EQ(bytes.substr(0, 5), SignatureText(r.verdict, b));
      break;
    case Verdict::PlainText:
      EXPECT_EQ(b.row, 0u);
      EXPECT_EQ(b.sampleChars, std::min<std::size_t>(500, literal::Frame(bytes).chars.size()));
      if (b.control != Basis::kNone) {
        EXPECT_TRUE(isControl(b.control)) << "control at " << b.control;
        const literal::Text text = literal::Frame(bytes);
        const auto last = std::min<std::size_t>(500, text.chars.size()) - 1;
        EXPECT_EQ(text.at[last], b.control) << "the control character is the sample's last";
      }
      break;
    default:
      EXPECT_TRUE(isControl(b.control)) << "control at " << b.control;
      for (std::uint64_t at = 0; at < b.control; ++at) {
        // Any earlier control byte must be the trail of a double-byte character, and none is below 0x40.
        ASSERT_FALSE(isControl(at)) << "an earlier control character at " << at;
      }
      if (r.verdict == Verdict::NotWord) {
        EXPECT_EQ(b.row, 0u);
        break;
      }
      ASSERT_GE(b.row, 1u);
      ASSERT_LE(b.offset, bytes.size());
      EXPECT_EQ(bytes.substr(b.offset, RowText(b.row).size()), RowText(b.row))
          << "signature at " << b.offset << ", check " << b.check;
      break;
  }
}

// Every framing this processor runs, the portable one included.
std::vector<Framing> Framings() {
  std::vector<Framing> all;
  for (const Framing f : {Framing::Fast, Framing::Scalar, Framing::Sse2, Framing::Avx2, Framing::Avx512}) {
    if (FramingSupported(f)) all.push_back(f);
  }
  return all;
}

void ExpectEverywhere(std::string_view bytes, Verdict expected) {
  const Result literal = literal::Examine(bytes);
  EXPECT_EQ(literal.verdict, expected) << "the literal rule disagrees with the expectation";
  ExpectBasisPointsAtItsBytes(bytes, literal);
  for (const Framing framing : Framings()) {
    EXPECT_EQ(Classify(bytes, framing), expected) << "whole, framing " << static_cast<int>(framing);
    for (const std::size_t piece : {0u, 1u, 3u, 31u, 63u, 64u, 65u, 500u, 4096u}) {
      EXPECT_EQ(Streamed(bytes, piece, framing), literal) << "pieces of " << piece << ", framing "
                                                          << static_cast<int>(framing);
    }
  }
}

struct Case {
  std::string name;
  std::string bytes;
  Verdict expected;
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

class EdgeCase : public testing::TestWithParam<Case> {};

TEST_P(EdgeCase, GivesItsVerdict) { ExpectEverywhere(GetParam().bytes, GetParam().expected); }

std::vector<Case> SampleCases() {
  using V = Verdict;
  const std::string a499 = std::string(499, 'a');
  const std::string dbl499 = Repeat("\x82\xA0", 499);
  return {
      {"empty file", "", V::PlainText},
      {"rtf header with control characters and a signature after it",
       std::string("{\\rtf1\\ansi\0\1", 13) + std::string(kWord8), V::RichText},
      {"rtf header alone", "{\\rtf", V::RichText},
      {"rtf header cut short", "{\\rt", V::PlainText},
      {"upper-case RTF header, text", "{\\RTF1 hello", V::PlainText},
      {"upper-case RTF header, not text", std::string("{\\RTF1\1 x", 9), V::NotWord},
      {"rtf header after a byte", " {\\rtf1", V::PlainText},
      {"text with tab, line feed and carriage return", "a\tb\r\nc", V::PlainText},
      {"control character after the 500th", a499 + "b" + std::string("\1") + std::string(kWord8), V::PlainText},
      {"control character after the 500th double-byte character",
       dbl499 + "\x82\xA0" + std::string("\1") + std::string(kWord8), V::PlainText},
      {"NUL as the 500th character, more follows", a499 + std::string("\0", 1) + std::string(kWord8), V::PlainText},
      {"NUL as the 500th double-byte-counted character", dbl499 + std::string("\0", 1) + std::string(kWord8),
       V::PlainText},
      {"NUL as the 499th character", std::string(498, 'a') + std::string("\0b", 2) + std::string(kWord8),
       V::Word97_98},
      {"NUL first, no signature", std::string("\0abc", 4), V::NotWord},
      {"every other disallowed code", "ab\x1B" "cd", V::NotWord},
      {"short file ending in 0x1A", "hello\x1A", V::PlainText},
      {"short file ending in two 0x1A", "hello\x1A\x1A", V::NotWord},
      {"lone NUL", std::string("\0", 1), V::PlainText},
      {"DEL and high bytes are allowed", "\x7F\xFF\xA0", V::PlainText},
      {"a lone lead byte at the end", std::string("\0\x82", 2), V::NotWord},
  };
}

std::vector<Case> ScanCases() {
  using V = Verdict;
  std::vector<Case> cases;
  for (const Filler f : {Filler::Ascii, Filler::DoubleByte}) {
    const std::string k = f == Filler::Ascii ? " (ascii)" : " (double-byte)";
    const auto add = [&](const std::string& name, std::string bytes, Verdict v) {
      cases.push_back({name + k, std::move(bytes), v});
    };
    add("no signature anywhere", Layout(6000, f, {}), V::NotWord);
    add("signature ending at the 500th character, 500 in all", Layout(500, f, {{483, kWord8}}), V::Word97_98);
    add("signature crossing into the 501st character", Layout(501, f, {{484, kWord8}}), V::Word97_98);
    add("signature in the sample of a longer file", Layout(3000, f, {{10, kWord8}}), V::Word97_98);
    add("signature cut by the first chunk boundary", Layout(5000, f, {{2490, kWord8}}), V::Word97_98);
    add("signature ending on the last character", Layout(2518, f, {{2501, kWord6}}), V::Word6);
    add("signature one character short of the end", Layout(2517, f, {{2501, kWord6.substr(0, 17)}}), V::NotWord);
    add("6.0 and 8.0 in one window, 6.0 first", Layout(2000, f, {{100, kWord6}, {900, kWord8}}), V::Word97_98);
    add("6.0 and 8.0 in one window, 8.0 first", Layout(2000, f, {{100, kWord8}, {900, kWord6}}), V::Word97_98);
    add("9.0 early, 6.0 chunks later: the last check decides",
        Layout(12000, f, {{700, kWord9}, {9000, kWord6}}), V::Word6);
    add("9.0 in the sample, 6.0 in the first chunk: one window", Layout(3000, f, {{10, kWord9}, {600, kWord6}}),
        V::Word2000);
    add("9.0 in the sample, 6.0 in the second chunk", Layout(5000, f, {{10, kWord9}, {2600, kWord6}}), V::Word6);
    add("9.0 inside the carry of the next window", Layout(5000, f, {{2461, kWord9}, {3000, kWord6}}), V::Word2000);
    add("9.0 one character before the carry", Layout(5000, f, {{2460, kWord9}, {3000, kWord6}}), V::Word6);
    add("9.0 in the carry of a later window", Layout(7000, f, {{4461, kWord9}, {5000, kWord6}}), V::Word2000);
    add("9.0 just before a later carry", Layout(7000, f, {{4460, kWord9}, {5000, kWord6}}), V::Word6);
    add("row 2 gives Word95", Layout(3000, f, {{1000, kWord95}}), V::Word95);
    add("row 3 alone gives Word95Likely", Layout(3000, f, {{1000, kWordFor}}), V::Word95Likely);
    add("row 2 and another row 3 in one window", Layout(3000, f, {{700, kWordFor}, {1500, kWord95}}), V::Word95);
    add("row 2 outranks row 1", Layout(3000, f, {{700, kWord95}, {1500, kWord6}}), V::Word95);
    add("row 4 outranks row 2", Layout(3000, f, {{700, kWord8}, {1500, kWord95}}), V::Word97_98);
    add("row 2 ends in the next chunk, its row 3 part does not", Layout(5000, f, {{2475, kWord95}}), V::Word95);
    add("row 2 cut off by the end of the file", Layout(2501, f, {{2475, kWord95.substr(0, 27)}}), V::Word95Likely);
    add("row 2 split by the boundary, row 1 earlier in the chunk",
        Layout(5000, f, {{600, kWord6}, {2490, kWord95}}), V::Word95);
    add("lower case matches nothing", Layout(3000, f, {{700, "microsoft word 8.0"}}), V::NotWord);
    add("a comma is not a full stop", Layout(3000, f, {{700, "Microsoft Word 8,0"}}), V::NotWord);
    add("an almost signature", Layout(3000, f, {{700, "Microsoft Word 7.0"}}), V::NotWord);
  }
  return cases;
}

std::vector<Case> TrailByteCases() {
  using V = Verdict;
  const std::string nul("\0", 1);
  const std::string sig(kWord8);
  return {
      {"an M that is a trail byte", nul + "\x82" + sig, V::NotWord},
      {"two lead bytes pair up, so the M starts a character", nul + "\x82\x82" + sig, V::Word97_98},
      {"three lead bytes", nul + "\x82\x82\x82" + sig, V::NotWord},
      {"a lead byte before a non-trail byte", nul + "\x82\x7F" + sig, V::Word97_98},
      {"a trail byte that is not a lead does not pair with the M", nul + "\xA0" + sig, V::Word97_98},
      {"the M as the trail byte just before the 64th byte",
       nul + std::string(61, 'a') + "\x82" + sig, V::NotWord},
      {"the M after 63 lead bytes ending a block", nul + std::string(63, '\x82') + sig, V::NotWord},
      {"the M after 64 lead bytes", nul + std::string(64, '\x82') + sig, V::Word97_98},
  };
}

// Long files, where the vector framers pair the lead bytes of several blocks at once.
std::vector<Case> ManyBlockCases() {
  using V = Verdict;
  const std::string nul("\0", 1);
  const std::string sig(kWord8);
  std::string leadEnds = nul + std::string(62, 'a') + "\x82";  // every block ends in a lead byte
  for (int i = 0; i < 20; ++i) leadEnds += std::string(63, 'a') + "\x82";
  std::string everyBlock = nul;
  for (int i = 0; i < 40; ++i) everyBlock += sig + std::string(64 - sig.size(), ' ');
  return {
      {"whole blocks of lead bytes, even run", nul + std::string(1000, 'a') + std::string(700, '\x82') + sig,
       V::Word97_98},
      {"whole blocks of lead bytes, odd run", nul + std::string(1000, 'a') + std::string(701, '\x82') + sig,
       V::NotWord},
      {"every block ends in a lead byte, the M after one", leadEnds + sig, V::NotWord},
      {"every block ends in a lead byte, the M after two", leadEnds + "\x82" + sig, V::Word97_98},
      {"a signature in each of 40 blocks, 9.0 last", everyBlock + std::string(kWord9), V::Word2000},
  };
}

INSTANTIATE_TEST_SUITE_P(Sample, EdgeCase, testing::ValuesIn(SampleCases()));
INSTANTIATE_TEST_SUITE_P(Scan, EdgeCase, testing::ValuesIn(ScanCases()));
INSTANTIATE_TEST_SUITE_P(TrailBytes, EdgeCase, testing::ValuesIn(TrailByteCases()));
INSTANTIATE_TEST_SUITE_P(ManyBlocks, EdgeCase, testing::ValuesIn(ManyBlockCases()));

TEST(Classifier, EveryX86FramingIsTested) {
#if defined(__x86_64__)
  EXPECT_TRUE(FramingSupported(Framing::Sse2));  // the baseline: always there
#endif
  EXPECT_TRUE(FramingSupported(Framing::Scalar));
  EXPECT_GE(Framings().size(), 2u);
}

TEST(Classifier, StopsAskingForBytesOnceSettled) {
  Classifier rtf;
  const std::string header = "{\\rtf1";
  const auto* p = reinterpret_cast<const unsigned char*>(header.data());
  EXPECT_FALSE(rtf.Feed(p, p + header.size()));
  EXPECT_FALSE(rtf.Feed(p, p + header.size()));
  EXPECT_EQ(rtf.Finish(), Verdict::RichText);

  Classifier binary;
  const std::string bytes("\0\1\2", 3);
  p = reinterpret_cast<const unsigned char*>(bytes.data());
  EXPECT_TRUE(binary.Feed(p, p + bytes.size()));
  EXPECT_TRUE(binary.Feed(p, p));
  EXPECT_EQ(binary.Finish(), Verdict::NotWord);
}

// Random files aimed at the hard places: signatures and their pieces,
// lead bytes, control characters, at positions near the sample, chunk and
// carry boundaries.
std::string Generated(std::mt19937_64& rng) {
  static constexpr std::string_view kPieces[] = {
      kWord6, kWord95, kWordFor, kWord8, kWord9, "Microsoft Word ", "Microsoft Word for Windows 9",
      "Microsoft Word for", "\x82", "\x82\xA0", "\xE0", "\xFC\xFC", std::string_view("\0", 1), "\x1A", "a", "M"};
  std::uniform_int_distribution<std::size_t> piece(0, std::size(kPieces) - 1);
  std::uniform_int_distribution<int> percent(0, 99);
  const std::size_t target = std::uniform_int_distribution<std::size_t>(0, 9000)(rng);
  std::string out;
  if (percent(rng) < 80) out += '\0';
  while (out.size() < target) {
    const int r = percent(rng);
    if (r < 10) {
      out.append(kPieces[piece(rng)]);
    } else if (r < 60) {
      out.append(std::uniform_int_distribution<std::size_t>(1, 200)(rng), r < 35 ? 'a' : '\x82');
    } else {
      out += static_cast<char>(std::uniform_int_distribution<int>(0, 255)(rng));
    }
  }
  return out;
}

// Files built character by character (single-byte, double-byte, lone lead
// bytes) with signatures placed near the 500th character and near chunk and
// carry boundaries, so the byte offsets of those places vary widely.
std::string AimedAtBoundaries(std::mt19937_64& rng) {
  static constexpr std::string_view kSignatures[] = {kWord6, kWord95, kWordFor, kWord8, kWord9};
  static constexpr std::uint64_t kPlaces[] = {1, 483, 500, 501, 2461, 2472, 2500, 4461, 4500, 6500};
  const auto pick = [&](std::uint64_t n) { return std::uniform_int_distribution<std::uint64_t>(0, n - 1)(rng); };
  // A place with an offset in [-before, after), never before the first character.
  const auto near = [&](std::uint64_t before, std::uint64_t after) {
    const std::uint64_t place = kPlaces[pick(std::size(kPlaces))] + pick(before + after);
    return place > before ? place - before : 1;
  };
  const std::uint64_t total = near(10, 70);
  std::vector<std::pair<std::uint64_t, std::string_view>> puts;
  for (std::uint64_t k = pick(4); k > 0; --k) puts.emplace_back(near(45, 15), kSignatures[pick(std::size(kSignatures))]);
  std::sort(puts.begin(), puts.end());
  std::string out;
  std::uint64_t position = 1;
  auto next = puts.begin();
  while (position <= total) {
    while (next != puts.end() && next->first < position) ++next;  // overlapped by an earlier one
    if (next != puts.end() && next->first == position) {
      // A lead byte just before a signature sometimes swallows its "M".
      if (pick(8) == 0) out += '\x82';
      out.append(next->second);
      position += next->second.size();
      continue;
    }
    switch (pick(position == 1 ? 2 : 10)) {
      case 0: out += '\0'; break;
      case 1: out += "\x82\xA0"; break;
      case 2: out += "\x88\x9F"; break;
      case 3: out += '\xE0'; break;  // a lead byte that pairs with whatever follows
      default: out += 'a'; break;
    }
    ++position;
  }
  return out;
}

TEST(Classifier, AgreesWithTheLiteralRuleNearBoundaries) {
  std::mt19937_64 rng(500);
  std::map<Verdict, int> seen;
  std::map<std::uint64_t, int> checks;
  for (int i = 0; i < 2000; ++i) {
    const std::string bytes = AimedAtBoundaries(rng);
    const Result expected = literal::Examine(bytes);
    ++seen[expected.verdict];
    ++checks[expected.basis.check];
    ExpectBasisPointsAtItsBytes(bytes, expected);
    const std::size_t piece = std::uniform_int_distribution<std::size_t>(1, 700)(rng);
    for (const Framing framing : Framings()) {
      ASSERT_EQ(Streamed(bytes, 0, framing), expected) << "file " << i << ", framing " << static_cast<int>(framing);
      ASSERT_EQ(Streamed(bytes, piece, framing), expected) << "file " << i << " in pieces of " << piece;
    }
  }
  // The files reach every verdict a scan can give, so every row was in play.
  for (const Verdict v : {Verdict::NotWord, Verdict::PlainText, Verdict::Word6, Verdict::Word95,
                          Verdict::Word95Likely, Verdict::Word97_98, Verdict::Word2000}) {
    EXPECT_GT(seen[v], 20) << VerdictName(v);
  }
  // Verdicts decided in the sample, the first chunk and later chunks.
  for (const std::uint64_t check : {0u, 1u, 2u, 3u}) EXPECT_GT(checks[check], 20) << "check " << check;
}

TEST(Classifier, AgreesWithTheLiteralRuleOnGeneratedFiles) {
  std::mt19937_64 rng(20261211);
  for (int i = 0; i < 3000; ++i) {
    const std::string bytes = Generated(rng);
    const Result expected = literal::Examine(bytes);
    ExpectBasisPointsAtItsBytes(bytes, expected);
    const std::size_t piece = std::uniform_int_distribution<std::size_t>(1, 300)(rng);
    for (const Framing framing : Framings()) {
      ASSERT_EQ(Streamed(bytes, 0, framing), expected) << "file " << i << ", framing " << static_cast<int>(framing);
      ASSERT_EQ(Streamed(bytes, piece, framing), expected) << "file " << i << " in pieces of " << piece;
    }
  }
}

// Each framing by name: a log shows which ones this processor ran, and one it
// cannot run is skipped, naming what it lacks.
struct NamedFraming {
  Framing framing;
  const char* name;
  const char* needs;
};

class EachFraming : public testing::TestWithParam<NamedFraming> {};

TEST_P(EachFraming, AgreesWithTheLiteralRule) {
  const NamedFraming& f = GetParam();
  if (!FramingSupported(f.framing)) {
    GTEST_SKIP() << "framing " << f.name << " not tested: this processor or its operating system lacks " << f.needs;
  }
  std::mt19937_64 rng(77);
  for (int i = 0; i < 400; ++i) {
    const std::string bytes = i % 2 == 0 ? Generated(rng) : AimedAtBoundaries(rng);
    ASSERT_EQ(Streamed(bytes, 0, f.framing), literal::Examine(bytes)) << "file " << i;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Framings, EachFraming,
    testing::Values(NamedFraming{Framing::Fast, "Fast", "nothing"}, NamedFraming{Framing::Scalar, "Scalar", "nothing"},
                    NamedFraming{Framing::Sse2, "Sse2", "SSE2 (an x86-64 processor)"},
                    NamedFraming{Framing::Avx2, "Avx2", "AVX2, BMI1, LZCNT or POPCNT"},
                    NamedFraming{Framing::Avx512, "Avx512", "AVX-512F, AVX-512BW, AVX2, BMI1, LZCNT or POPCNT"}),
    [](const testing::TestParamInfo<NamedFraming>& framing) { return std::string(framing.param.name); });

// The documents in tests/data, each with the basis read off its bytes by hand
// (`tail -c +$((offset+1)) FILE | head -c 28`).
struct Document {
  const char* file;
  Verdict verdict;
  Basis basis;
};

// With stdio: GCC's null-dereference warning misfires on istreambuf_iterator.
std::string ReadAll(const std::string& path) {
  std::string bytes;
  if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
    char buffer[65536];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, f)) > 0;) bytes.append(buffer, n);
    std::fclose(f);
  }
  return bytes;
}

TEST(Classifier, BasisOfRealDocuments) {
  constexpr auto kNone = Basis::kNone;
  const Document documents[] = {
      // sample characters, row, control character, check, offset
      {"Bug60942.doc", Verdict::Word6, {0, 1, 2, 7, 13016}},
      {"TestMickey.doc", Verdict::Word95, {0, 2, 2, 6, 10756}},
      {"simple.doc", Verdict::Word97_98, {0, 4, 2, 5, 9084}},
      {"TestGermanWord90.doc", Verdict::Word2000, {0, 5, 2, 5, 9104}},
      {"quick.doc", Verdict::NotWord, {0, 0, 2, 0, kNone}},
      {"SampleDoc.docx", Verdict::NotWord, {0, 0, 2, 0, kNone}},
      {"lorem-ipsum.rtf", Verdict::RichText, {0, 0, kNone, 0, 0}},
      {"lorem-ipsum.txt", Verdict::PlainText, {500, 0, kNone, 0, kNone}},
  };
  for (const Document& d : documents) {
    const std::string bytes = ReadAll(std::string(FYLDRA3_TEST_DATA) + "/" + d.file);
    ASSERT_FALSE(bytes.empty()) << d.file;
    const Result expected{d.verdict, d.basis};
    EXPECT_EQ(literal::Examine(bytes), expected) << d.file;
    ExpectBasisPointsAtItsBytes(bytes, expected);
    for (const Framing framing : Framings()) {
      for (const std::size_t piece : {0u, 1u, 63u, 64u, 65u, 4096u, 262144u}) {
        EXPECT_EQ(Streamed(bytes, piece, framing), expected) << d.file << " in pieces of " << piece;
      }
    }
  }
}

}  // namespace
}  // namespace fyldra3
