#include "options.h"

#include <sched.h>

#include <charconv>
#include <cstdio>
#include <string>
#include <string_view>
#include <thread>

namespace fyldra3::scan {
namespace {

constexpr std::string_view kUsage =
    "使い方: fyldra3-scan [-r] [-j 数] [--summary] [--json] [-f 一覧ファイル [-0]] [パス...]\n";

void UsageError(std::string_view what, std::string_view detail = "") {
  std::string text = "fyldra3-scan: ";
  text.append(what).append(detail).append("\n").append(kUsage);
  text.append("詳しくは「fyldra3-scan --help」を見てください。\n");
  std::fputs(text.c_str(), stderr);
}

// A job count 1..kMaxJobs written in decimal digits only.
bool ParseJobs(std::string_view text, unsigned& jobs) {
  if (text.empty() || text.find_first_not_of("0123456789") != std::string_view::npos) return false;
  unsigned long value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc{} || end != text.data() + text.size() || value < 1 || value > kMaxJobs) return false;
  jobs = static_cast<unsigned>(value);
  return true;
}

bool BadJobs(std::string_view text) {
  UsageError("-j (--jobs) には 1 から 256 までの整数を指定してください: ", text);
  return false;
}

bool MissingValue(std::string_view option) {
  UsageError("オプションに値がありません: ", option);
  return false;
}

}  // namespace

unsigned DefaultJobs() {
  cpu_set_t set;
  CPU_ZERO(&set);
  int count = 0;
  if (sched_getaffinity(0, sizeof set, &set) == 0) count = CPU_COUNT(&set);
  if (count <= 0) count = static_cast<int>(std::thread::hardware_concurrency());
  if (count <= 0) count = 1;
  return count > static_cast<int>(kMaxJobs) ? kMaxJobs : static_cast<unsigned>(count);
}

std::optional<Options> ParseOptions(int argc, char** argv) {
  Options options;
  bool onlyPaths = false;
  bool jobsGiven = false;
  // The value of an option that takes one: the rest of this argument, or the next argument.
  const auto value = [&](int& i, std::string_view rest, std::string_view option,
                         std::string_view& out) -> bool {
    if (!rest.empty()) {
      out = rest;
      return true;
    }
    if (i + 1 >= argc) return MissingValue(option);
    out = argv[++i];
    return true;
  };
  const auto filesFrom = [&](std::string_view file) {
    options.sources.push_back({Source::Kind::FilesFrom, file});
  };
  const auto jobs = [&](std::string_view text) {
    jobsGiven = true;
    return ParseJobs(text, options.jobs) || BadJobs(text);
  };

  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (onlyPaths || arg.size() < 2 || arg[0] != '-') {
      options.sources.push_back({Source::Kind::Path, arg});
    } else if (arg == "--") {
      onlyPaths = true;
    } else if (arg.substr(0, 2) == "--") {
      const std::size_t eq = arg.find('=');
      const std::string_view name = arg.substr(0, eq);
      const bool hasValue = eq != std::string_view::npos;
      const std::string_view attached = hasValue ? arg.substr(eq + 1) : std::string_view{};
      std::string_view text;
      if (name == "--files-from" || name == "--jobs") {
        if (hasValue) {
          if (attached.empty()) return MissingValue(name), std::nullopt;
          text = attached;
        } else if (!value(i, {}, name, text)) {
          return std::nullopt;
        }
        if (name == "--files-from") {
          filesFrom(text);
        } else if (!jobs(text)) {
          return std::nullopt;
        }
      } else if (hasValue) {
        UsageError("不明なオプションです: ", arg);
        return std::nullopt;
      } else if (arg == "--json") {
        options.format = Format::Json;
      } else if (arg == "--summary") {
        options.summary = true;
      } else if (arg == "--recursive") {
        options.recursive = true;
      } else if (arg == "--null") {
        options.nulList = true;
      } else if (arg == "--help") {
        options.help = true;
      } else {
        UsageError("不明なオプションです: ", arg);
        return std::nullopt;
      }
    } else {
      // Short options, which may be grouped: -r0, -rj4, -j4, -f list.txt, -flist.txt.
      for (std::size_t k = 1; k < arg.size(); ++k) {
        const char c = arg[k];
        if (c == 'r') {
          options.recursive = true;
        } else if (c == '0') {
          options.nulList = true;
        } else if (c == 'h') {
          options.help = true;
        } else if (c == 'f' || c == 'j') {
          std::string_view text;
          const char option[] = {'-', c, '\0'};
          if (!value(i, arg.substr(k + 1), option, text)) return std::nullopt;
          if (c == 'f') {
            filesFrom(text);
          } else if (!jobs(text)) {
            return std::nullopt;
          }
          break;
        } else {
          const char option[] = {'-', c, '\0'};
          UsageError("不明なオプションです: ", k == 1 ? arg : std::string_view(option));
          return std::nullopt;
        }
      }
    }
  }
  if (!options.help && options.sources.empty()) {
    UsageError("調べるファイルを指定してください。");
    return std::nullopt;
  }
  if (!jobsGiven) options.jobs = DefaultJobs();
  return options;
}

