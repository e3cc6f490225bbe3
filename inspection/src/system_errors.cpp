// One table for every use of an error number: the failure kind it stands for
// when a file cannot be examined, its name, and its cause in Japanese.
#include "fyldra3/system_errors.h"

#include <cerrno>
#include <cstring>

#include "fyldra3/classify_file.h"

namespace fyldra3 {
namespace {

struct Row {
  int error;
  std::string_view name;
  std::string_view cause;
  Failure failure;
};

#define FYLDRA3_ROW(e, cause, failure) Row{e, #e, cause, Failure::failure}

constexpr Row kRows[] = {
    FYLDRA3_ROW(ENOENT, "見つかりません", NotFound),
    FYLDRA3_ROW(ENOTDIR, "パスの途中にフォルダーでないものがあります", NotFound),
    FYLDRA3_ROW(EACCES, "読み取る権限がありません", PermissionDenied),
    FYLDRA3_ROW(EPERM, "操作が許可されていません", PermissionDenied),
    FYLDRA3_ROW(EISDIR, "フォルダーです", IsDirectory),
    FYLDRA3_ROW(ENXIO, "デバイスまたはアドレスがありません", NotRegular),  // a socket, a missing device
    FYLDRA3_ROW(ENODEV, "デバイスがありません", NotRegular),
    FYLDRA3_ROW(ELOOP, "リンクが循環しています", ReadError),
    FYLDRA3_ROW(ENAMETOOLONG, "名前が長すぎます", ReadError),
    FYLDRA3_ROW(EIO, "入出力エラー", ReadError),
    FYLDRA3_ROW(ENOMEM, "メモリーが足りません", ReadError),
    FYLDRA3_ROW(EMFILE, "開いているファイルが多すぎます", ReadError),
    FYLDRA3_ROW(ENFILE, "システム全体で開いているファイルが多すぎます", ReadError),
    FYLDRA3_ROW(EOVERFLOW, "大きすぎて扱えません", ReadError),
    FYLDRA3_ROW(EFBIG, "ファイルが大きすぎます", ReadError),
    FYLDRA3_ROW(EINVAL, "無効な引数です", ReadError),
    FYLDRA3_ROW(EAGAIN, "一時的に利用できません", ReadError),
    FYLDRA3_ROW(EINTR, "割り込まれました", ReadError),
    FYLDRA3_ROW(EBUSY, "使用中です", ReadError),
    FYLDRA3_ROW(ETXTBSY, "使用中です", ReadError),
    FYLDRA3_ROW(ESTALE, "ファイルハンドルが古くなっています", ReadError),
    FYLDRA3_ROW(ETIMEDOUT, "時間切れです", ReadError),
    FYLDRA3_ROW(ENOTCONN, "接続されていません", ReadError),
    FYLDRA3_ROW(ENOMEDIUM, "媒体がありません", ReadError),
    FYLDRA3_ROW(EOPNOTSUPP, "対応していない操作です", ReadError),
    FYLDRA3_ROW(EBADF, "閉じられています", ReadError),
    FYLDRA3_ROW(ENOSPC, "空き容量がありません", ReadError),
    FYLDRA3_ROW(EDQUOT, "ディスク使用量の上限に達しました", ReadError),
    FYLDRA3_ROW(EROFS, "読み取り専用のファイルシステムです", ReadError),
    FYLDRA3_ROW(EPIPE, "出力先が閉じられています", ReadError),
};

#undef FYLDRA3_ROW

const Row* Find(int error) noexcept {
  for (const Row& row : kRows) {
    if (row.error == error) return &row;
  }
  return nullptr;
}

}  // namespace

Failure FailureOfErrno(int error) noexcept {
  const Row* row = Find(error);
  return row != nullptr ? row->failure : Failure::ReadError;
}

std::string_view ErrnoName(int error) noexcept {
  if (const Row* row = Find(error)) return row->name;
  const char* name = error != 0 ? ::strerrorname_np(error) : nullptr;
  return name != nullptr ? name : std::string_view();
}

std::string_view ErrnoCause(int error) noexcept {
  const Row* row = Find(error);
  return row != nullptr ? row->cause : std::string_view();
}

}  // namespace fyldra3
