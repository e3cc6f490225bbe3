#include "options.h"

#include <getopt.h>
#include <sched.h>

#include <charconv>
#include <cstdio>
#include <string>
#include <string_view>
#include <thread>

namespace fyldra3::scan {
namespace {

constexpr std::string_view kUsage =
    "使い方: fyldra3-scan [-rzZ] [-j 数] [--summary] [--json | --csv [--bom]] [--hash 方式]\n"
    "                     [-f 一覧ファイル [-0]] [パス...]\n";

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

namespace {

enum LongOnly : int { kSummary = 256, kJson, kCsv, kBom, kHash, kVersion };

constexpr option kLongOptions[] = {
    {"recursive", no_argument, nullptr, 'r'},   {"files-from", required_argument, nullptr, 'f'},
    {"archives", no_argument, nullptr, 'z'},
    {"null", no_argument, nullptr, '0'},        {"jobs", required_argument, nullptr, 'j'},
    {"summary", no_argument, nullptr, kSummary}, {"json", no_argument, nullptr, kJson},
    {"csv", no_argument, nullptr, kCsv},        {"bom", no_argument, nullptr, kBom},
    {"hash", required_argument, nullptr, kHash}, {"print0", no_argument, nullptr, 'Z'},
    {"help", no_argument, nullptr, 'h'},        {"version", no_argument, nullptr, kVersion},
    {nullptr, 0, nullptr, 0},
};

// Options first, then paths in order ('-'); missing values reported as ':'.
constexpr char kShortOptions[] = "-:rzf:0j:hZ";

// The option as the user wrote it: "-x" for a short one (alone or grouped),
// the long one up to any "=".
std::string OptionName(std::string_view element, int shortOption) {
  if (element.substr(0, 2) == "--") return std::string(element.substr(0, element.find('=')));
  return std::string{'-', static_cast<char>(shortOption)};
}

// The first letter of a group of short options that is none of ours, as a
// whole UTF-8 character ("-é", not its first byte alone).
std::string UnknownShortOption(std::string_view element) {
  std::size_t k = 1;
  // Ours are the letters of kShortOptions after its "-:" (a ':' there marks a value, never a letter given).
  const std::string_view ours = std::string_view(kShortOptions).substr(2);
  while (k < element.size() && element[k] != ':' && ours.find(element[k]) != std::string_view::npos) ++k;
  std::size_t end = k + 1;
  while (end < element.size() && (static_cast<unsigned char>(element[end]) & 0xC0) == 0x80) ++end;
  return "-" + std::string(element.substr(k, end - k));
}

// Why getopt_long refused a long option: unknown, ambiguous, or given a value it does not take.
void LongOptionError(std::string_view element) {
  const std::string name = OptionName(element, 0);
  const std::string_view written = std::string_view(name).substr(2);
  int matches = 0;
  bool exact = false;
  for (const option* o = kLongOptions; o->name != nullptr; ++o) {
    const std::string_view n = o->name;
    if (n.substr(0, written.size()) == written) ++matches;
    exact = exact || n == written;
  }
  if (matches > 1 && !exact) {
    UsageError("どのオプションか決められません (略しすぎです): ", name);
  } else if (matches >= 1 && element.find('=') != std::string_view::npos) {
    UsageError("このオプションは値をとりません: ", name);
  } else {
    UsageError("不明なオプションです: ", name);
  }
}

}  // namespace

std::optional<Options> ParseOptions(int argc, char** argv) {
  Options options;
  bool jobsGiven = false;
  bool jsonGiven = false;
  opterr = 0;  // the messages are this program's own, in Japanese
  optind = 0;  // a fresh start, should this be called twice
  for (;;) {
    const int at = optind == 0 ? 1 : optind;  // the argument being looked at
    const int c = getopt_long(argc, argv, kShortOptions, kLongOptions, nullptr);
    if (c == -1) break;
    const std::string_view element = at < argc ? argv[at] : "";
    const std::string_view value = optarg != nullptr ? optarg : "";
    switch (c) {
      case 1: options.sources.push_back({Source::Kind::Path, value}); break;
      case 'r': options.recursive = true; break;
      case 'z': options.archives = true; break;
      case '0': options.nulList = true; break;
      case 'h': options.help = true; break;
      case 'Z': options.print0 = true; break;
      case kSummary: options.summary = true; break;
      case kJson: options.format = Format::Json, jsonGiven = true; break;
      case kCsv: options.format = Format::Csv; break;
      case kBom: options.bom = true; break;
      case kVersion: options.version = true; break;
      case 'f':
        if (value.empty()) return MissingValue(OptionName(element, c)), std::nullopt;
        options.sources.push_back({Source::Kind::FilesFrom, value});
        break;
      case 'j':
        jobsGiven = true;
        if (!ParseJobs(value, options.jobs)) return BadJobs(value), std::nullopt;
        break;
      case kHash: {
        const auto kind = DigestByName(value);
        if (!kind) {
          UsageError("--hash には md5、sha1、sha256、sha512 のどれかを指定してください: ", value);
          return std::nullopt;
        }
        options.hash = *kind;
        break;
      }
      case ':': return MissingValue(OptionName(element, optopt)), std::nullopt;
      default:
        if (element.substr(0, 2) == "--") {
          LongOptionError(element);
        } else {
          UsageError("不明なオプションです: ", UnknownShortOption(element));
        }
        return std::nullopt;
    }
  }
  // After "--", everything is a path.
  for (int i = optind; i < argc; ++i) options.sources.push_back({Source::Kind::Path, argv[i]});

  if (options.help || options.version) return options;
  const char* conflict = nullptr;
  if (jsonGiven && options.format == Format::Csv) conflict = "--json と --csv は一緒に指定できません。";
  if (options.format == Format::Csv && options.summary) conflict = "--summary は --csv と一緒に指定できません。";
  if (options.bom && options.format != Format::Csv) conflict = "--bom は --csv と一緒に指定してください。";
  if (options.print0 && options.format != Format::Plain) conflict = "-Z (--print0) は --json、--csv と一緒に指定できません。";
  if (conflict != nullptr) {
    UsageError(conflict);
    return std::nullopt;
  }
  if (options.sources.empty()) {
    UsageError("調べるファイルを指定してください。");
    return std::nullopt;
  }
  if (!jobsGiven) options.jobs = DefaultJobs();
  return options;
}

void PrintVersion() { std::fputs("fyldra3-scan " FYLDRA3_VERSION "\n", stdout); }

// Within 80 columns, a Japanese character taking two.
void PrintHelp() {
  std::fputs(
      "使い方: fyldra3-scan [オプション] [パス...]\n"
      "\n"
      "ファイルの中身から、それを書いた Microsoft Word の版 (6.0、95、97/98、\n"
      "2000)、またはリッチテキスト、テキストファイルかどうかを調べ、パスごとに\n"
      "1 行で示します。結果は、パスを与えた順 (フォルダーの中は下の順) に並びます。\n"
      "\n"
      "  -r, --recursive       フォルダーの中のファイルをすべて調べます (下の階層も)。\n"
      "                        -r がないと、フォルダーは「フォルダーのため調べられ\n"
      "                        ません。」となります。\n"
      "  -z, --archives        アーカイブ (zip、LZH、7z、tar、cpio、ISO 9660、\n"
      "                        cab、RAR、WARC、gzip や xz などで圧縮したもの、\n"
      "                        圧縮しただけのファイル) の中のファイルを 1 つずつ、\n"
      "                        「アーカイブ#中の名前」の 1 行ずつで示します。\n"
      "                        入れ子のアーカイブは 8 段まで開きます。-z がないと、\n"
      "                        アーカイブも 1 つのファイルとして調べます。\n"
      "  -f, --files-from 一覧ファイル\n"
      "                        一覧ファイルに 1 行に 1 つずつ書かれたパスを調べます。\n"
      "                        「-」は標準入力です。何度でも指定でき、コマンド行の\n"
      "                        パスとあわせて、書かれた順に調べます。\n"
      "  -0, --null            一覧ファイルのパスを改行ではなく NUL 文字で区切ります\n"
      "                        (find ... -print0 | fyldra3-scan -0 -f - のように)。\n"
      "  -j, --jobs 数         同時に調べるファイルの数 (1 から 256、既定はこの\n"
      "                        計算機で使えるプロセッサーの数)。出力は数によらず\n"
      "                        同じです。\n"
      "  --summary             最後に、判定ごとの件数と合計を示します。調べられな\n"
      "                        かったものは、あった理由ごとに件数を示します。\n"
      "  --json                結果を JSON Lines で出力します (1 行に 1 つの\n"
      "                        オブジェクト)。--summary の集計は最後の\n"
      "                        {\"summary\": {...}} で、判定と理由の名前 (件数 0 の\n"
      "                        ものも) と \"total\" を持ちます。\n"
      "  --csv                 結果を CSV (RFC 4180、UTF-8、見出し行つき) で出力\n"
      "                        します。列は下の「CSV の列」のとおりです。\n"
      "                        --summary とは一緒に使えません。\n"
      "  --bom                 CSV の先頭に UTF-8 の BOM を付けます。Excel で開く\n"
      "                        CSV には付けてください (ないと Shift_JIS として\n"
      "                        読まれ、文字化けします)。\n"
      "  --hash 方式           ファイルの全バイトのダイジェストを、判定と同じ 1 回\n"
      "                        の読み込みで求めます。方式は md5、sha1、sha256、\n"
      "                        sha512 です。\n"
      "  -Z, --print0          普通の出力で、各行を改行ではなく NUL 文字で終えます\n"
      "                        (改行を含む名前のため。集計の行は改行のままです)。\n"
      "  -h, --help            この説明を表示します。\n"
      "  --version             版を表示します。\n"
      "  --                    これより後ろはすべてパスとして扱います。\n"
      "\n"
      "長いオプションは、ほかと区別できるところまで略せます (--rec など)。\n"
      "値は「--jobs=4」「-j4」のようにも書けます。短いオプションはまとめて\n"
      "書けます (-rZ)。\n"
      "\n"
      "出力 (JSON と CSV):\n"
      "  size は開いたファイルのバイト数、modified は最終更新日時 (ISO 8601、UTC、\n"
      "  秒まで、例 2026-01-31T12:34:56Z) です。--hash のとき、JSON はその方式の\n"
      "  名前 (\"sha256\" など) で、CSV は digest の列に 16 進で示します。\n"
      "\n"
      "判定の根拠 (JSON の \"basis\"、CSV の basis_ の列):\n"
      "  位置はファイルの先頭を 0 とするバイト数です。\n"
      "  tail -c +$((位置+1)) ファイル | head -c 28 で、その文字列が見えます。\n"
      "  RichText   signature は先頭の {\\rtf、offset は 0。\n"
      "  PlainText  chars は調べた先頭の文字数 (500、短いファイルはその長さ)。\n"
      "             最後の文字だけが制御文字のときは、control がその位置です。\n"
      "  NotWord    control は最初の制御文字 (テキストでない理由) の位置。\n"
      "             signature は空です (どの文字列も見つからなかった)。\n"
      "  Word の版  signature は決め手になった文字列、check は決めた検査の番号\n"
      "             (0 は先頭 500 文字、n は n 番目の 2000 文字の区切り)、offset\n"
      "             はその区切りの中で最初に現れた位置。control は NotWord と同じ。\n"
      "\n"
      "CSV の列 (この順。値がないものは空):\n"
      "  path, path_hex (path が UTF-8 でないときだけ、そのバイトの 16 進), size,\n"
      "  modified, verdict, message, basis_chars, basis_control, basis_signature,\n"
      "  basis_check, basis_offset, error (調べられなかった理由の名前), errno,\n"
      "  digest\n"
      "\n"
      "フォルダーの調べ方 (-r):\n"
      "  フォルダーごとに名前をバイト順に並べ、その順に調べます。下のフォルダーは\n"
      "  その名前の位置で中に入り、全部調べてから続きに戻ります。\n"
      "  ファイルへのシンボリックリンクはリンク先を調べます。フォルダーへのリンク\n"
      "  には入りません (同じファイルを二度調べたり、循環したりしないため)。\n"
      "  ただし、コマンド行や一覧ファイルで直接指定したパスは、フォルダーへの\n"
      "  リンクでも中を調べます。\n"
      "  フォルダーの中の FIFO、デバイス、ソケット、フォルダーへのリンクは、\n"
      "  ファイルではないので飛ばします。リンク先のないリンクと、開けない\n"
      "  フォルダーは、調べられなかったものとして 1 行示し、続きを調べます。\n"
      "  使うメモリーはファイルの数によらず、フォルダーの深さと、1 つの\n"
      "  フォルダーの中の名前の数に比例するだけです。\n"
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
