// The texts shown for an outcome.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "fyldra3/classify_file.h"
#include "fyldra3/verdict.h"

namespace fyldra3 {

// The sentence for a file that could not be examined (UTF-8).
constexpr std::string_view FailureText(Failure f) noexcept {
  switch (f) {
    case Failure::NotFound: return "見つかりません。";
    case Failure::PermissionDenied: return "読み取る権限がありません。";
    case Failure::IsDirectory: return "フォルダーのため調べられません。";
    case Failure::NotRegular: return "通常のファイルではないため調べられません。";
    case Failure::ReadError: return "読み込めませんでした。";
    case Failure::Encrypted: return "暗号化されているため調べられません。";
  }
  return {};
}

// The failure's identifier, as scripts see it ("not_found").
constexpr std::string_view FailureName(Failure f) noexcept {
  switch (f) {
    case Failure::NotFound: return "not_found";
    case Failure::PermissionDenied: return "permission_denied";
    case Failure::IsDirectory: return "is_directory";
    case Failure::NotRegular: return "not_regular";
    case Failure::ReadError: return "read_error";
    case Failure::Encrypted: return "encrypted";
  }
  return {};
}

constexpr std::string_view MessageText(const Outcome& o) noexcept {
  return o.Examined() ? MessageText(o.verdict()) : FailureText(o.failure());
}

// MessageText, with the cause of a failure before its full stop when the
// errno says more than the kind: "読み込めませんでした (リンクが循環しています)。".
std::string MessageWithCause(const Outcome& o);

// Bytes as UTF-8 text: each ill-formed sequence becomes one U+FFFD.
std::string ValidUtf8(std::string_view bytes);

// The path (as NameText shows it), " は", CR LF, then the outcome's sentence.
std::string ReportText(const std::filesystem::path& path, const Outcome& outcome);

}  // namespace fyldra3
