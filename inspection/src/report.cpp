#include "fyldra3/report.h"

#include <cerrno>
#include <string>

#include "fyldra3/name_text.h"
#include "fyldra3/system_errors.h"

namespace fyldra3 {
std::string ValidUtf8(std::string_view bytes) {
  const auto at = [&](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
  std::string out;
  out.reserve(bytes.size());
  std::size_t i = 0;
  while (i < bytes.size()) {
    const unsigned b = at(i);
    std::size_t more = 0;           // continuation bytes the lead byte asks for
    unsigned lo = 0x80, hi = 0xBF;  // range of the first of them
    if (b < 0x80) {
      more = 0;
    } else if (b >= 0xC2 && b <= 0xDF) {
      more = 1;
    } else if (b >= 0xE0 && b <= 0xEF) {
      more = 2;
      if (b == 0xE0) lo = 0xA0;  // overlong
      if (b == 0xED) hi = 0x9F;  // surrogates
    } else if (b >= 0xF0 && b <= 0xF4) {
      more = 3;
      if (b == 0xF0) lo = 0x90;  // overlong
      if (b == 0xF4) hi = 0x8F;  // above U+10FFFF
    } else {
      out.append("\xEF\xBF\xBD");
      ++i;
      continue;
    }
    std::size_t j = i + 1;
    for (std::size_t k = 0; k < more; ++k, ++j, lo = 0x80, hi = 0xBF) {
      if (j >= bytes.size() || at(j) < lo || at(j) > hi) break;
    }
    if (j - i == more + 1) {
      out.append(bytes.substr(i, j - i));
    } else {
      out.append("\xEF\xBF\xBD");  // one replacement for the longest broken beginning
    }
    i = j;
  }
  return out;
}

namespace {

// The errno that is the failure kind itself, and so adds nothing to its sentence.
constexpr int OwnErrno(Failure f) noexcept {
  switch (f) {
    case Failure::NotFound: return ENOENT;
    case Failure::PermissionDenied: return EACCES;
    case Failure::IsDirectory: return EISDIR;
    case Failure::NotRegular:
    case Failure::ReadError:
    case Failure::Encrypted: return 0;
  }
  return 0;
}

}  // namespace

std::string MessageWithCause(const Outcome& o) {
  std::string text(MessageText(o));
  if (o.Examined() || o.error() == 0 || o.error() == OwnErrno(o.failure())) return text;
  std::string cause(ErrnoCause(o.error()));
  if (cause.empty()) cause = "エラー番号 " + std::to_string(o.error());
  constexpr std::string_view kStop = "。";
  if (text.size() >= kStop.size() && text.compare(text.size() - kStop.size(), kStop.size(), kStop) == 0) {
    text.resize(text.size() - kStop.size());
  }
  return text.append(" (").append(cause).append(")").append(kStop);
}

std::string ReportText(const std::filesystem::path& path, const Outcome& outcome) {
  std::string text = NameText(path.native());
  text.append(" は\r\n");
  text.append(MessageText(outcome));
  return text;
}

}  // namespace fyldra3
