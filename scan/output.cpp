#include "output.h"

#include <charconv>

#include "fyldra3/report.h"

namespace fyldra3::scan {
namespace {

// A JSON string; `text` must be valid UTF-8.
void AppendJsonString(std::string& out, std::string_view text) {
  static constexpr char kHex[] = "0123456789abcdef";
  out += '"';
  for (const char c : text) {
    const auto b = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (b < 0x20 || b == 0x7F) {
      out += "\\u00";
      out += kHex[b >> 4];
      out += kHex[b & 15];
    } else {
      out += c;
    }
  }
  out += '"';
}

void AppendHex(std::string& out, std::string_view bytes) {
  static constexpr char kHex[] = "0123456789abcdef";
  out += '"';
  for (const char c : bytes) {
    const auto b = static_cast<unsigned char>(c);
    out += kHex[b >> 4];
    out += kHex[b & 15];
  }
  out += '"';
}

void AppendNumber(std::string& out, std::uint64_t n) {
  char digits[24];
  const auto end = std::to_chars(digits, digits + sizeof digits, n).ptr;
  out.append(digits, end);
}

// The order of the summary: Word versions first, oldest first.
constexpr std::array<Verdict, kAllVerdicts.size()> kSummaryVerdicts = {
    Verdict::Word6,    Verdict::Word95,   Verdict::Word95Likely, Verdict::Word97_98,
    Verdict::Word2000, Verdict::RichText, Verdict::PlainText,    Verdict::NotWord,
};

constexpr std::string_view VerdictLabel(Verdict v) noexcept {
  switch (v) {
    case Verdict::NotWord: return "Word 6.0、95、97/98、2000 のどれでもない";
    case Verdict::RichText: return "リッチテキスト(rtf)";
    case Verdict::PlainText: return "テキストファイル (と思われる)";
    case Verdict::Word6: return "Microsoft Word 6.0";
    case Verdict::Word95: return "Microsoft Word 95";
    case Verdict::Word95Likely: return "Microsoft Word 95 (と思われる)";
    case Verdict::Word97_98: return "Microsoft Word 97/98";
    case Verdict::Word2000: return "Microsoft Word 2000";
  }
  return {};
}

constexpr std::string_view FailureLabel(Failure f) noexcept {
  switch (f) {
    case Failure::NotFound: return "調べられなかった (見つからない)";
    case Failure::PermissionDenied: return "調べられなかった (読み取る権限がない)";
    case Failure::IsDirectory: return "調べられなかった (フォルダー)";
    case Failure::NotRegular: return "調べられなかった (通常のファイルではない)";
    case Failure::ReadError: return "調べられなかった (読み込めなかった)";
  }
  return {};
}

}  // namespace

static_assert(static_cast<std::size_t>(Verdict::Word2000) + 1 == kAllVerdicts.size());
static_assert(static_cast<std::size_t>(Failure::ReadError) + 1 == kAllFailures.size());

std::uint64_t Tally::Examined() const noexcept {
  std::uint64_t n = 0;
  for (const std::uint64_t c : verdicts_) n += c;
  return n;
}

std::uint64_t Tally::Failed() const noexcept {
  std::uint64_t n = 0;
  for (const std::uint64_t c : failures_) n += c;
  return n;
}

void AppendSummary(std::string& out, Format format, const Tally& tally) {
  if (format == Format::Json) {
    const auto field = [&out](std::string_view name, std::uint64_t count) {
      out.append("\"").append(name).append("\": ");
      AppendNumber(out, count);
      out.append(", ");
    };
    out.append("{\"summary\": {");
    for (const Verdict v : kSummaryVerdicts) field(VerdictName(v), tally.Count(v));
    for (const Failure f : kAllFailures) field(FailureName(f), tally.Count(f));
    out.append("\"total\": ");
    AppendNumber(out, tally.Examined() + tally.Failed());
    out.append("}}\n");
    return;
  }
  const auto line = [&out](std::string_view label, std::uint64_t count) {
    out.append("  ").append(label).append(": ");
    AppendNumber(out, count);
    out.append(" 件\n");
  };
  out.append("\n集計:\n");
  for (const Verdict v : kSummaryVerdicts) line(VerdictLabel(v), tally.Count(v));
  for (const Failure f : kAllFailures) {
    if (tally.Count(f) != 0) line(FailureLabel(f), tally.Count(f));  // only the kinds that occurred
  }
  out.append("  合計: ");
  AppendNumber(out, tally.Examined() + tally.Failed());
  out.append(" 件 (調べられた ");
  AppendNumber(out, tally.Examined());
  out.append(" 件、調べられなかった ");
  AppendNumber(out, tally.Failed());
  out.append(" 件)\n");
}

void AppendLine(std::string& out, Format format, std::string_view path, const Outcome& outcome) {
  if (format == Format::Plain) {
    out.append(path);  // raw bytes, as file(1) prints names
    out.append(": ");
    out.append(MessageText(outcome));
    out += '\n';
    return;
  }
  const std::string text = ValidUtf8(path);
  out.append("{\"path\": ");
  AppendJsonString(out, text);
  if (text != path) {
    out.append(", \"path_hex\": ");
    AppendHex(out, path);
  }
  if (outcome.Examined()) {
    out.append(", \"verdict\": \"");
    out.append(VerdictName(outcome.verdict()));
  } else {
    out.append(", \"error\": \"");
    out.append(FailureName(outcome.failure()));
  }
  out.append("\", \"message\": ");
  AppendJsonString(out, MessageText(outcome));
  out.append("}\n");
}

}  // namespace fyldra3::scan
