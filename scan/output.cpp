#include "output.h"

#include <charconv>
#include <ctime>

#include "fyldra3/name_text.h"
#include "fyldra3/report.h"
#include "fyldra3/system_errors.h"

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
    case Failure::Encrypted: return "調べられなかった (暗号化されている)";
  }
  return {};
}

bool Utf8(std::string_view bytes) { return IsUtf8(bytes.data(), bytes.data() + bytes.size()); }

// The text of part `i`: the archive's path as a loose file's, member names decoded.
std::string PartText(const MemberLine& line, std::size_t i) {
  return i == 0 ? ValidUtf8(line.parts[0]) : NameText(line.parts[i]);
}

constexpr std::string_view kDepthNote = " (アーカイブの入れ子が深すぎるため、中は調べていません)";

// The path of a record as bytes and as text, and whether the bytes are UTF-8.
struct PathForms {
  std::string raw, text;
  bool utf8;
};

PathForms FormsOf(const Record& r) {
  if (r.member == nullptr) {
    PathForms f{std::string(r.path), ValidUtf8(r.path), true};
    f.utf8 = f.text == f.raw;
    return f;
  }
  PathForms f{{}, {}, true};
  for (std::size_t i = 0; i < r.member->parts.size(); ++i) {
    if (i != 0) {
      f.raw += '#';
      f.text += '#';
    }
    f.raw.append(r.member->parts[i]);
    f.text.append(PartText(*r.member, i));
    f.utf8 = f.utf8 && Utf8(r.member->parts[i]);
  }
  return f;
}

void AppendPlainPath(std::string& out, const Record& r) {
  if (r.member == nullptr) {
    out.append(r.path);  // raw bytes, as file(1) prints names
    return;
  }
  // The archive is on disk: its bytes, as a loose file's; the members have
  // no bytes on disk to keep, so they are shown decoded.
  out.append(r.member->parts[0]);
  for (std::size_t i = 1; i < r.member->parts.size(); ++i) out.append("#").append(NameText(r.member->parts[i]));
}

void AppendJsonParts(std::string& out, const MemberLine& line) {
  const std::size_t count = line.parts.size();
  if (count < 2) return;
  bool containersUtf8 = true;
  out.append(", \"container\": [");
  for (std::size_t i = 0; i + 1 < count; ++i) {
    if (i != 0) out.append(", ");
    AppendJsonString(out, PartText(line, i));
    containersUtf8 = containersUtf8 && Utf8(line.parts[i]);
  }
  out.append("]");
  if (!containersUtf8) {
    out.append(", \"container_hex\": [");
    for (std::size_t i = 0; i + 1 < count; ++i) {
      if (i != 0) out.append(", ");
      AppendHex(out, line.parts[i]);
    }
    out.append("]");
  }
  out.append(", \"member\": ");
  AppendJsonString(out, PartText(line, count - 1));
  if (!Utf8(line.parts.back())) {
    out.append(", \"member_hex\": ");
    AppendHex(out, line.parts.back());
  }
}

}  // namespace

static_assert(static_cast<std::size_t>(Verdict::Word2000) + 1 == kAllVerdicts.size());
static_assert(static_cast<std::size_t>(Failure::Encrypted) + 1 == kAllFailures.size());

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

namespace {

constexpr char kHexDigits[] = "0123456789abcdef";

std::string HexOf(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size() * 2);
  for (const char c : bytes) {
    const auto b = static_cast<unsigned char>(c);
    out += kHexDigits[b >> 4];
    out += kHexDigits[b & 15];
  }
  return out;
}

std::string_view DigestBytes(const DigestValue& d) {
  return {reinterpret_cast<const char*>(d.bytes.data()), d.size};
}

std::string Number(std::uint64_t n) {
  std::string out;
  AppendNumber(out, n);
  return out;
}

// The errno of a failure, by its symbolic name; empty when there is none.
std::string_view ErrnoField(const Outcome& o) { return o.error() != 0 ? ErrnoName(o.error()) : std::string_view(); }

void AppendJsonBasis(std::string& out, Verdict v, const Basis& b) {
  out.append(", \"basis\": {");
  const auto number = [&out](std::string_view name, std::uint64_t n, bool comma = true) {
    if (comma) out.append(", ");
    out.append("\"").append(name).append("\": ");
    AppendNumber(out, n);
  };
  switch (v) {
    case Verdict::RichText:
      out.append("\"signature\": ");
      AppendJsonString(out, SignatureText(v, b));
      number("offset", b.offset);
      break;
    case Verdict::PlainText:
      number("chars", b.sampleChars, false);
      if (b.control != Basis::kNone) number("control", b.control);
      break;
    case Verdict::NotWord:
      number("control", b.control, false);
      out.append(", \"signature\": null");
      break;
    default:
      out.append("\"signature\": ");
      AppendJsonString(out, SignatureText(v, b));
      number("check", b.check);
      number("offset", b.offset);
      number("control", b.control);
      break;
  }
  out.append("}");
}

