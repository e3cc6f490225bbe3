#include "fyldra3/report.h"

#include <gtest/gtest.h>

#include <cerrno>

#include "fyldra3/system_errors.h"

namespace fyldra3 {
namespace {

TEST(ReportText, PathThenVerdictOnTheNextLine) {
  EXPECT_EQ(ReportText("/tmp/simple.doc", Verdict::Word97_98),
            "/tmp/simple.doc は\r\nMicrosoft Word 97/98 ファイルです。");
  EXPECT_EQ(ReportText("x", Failure::NotFound), "x は\r\n見つかりません。");
}

TEST(MessageText, ExactCharacters) {
  // The separators and the gap in the NotWord text are ideographic (U+3001, U+3000).
  EXPECT_EQ(MessageText(Verdict::NotWord),
            "Word 6.0\u3001" "95\u3001" "97/98\u3001" "2000\u3000\u306e\u30d5\u30a1\u30a4\u30eb\u3067\u306f"
            "\u3042\u308a\u307e\u305b\u3093\u3002");
  EXPECT_EQ(MessageText(Verdict::RichText), "リッチテキスト(rtf)ファイルです。");
  EXPECT_EQ(MessageText(Verdict::Word95Likely), "Microsoft Word 95 ファイルと思われます。");
}

TEST(MessageWithCause, NamesTheCauseWhenItSaysMore) {
  const struct {
    Outcome outcome;
    std::string_view text;
  } cases[] = {
      {Outcome(Failure::ReadError, ELOOP), "読み込めませんでした (リンクが循環しています)。"},
      {Outcome(Failure::ReadError, ENAMETOOLONG), "読み込めませんでした (名前が長すぎます)。"},
      {Outcome(Failure::NotFound, ENOTDIR), "見つかりません (パスの途中にフォルダーでないものがあります)。"},
      {Outcome(Failure::NotFound, ENOENT), "見つかりません。"},  // nothing to add
      {Outcome(Failure::IsDirectory, EISDIR), "フォルダーのため調べられません。"},
      {Outcome(Failure::NotRegular), "通常のファイルではないため調べられません。"},
      {Outcome(Failure::ReadError, 9999), "読み込めませんでした (エラー番号 9999)。"},
      {Verdict::Word6, "Microsoft Word 6.0 ファイルです。"},
  };
  for (const auto& c : cases) EXPECT_EQ(MessageWithCause(c.outcome), c.text);
  // What the window shows stays the sentence of the kind.
  EXPECT_EQ(ReportText("x", Outcome(Failure::ReadError, ELOOP)), "x は\r\n読み込めませんでした。");
}

TEST(SystemErrors, OneTableForKindNameAndCause) {
  const struct {
    int error;
    Failure failure;
    std::string_view name;
  } cases[] = {
      {ENOENT, Failure::NotFound, "ENOENT"},         {ENOTDIR, Failure::NotFound, "ENOTDIR"},
      {EACCES, Failure::PermissionDenied, "EACCES"}, {EPERM, Failure::PermissionDenied, "EPERM"},
      {EISDIR, Failure::IsDirectory, "EISDIR"},      {ENXIO, Failure::NotRegular, "ENXIO"},
      {ELOOP, Failure::ReadError, "ELOOP"},          {ENAMETOOLONG, Failure::ReadError, "ENAMETOOLONG"},
      {EIO, Failure::ReadError, "EIO"},              {EMFILE, Failure::ReadError, "EMFILE"},
      {EXDEV, Failure::ReadError, "EXDEV"},  // not in the table: named by the system, no cause
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FailureOfErrno(c.error), c.failure) << c.name;
    EXPECT_EQ(ErrnoName(c.error), c.name);
    EXPECT_EQ(ErrnoCause(c.error).empty(), c.error == EXDEV) << c.name;
  }
  EXPECT_EQ(ErrnoCause(ELOOP), "リンクが循環しています");
  EXPECT_EQ(ErrnoName(0), "");
}

TEST(ValidUtf8, ReplacesEachBrokenSequenceOnce) {
  const struct {
    std::string_view in, out;
  } cases[] = {
      {"plain", "plain"},
      {"\xE6\x96\x87", "\xE6\x96\x87"},                      // 文
      {"\x95\xB6\x8F\x91.doc", "\uFFFD\uFFFD\uFFFD\uFFFD.doc"},  // Shift_JIS 文書
      {"a\xE6\x96", "a\uFFFD"},                              // cut short: one replacement
      {"\xC0\xAF", "\uFFFD\uFFFD"},                          // overlong
      {"\xED\xA0\x80", "\uFFFD\uFFFD\uFFFD"},                // surrogate
      {"\xF4\x90\x80\x80", "\uFFFD\uFFFD\uFFFD\uFFFD"},      // above U+10FFFF
      {"\xF0\x9F\x98\x80", "\xF0\x9F\x98\x80"},              // an emoji
  };
  for (const auto& c : cases) EXPECT_EQ(ValidUtf8(c.in), c.out) << c.in;
}

}  // namespace
}  // namespace fyldra3
