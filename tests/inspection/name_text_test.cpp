#include "fyldra3/name_text.h"

#include <gtest/gtest.h>

#include <string>

#include "fyldra3/report.h"

namespace fyldra3 {
namespace {

TEST(NameText, Utf8KeptCodePage932DecodedOtherwiseReplaced) {
  const struct {
    std::string in, out;
  } cases[] = {
      {"", ""},
      {"plain.doc", "plain.doc"},
      {"テスト.doc", "テスト.doc"},                                         // UTF-8 as it is
      {"\x83\x65\x83\x58\x83\x67.doc", "テスト.doc"},                      // Shift_JIS
      {"\x95\xB6\x8F\x91\\a.doc", "文書\\a.doc"},                          // 0x5C after a character stays a backslash
      {"\x8F\x91\x97\xDE/\xB6\xC0\xB6\xC5.txt", "書類/ｶﾀｶﾅ.txt"},         // half-width katakana
      {"\x87\x40\xED\x40\xFA\x40", "①纊ⅰ"},                              // NEC and IBM extensions of code page 932
      {"ユーザー/\x95\xB6\x8F\x91.doc", "ユーザー/文書.doc"},              // each part on its own
      {"\x95\xB6\x8F\x91/ユーザー", "文書/ユーザー"},
      {"a\x81.doc", "a\uFFFD.doc"},                                        // a lead byte with no trail byte
      {"\x81", "\uFFFD"},
      {"\xFF\xFE", "\uFFFD\uFFFD"},                                        // neither encoding
      {"\x80\x95\xB6", "\uFFFD\uFFFD\uFFFD"},
  };
  for (const auto& c : cases) EXPECT_EQ(NameText(c.in), c.out) << c.in;
}

TEST(NameText, DecodeCodePage932Contract) {
  const std::string in = "\xB1\xB2\xB3";  // three single bytes, three bytes of UTF-8 each
  char out[MaxCodePage932Utf8(3)];
  ASSERT_EQ(DecodeCodePage932(in.data(), in.data() + in.size(), out), 9u);
  EXPECT_EQ(std::string(out, 9), "ｱｲｳ");
  EXPECT_EQ(DecodeCodePage932(in.data(), in.data(), out), 0u);
  const std::string cut = "\x83";
  EXPECT_EQ(DecodeCodePage932(cut.data(), cut.data() + 1, out), kNotCodePage932);
}

TEST(NameText, IsUtf8) {
  EXPECT_TRUE(IsUtf8(nullptr, nullptr));
  for (const std::string bad : {"\xC0\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80", "a\xE6\x96", "\x83\x65"}) {
    EXPECT_FALSE(IsUtf8(bad.data(), bad.data() + bad.size())) << bad;
  }
  const std::string good = "\xF0\x9F\x98\x80 ü テスト";
  EXPECT_TRUE(IsUtf8(good.data(), good.data() + good.size()));
}

TEST(ReportText, ShowsACodePage932NameDecoded) {
  EXPECT_EQ(ReportText("/tmp/\x83\x65\x83\x58\x83\x67.doc", Verdict::Word97_98),
            "/tmp/テスト.doc は\r\nMicrosoft Word 97/98 ファイルです。");
}

}  // namespace
}  // namespace fyldra3