// A CSV field, quoted when it holds a comma, quote, CR or LF.
void AppendCsvField(std::string& out, std::string_view text, bool last = false) {
  if (text.find_first_of(",\"\r\n") == std::string_view::npos) {
    out.append(text);
  } else {
    out += '"';
    for (const char c : text) {
      if (c == '"') out += '"';
      out += c;
    }
    out += '"';
  }
  out.append(last ? "\r\n" : ",");
}

}  // namespace

constexpr std::string_view kCsvColumns[] = {
    "path",          "path_hex",        "size",        "modified",     "verdict", "message", "basis_chars",
    "basis_control", "basis_signature", "basis_check", "basis_offset", "error",   "errno",   "digest"};

void AppendCsvHeader(std::string& out, bool bom) {
  if (bom) out.append("\xEF\xBB\xBF");
  for (const std::string_view c : kCsvColumns) AppendCsvField(out, c, c == kCsvColumns[std::size(kCsvColumns) - 1]);
}

std::string IsoTime(std::int64_t seconds) {
  const auto t = static_cast<std::time_t>(seconds);
  std::tm tm{};
  char text[64];
  if (gmtime_r(&t, &tm) == nullptr || std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &tm) == 0) return {};
  return text;
}

void AppendLine(std::string& out, const LineForm& form, const Record& r) {
  const Outcome& outcome = r.outcome;
  const bool hasDigest = form.hash != DigestKind::None && r.digest.size != 0;
  if (form.format == Format::Plain) {
    if (form.hash != DigestKind::None) out.append(hasDigest ? HexOf(DigestBytes(r.digest)) : "-").append("  ");
    AppendPlainPath(out, r);
    out.append(": ");
    out.append(MessageWithCause(outcome));
    if (r.member != nullptr && r.member->depthReached) out.append(kDepthNote);
    out += form.print0 ? '\0' : '\n';
    return;
  }
  const PathForms forms = FormsOf(r);
  const std::string& text = forms.text;
  const bool examined = outcome.Examined();
  if (form.format == Format::Csv) {
    const Basis& b = r.facts.basis;
    const Verdict v = examined ? outcome.verdict() : Verdict::NotWord;
    const bool word = examined && v != Verdict::NotWord && v != Verdict::RichText && v != Verdict::PlainText;
    const auto offset = [](std::uint64_t n) { return n == Basis::kNone ? std::string() : Number(n); };
    AppendCsvField(out, text);
    AppendCsvField(out, forms.utf8 ? std::string() : HexOf(forms.raw));
    AppendCsvField(out, r.facts.opened ? Number(r.facts.size) : std::string());
    AppendCsvField(out, r.facts.opened ? IsoTime(r.facts.modified) : std::string());
    AppendCsvField(out, examined ? VerdictName(v) : std::string_view());
    AppendCsvField(out, MessageWithCause(outcome));
    AppendCsvField(out, examined && v == Verdict::PlainText ? Number(b.sampleChars) : std::string());
    AppendCsvField(out, examined ? offset(b.control) : std::string());
    AppendCsvField(out, examined ? SignatureText(v, b) : std::string_view());
    AppendCsvField(out, word ? Number(b.check) : std::string());
    AppendCsvField(out, examined && (word || v == Verdict::RichText) ? Number(b.offset) : std::string());
    AppendCsvField(out, examined ? std::string_view() : FailureName(outcome.failure()));
    AppendCsvField(out, examined ? std::string_view() : ErrnoField(outcome));
    AppendCsvField(out, hasDigest ? HexOf(DigestBytes(r.digest)) : std::string(), true);
    return;
  }
  out.append("{\"path\": ");
  AppendJsonString(out, text);
  if (!forms.utf8) {
    out.append(", \"path_hex\": ");
    AppendHex(out, forms.raw);
  }
  if (r.member != nullptr) AppendJsonParts(out, *r.member);
  if (examined) {
    out.append(", \"verdict\": \"");
    out.append(VerdictName(outcome.verdict()));
  } else {
    out.append(", \"error\": \"");
    out.append(FailureName(outcome.failure()));
    if (const std::string_view name = ErrnoName(outcome.error()); !name.empty()) {
      out.append("\", \"errno\": \"").append(name);
    }
  }
  out.append("\", \"message\": ");
  AppendJsonString(out, MessageWithCause(outcome));
  if (r.facts.opened) {
    out.append(", \"size\": ");
    AppendNumber(out, r.facts.size);
    out.append(", \"modified\": ");
    AppendJsonString(out, IsoTime(r.facts.modified));
  }
  if (examined) AppendJsonBasis(out, outcome.verdict(), r.facts.basis);
  if (hasDigest) {
    out.append(", \"").append(DigestName(form.hash)).append("\": ");
    AppendHex(out, DigestBytes(r.digest));
  }
  if (r.member != nullptr && !r.member->detail.empty()) {
    out.append(", \"detail\": ");
    AppendJsonString(out, ValidUtf8(r.member->detail));
  }
  if (r.member != nullptr && r.member->depthReached) out.append(", \"depth_reached\": true");
  out.append("}\n");
}

}  // namespace fyldra3::scan
