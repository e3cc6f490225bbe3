#include "options.h"

#include <cstdio>
#include <string>
#include <string_view>

namespace fyldra3::scan {
namespace {

constexpr std::string_view kUsage = "使い方: fyldra3-scan [--json] パス...\n";

void UsageError(std::string_view what, std::string_view detail = "") {
  std::string text = "fyldra3-scan: ";
  text.append(what).append(detail).append("\n").append(kUsage);
  text.append("詳しくは「fyldra3-scan --help」を見てください。\n");
  std::fputs(text.c_str(), stderr);
}

}  // namespace

std::optional<Options> ParseOptions(int argc, char** argv) {
  Options options;
  bool onlyPaths = false;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (onlyPaths || arg.size() < 2 || arg[0] != '-') {
      options.paths.emplace_back(arg);
    } else if (arg == "--") {
      onlyPaths = true;
    } else if (arg == "--json") {
      options.format = Format::Json;
    } else if (arg == "-h" || arg == "--help") {
      options.help = true;
    } else {
      UsageError("不明なオプションです: ", arg);
      return std::nullopt;
    }
  }
  if (!options.help && options.paths.empty()) {
    UsageError("調べるファイルを指定してください。");
    return std::nullopt;
  }
  return options;
}

void PrintHelp() {
  std::fputs(
      "使い方: fyldra3-scan [--json] パス...\n"
      "\n"
      "ファイルの中身から、それを書いた Microsoft Word の版 (6.0、95、97/98、2000)、\n"
      "またはリッチテキスト、テキストファイルかどうかを調べ、パスごとに 1 行で示します。\n"
      "\n"
      "  --json      結果を JSON Lines で出力します (1 行に 1 つのオブジェクト)。\n"
      "  -h, --help  この説明を表示します。\n"
      "  --          これより後ろはすべてパスとして扱います。\n"
      "\n"
      "終了ステータス: 0 すべてのファイルを調べられた、1 調べられないファイルがあった、\n"
      "2 使い方の誤り。\n",
      stdout);
}

}  // namespace fyldra3::scan