void PrintHelp() {
  std::fputs(
      "使い方: fyldra3-scan [オプション] [パス...]\n"
      "\n"
      "ファイルの中身から、それを書いた Microsoft Word の版 (6.0、95、97/98、2000)、\n"
      "またはリッチテキスト、テキストファイルかどうかを調べ、パスごとに 1 行で示します。\n"
      "結果は、パスを与えた順 (フォルダーの中は下の順) に並びます。\n"
      "\n"
      "  -r, --recursive       フォルダーの中のファイルをすべて調べます (下の階層も)。\n"
      "                        -r がないと、フォルダーは「フォルダーのため調べられません。」\n"
      "                        となります。\n"
      "  -f, --files-from 一覧ファイル\n"
      "                        一覧ファイルに 1 行に 1 つずつ書かれたパスを調べます。\n"
      "                        「-」は標準入力です。何度でも指定でき、コマンド行のパスと\n"
      "                        あわせて、書かれた順に調べます。\n"
      "  -0, --null            一覧ファイルのパスを改行ではなく NUL 文字で区切ります\n"
      "                        (find ... -print0 | fyldra3-scan -0 -f - のように使います)。\n"
      "  -j, --jobs 数         同時に調べるファイルの数 (1 から 256、既定はこの計算機で\n"
      "                        使えるプロセッサーの数)。出力は数によらず同じです。\n"
      "  --summary             最後に、判定ごとの件数と合計を示します。調べられなかった\n"
      "                        ものは、あった理由ごとに件数を示します。\n"
      "  --json                結果を JSON Lines で出力します (1 行に 1 つのオブジェクト)。\n"
      "                        --summary の集計は最後の {\"summary\": {...}} で、判定と\n"
      "                        理由の名前 (件数 0 のものも) と \"total\" を持ちます。\n"
      "  -h, --help            この説明を表示します。\n"
      "  --                    これより後ろはすべてパスとして扱います。\n"
      "\n"
      "フォルダーの調べ方 (-r):\n"
      "  フォルダーごとに名前をバイト順に並べ、その順に調べます。下のフォルダーは\n"
      "  その名前の位置で中に入り、全部調べてから続きに戻ります。\n"
      "  ファイルへのシンボリックリンクはリンク先を調べます。フォルダーへのリンクには\n"
      "  入りません (同じファイルを二度調べたり、循環したりしないため)。ただし、\n"
      "  コマンド行や一覧ファイルで直接指定したパスは、フォルダーへのリンクでも中を調べます。\n"
      "  フォルダーの中の FIFO、デバイス、ソケット、フォルダーへのリンクは、ファイルでは\n"
      "  ないので飛ばします。リンク先のないリンクと、開けないフォルダーは、調べられな\n"
      "  かったものとして 1 行示し、続きを調べます。\n"
      "  使うメモリーはファイルの数によらず、フォルダーの深さと、1 つのフォルダーの中の\n"
      "  名前の数に比例するだけです。\n"
      "\n"
      "一覧ファイル (-f):\n"
      "  空の行は飛ばします。最後の行は改行で終わらなくてもかまいません。\n"
      "  パスはバイトのまま使います。行末の CR (CR LF の一覧) も名前の一部として\n"
      "  扱うので、一覧は LF で区切ってください。\n"
      "  一覧ファイルを開けないときは、何も調べずに終了ステータス 2 で終わります。\n"
      "  途中で読めなくなったときは、そこまでを調べて終了ステータス 1 で終わります。\n"
      "\n"
      "標準エラー出力が端末で、0.5 秒より長くかかるときは、そこに進み具合を 1 行で\n"
      "示し、終わるときに消します。端末でなければ何も出しません。\n"
      "\n"
      "終了ステータス: 0 すべてのファイルを調べられた、1 調べられないファイルがあった\n"
      "(または結果を書き出せなかった)、2 使い方の誤り。\n",
      stdout);
}

}  // namespace fyldra3::scan
