// fyldra3-scan -z on archives made by the archivers people use, around the
// real documents in tests/data, and on archives written byte by byte where
// no tool writes what is needed (Shift_JIS names, an unknown method, depth).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace {

namespace fs = std::filesystem;
const fs::path kData = FYLDRA3_TEST_DATA;

const std::string kWord6 = "Microsoft Word 6.0 ファイルです。";
const std::string kWord95 = "Microsoft Word 95 ファイルです。";
const std::string kWord97 = "Microsoft Word 97/98 ファイルです。";
const std::string kWord2000 = "Microsoft Word 2000 ファイルです。";
const std::string kRtf = "リッチテキスト(rtf)ファイルです。";
const std::string kText = "テキストファイルと思われます。";
const std::string kNotWord = "Word 6.0、95、97/98、2000　のファイルではありません。";
const std::string kUnread = "読み込めませんでした。";
const std::string kEncrypted = "暗号化されているため調べられません。";

struct Output {
  int status = -1;
  std::string out;
};

// fyldra3-scan with `args`, run in `dir`; standard output collected.
Output Scan(const fs::path& dir, const std::vector<std::string>& args) {
  int out[2];
  if (pipe(out) != 0) return {};
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(out[1], 1);
    close(out[0]);
    close(out[1]);
    const int null = open("/dev/null", O_RDWR);
    dup2(null, 0);
    dup2(null, 2);
    if (chdir(dir.c_str()) != 0) _exit(127);
    std::vector<char*> argv{const_cast<char*>(FYLDRA3_SCAN)};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(FYLDRA3_SCAN, argv.data());
    _exit(127);
  }
  close(out[1]);
  Output run;
  char buffer[65536];
  for (ssize_t n; (n = read(out[0], buffer, sizeof buffer)) > 0;) run.out.append(buffer, static_cast<std::size_t>(n));
  close(out[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

std::string Quoted(const fs::path& p) {
  std::string q = "'";
  for (const char c : p.string()) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

bool Have(const std::string& tool) { return std::system(("command -v " + tool + " >/dev/null 2>&1").c_str()) == 0; }

// Runs `command` with sh in `dir`; true when it succeeded.
bool Shell(const fs::path& dir, const std::string& command) {
  return std::system(("cd " + Quoted(dir) + " && { " + command + "; } >/dev/null 2>&1").c_str()) == 0;
}

// With stdio: GCC's null-dereference warning misfires on istreambuf_iterator.
std::string Read(const fs::path& p) {
  std::string bytes;
  if (FILE* f = std::fopen(p.c_str(), "rb")) {
    char buffer[65536];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, f)) > 0;) bytes.append(buffer, n);
    std::fclose(f);
  }
  return bytes;
}

void Write(const fs::path& p, const std::string& bytes) { std::ofstream(p, std::ios::binary) << bytes; }

std::uint32_t Crc32(const std::string& bytes) {
  std::uint32_t crc = 0xFFFFFFFFu;
  for (const char c : bytes) {
    crc ^= static_cast<unsigned char>(c);
    for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

void Le(std::string& out, std::uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

struct ZipMember {
  std::string name;  // stored as these bytes, without the UTF-8 flag
  std::string data;
  std::uint16_t method = 0;  // 0: stored; anything else is written as stored bytes under that number
};

// A zip as an old archiver writes it: no data descriptors, no UTF-8 flag.
std::string Zip(const std::vector<ZipMember>& members) {
  std::string out, directory;
  for (const ZipMember& m : members) {
    const auto offset = static_cast<std::uint32_t>(out.size());
    std::string fields;  // from "version needed" to the name length, shared by both headers
    Le(fields, 20, 2);
    Le(fields, 0, 2);  // flags
    Le(fields, m.method, 2);
    Le(fields, 0, 2);
    Le(fields, (18u << 9) | (4u << 5) | 1u, 2);  // 1998-04-01
    Le(fields, Crc32(m.data), 4);
    Le(fields, static_cast<std::uint32_t>(m.data.size()), 4);
    Le(fields, static_cast<std::uint32_t>(m.data.size()), 4);
    Le(fields, static_cast<std::uint32_t>(m.name.size()), 2);
    Le(fields, 0, 2);  // extra length
    out += std::string("PK\3\4", 4) + fields + m.name + m.data;
    directory += std::string("PK\1\2", 4);
    Le(directory, 20, 2);  // made by MS-DOS
    directory += fields;
    Le(directory, 0, 2);  // comment
    Le(directory, 0, 2);  // disk
    Le(directory, 0, 2);  // internal attributes
    Le(directory, 0x20, 4);
    Le(directory, offset, 4);
    directory += m.name;
  }
  const auto at = static_cast<std::uint32_t>(out.size());
  out += directory + std::string("PK\5\6", 4);
  Le(out, 0, 4);
  Le(out, static_cast<std::uint32_t>(members.size()), 2);
  Le(out, static_cast<std::uint32_t>(members.size()), 2);
  Le(out, static_cast<std::uint32_t>(directory.size()), 4);
  Le(out, at, 4);
  Le(out, 0, 2);
  return out;
}

std::string Doc(const char* name) { return Read(kData / name); }

class ScanDir : public testing::Test {
 protected:
  void SetUp() override {
    std::string name = (fs::path(testing::TempDir()) / "fyldra3-archive-XXXXXX").string();
    ASSERT_NE(mkdtemp(name.data()), nullptr);
    dir_ = name;
    docs_ = dir_ / "docs";
    fs::create_directory(docs_);
    for (const char* doc : {"Bug60942.doc", "TestMickey.doc", "simple.doc", "TestGermanWord90.doc", "lorem-ipsum.rtf",
                            "lorem-ipsum.txt"}) {
      fs::copy_file(kData / doc, docs_ / doc);
    }
  }
  void TearDown() override { fs::remove_all(dir_); }
  fs::path dir_, docs_;
};

// One archive and the lines fyldra3-scan -z gives for it.
struct Case {
  const char* archive;
  std::vector<std::string> tools;
  // Makes the archive in the test's folder (the documents are in docs/).
  std::function<bool(const fs::path& dir)> make;
  std::vector<std::string> lines;  // "MEMBER: message", after "ARCHIVE#"; or a whole line starting with '='
};

std::string Sjis(const char* utf8);

const std::vector<Case>& Cases() {
  static const std::vector<Case> cases = {
      {"deflated.zip", {"zip"}, [](const fs::path& d) {
         return Shell(d / "docs", "zip -q ../deflated.zip simple.doc TestMickey.doc lorem-ipsum.txt");
       }, {"simple.doc: " + kWord97, "TestMickey.doc: " + kWord95, "lorem-ipsum.txt: " + kText}},
      {"stored.zip", {"zip"}, [](const fs::path& d) {
         return Shell(d / "docs", "zip -q -0 ../stored.zip Bug60942.doc lorem-ipsum.rtf");
       }, {"Bug60942.doc: " + kWord6, "lorem-ipsum.rtf: " + kRtf}},
      {"docs.7z", {"7z"}, [](const fs::path& d) {
         return Shell(d / "docs", "7z a -bd ../docs.7z TestGermanWord90.doc simple.doc");
       }, {"TestGermanWord90.doc: " + kWord2000, "simple.doc: " + kWord97}},
      {"docs.tar.gz", {"tar", "gzip"}, [](const fs::path& d) {
         return Shell(d / "docs", "tar czf ../docs.tar.gz TestMickey.doc lorem-ipsum.rtf");
       }, {"TestMickey.doc: " + kWord95, "lorem-ipsum.rtf: " + kRtf}},
      {"docs.tar.bz2", {"tar", "bzip2"}, [](const fs::path& d) {
         return Shell(d / "docs", "tar cjf ../docs.tar.bz2 Bug60942.doc");
       }, {"Bug60942.doc: " + kWord6}},
      {"docs.tar.xz", {"tar", "xz"}, [](const fs::path& d) {
         return Shell(d / "docs", "tar cJf ../docs.tar.xz simple.doc");
       }, {"simple.doc: " + kWord97}},
      {"docs.tar.zst", {"tar", "zstd"}, [](const fs::path& d) {
         return Shell(d / "docs", "tar --zstd -cf ../docs.tar.zst TestGermanWord90.doc");
       }, {"TestGermanWord90.doc: " + kWord2000}},
      {"docs.cpio", {"cpio"}, [](const fs::path& d) {
         return Shell(d / "docs", "printf 'simple.doc\\nlorem-ipsum.txt\\n' | cpio -o -H newc --quiet > ../docs.cpio");
       }, {"simple.doc: " + kWord97, "lorem-ipsum.txt: " + kText}},
      {"docs.iso", {"genisoimage"}, [](const fs::path& d) {
         return Shell(d, "mkdir -p cd/sub && cp docs/simple.doc cd/ && cp docs/TestMickey.doc cd/sub/ && "
                         "genisoimage -quiet -R -J -o docs.iso cd");
       }, {"simple.doc: " + kWord97, "sub/TestMickey.doc: " + kWord95}},
      {"docs.cab", {"gcab"}, [](const fs::path& d) {
         return Shell(d / "docs", "gcab -c -z ../docs.cab Bug60942.doc lorem-ipsum.rtf");
       }, {"Bug60942.doc: " + kWord6, "lorem-ipsum.rtf: " + kRtf}},
      {"lorem-ipsum.rtf.gz", {"gzip"}, [](const fs::path& d) {
         return Shell(d, "gzip -c docs/lorem-ipsum.rtf > lorem-ipsum.rtf.gz");
       }, {"lorem-ipsum.rtf: " + kRtf}},
      {"TestMickey.doc.bz2", {"bzip2"}, [](const fs::path& d) {
         return Shell(d, "bzip2 -c docs/TestMickey.doc > TestMickey.doc.bz2");
       }, {"TestMickey.doc: " + kWord95}},
      {"simple.doc.xz", {"xz"}, [](const fs::path& d) {
         return Shell(d, "xz -c docs/simple.doc > simple.doc.xz");
       }, {"simple.doc: " + kWord97}},
      {"docs.lzh", {}, [](const fs::path& d) {  // made once: tests/data/make_docs_lzh.py
         fs::copy_file(kData / "docs.lzh", d / "docs.lzh");
         return true;
       }, {"lorem-ipsum.txt: " + kText, "文書.doc: " + kWord95}},
      {"docs.warc", {}, [](const fs::path& d) {
         const std::string doc = Doc("simple.doc");
         Write(d / "docs.warc", "WARC/1.0\r\nWARC-Type: resource\r\nWARC-Target-URI: http://example.com/simple.doc\r\n"
                                "WARC-Date: 2000-01-01T00:00:00Z\r\nContent-Type: application/msword\r\n"
                                "Content-Length: " + std::to_string(doc.size()) + "\r\n\r\n" + doc + "\r\n\r\n");
         return true;
       }, {"simple.doc: " + kWord97}},
      {"sjis.zip", {}, [](const fs::path& d) {  // as zipped on Japanese Windows: code page 932 names, no UTF-8 flag
         Write(d / "sjis.zip", Zip({{Sjis("文書.doc"), Doc("TestMickey.doc")},
                                    {Sjis("テスト/書類.txt"), Doc("lorem-ipsum.txt")},
                                    {"\xFF\xFE.doc", Doc("simple.doc")}}));
         return true;
       }, {"文書.doc: " + kWord95, "テスト/書類.txt: " + kText, "\uFFFD\uFFFD.doc: " + kWord97}},
      {"encrypted.zip", {"zip"}, [](const fs::path& d) {
         return Shell(d / "docs", "zip -q -P secret ../encrypted.zip simple.doc && zip -q ../encrypted.zip lorem-ipsum.txt");
       }, {"simple.doc: " + kEncrypted, "lorem-ipsum.txt: " + kText}},
      {"unknown-method.zip", {}, [](const fs::path& d) {
         Write(d / "unknown-method.zip", Zip({{"a.doc", Doc("simple.doc"), 97}, {"b.doc", Doc("TestMickey.doc")}}));
         return true;
       }, {"a.doc: " + kUnread, "b.doc: " + kWord95}},
      {"truncated.zip", {"zip"}, [](const fs::path& d) {  // cut in the second member
         if (!Shell(d / "docs", "zip -q -0 ../whole.zip Bug60942.doc simple.doc")) return false;
         Write(d / "truncated.zip", Read(d / "whole.zip").substr(0, 30000));
         fs::remove(d / "whole.zip");
         return true;
       }, {"Bug60942.doc: " + kWord6, "simple.doc: " + kUnread}},
      {"encrypted.7z", {"7z"}, [](const fs::path& d) {
         return Shell(d / "docs", "7z a -bd -psecret ../encrypted.7z simple.doc");
       }, {"simple.doc: " + kEncrypted}},
      {"hidden-names.7z", {"7z"}, [](const fs::path& d) {  // even the names are encrypted
         return Shell(d / "docs", "7z a -bd -psecret -mhe=on ../hidden-names.7z simple.doc");
       }, {"=hidden-names.7z: " + kEncrypted}},
      {"damaged.tar.gz", {}, [](const fs::path& d) {
         Write(d / "damaged.tar.gz", std::string("\x1f\x8b\x08\x00\x00\x00\x00\x00\x00\x03", 10) + std::string(2000, 'x'));
         return true;
       }, {"=damaged.tar.gz: " + kUnread}},
      {"nested.zip", {"zip"}, [](const fs::path& d) {
         fs::copy_file(kData / "docs.lzh", d / "docs" / "inner.lzh");
         return Shell(d / "docs", "zip -q -0 stored.zip simple.doc && zip -q ../nested.zip stored.zip inner.lzh");
       }, {"stored.zip#simple.doc: " + kWord97, "inner.lzh#lorem-ipsum.txt: " + kText, "inner.lzh#文書.doc: " + kWord95}},
  };
  return cases;
}

std::string Sjis(const char* utf8) {
  static const std::pair<std::string, std::string> kTable[] = {
      {"文", "\x95\xB6"}, {"書", "\x8F\x91"}, {"テ", "\x83\x65"}, {"ス", "\x83\x58"}, {"ト", "\x83\x67"}, {"類", "\x97\xDE"}};
  std::string in = utf8, out;
  for (std::size_t i = 0; i < in.size();) {
    bool found = false;
    for (const auto& [u, s] : kTable) {
      if (in.compare(i, u.size(), u) == 0) {
        out += s;
        i += u.size();
        found = true;
        break;
      }
    }
    if (!found) out += in[i++];
  }
  return out;
}

class ArchiveTable : public ScanDir, public testing::WithParamInterface<std::size_t> {};

TEST_P(ArchiveTable, EachMemberGetsTheLineItsLooseCopyGets) {
  const Case& c = Cases()[GetParam()];
  for (const std::string& tool : c.tools) {
    if (!Have(tool)) GTEST_SKIP() << tool << " is not installed (./setup.sh --test installs it)";
  }
  ASSERT_TRUE(c.make(dir_)) << c.archive;
  std::string expected;
  for (const std::string& line : c.lines) {
    expected += line[0] == '=' ? line.substr(1) + "\n" : std::string(c.archive) + "#" + line + "\n";
  }
  const Output r = Scan(dir_, {"-z", c.archive});
  EXPECT_EQ(r.out, expected) << c.archive;
  const bool failures = expected.find(kUnread) != std::string::npos || expected.find(kEncrypted) != std::string::npos;
  EXPECT_EQ(r.status, failures ? 1 : 0) << c.archive;
  // Without -z the archive is one file, as before.
  const Output plain = Scan(dir_, {c.archive});
  EXPECT_EQ(plain.out.rfind(std::string(c.archive) + ": ", 0), 0u) << plain.out;
  EXPECT_EQ(std::count(plain.out.begin(), plain.out.end(), '\n'), 1) << plain.out;
}

INSTANTIATE_TEST_SUITE_P(Archives, ArchiveTable, testing::Range<std::size_t>(0, Cases().size()),
                         [](const testing::TestParamInfo<std::size_t>& row) {
                           std::string name;
                           for (const char ch : std::string(Cases()[row.param].archive)) {
                             name += std::isalnum(static_cast<unsigned char>(ch)) ? ch : '_';
                           }
                           return name;
                         });

// Zips inside zips, each holding the next; the innermost holds a document.
std::string Nest(int levels) {
  std::string bytes = Zip({{"simple.doc", Doc("simple.doc")}});
  for (int i = levels; i >= 2; --i) bytes = Zip({{"z" + std::to_string(i) + ".zip", bytes}});
  return bytes;
}

TEST_F(ScanDir, NestingOpenedToEightLevelsThenClassifiedAsAFile) {
  Write(dir_ / "z1.zip", Nest(8));
  Output r = Scan(dir_, {"-z", "z1.zip"});
  EXPECT_EQ(r.out, "z1.zip#z2.zip#z3.zip#z4.zip#z5.zip#z6.zip#z7.zip#z8.zip#simple.doc: " + kWord97 + "\n");
  EXPECT_EQ(r.status, 0);

  Write(dir_ / "z1.zip", Nest(9));
  Write(dir_ / "z9.zip", Zip({{"simple.doc", Doc("simple.doc")}}));
  const Output loose = Scan(dir_, {"z9.zip"});  // the verdict the innermost zip gets as a file
  ASSERT_EQ(loose.out.rfind("z9.zip: ", 0), 0u);
  const std::string verdict = loose.out.substr(8, loose.out.size() - 9);
  r = Scan(dir_, {"-z", "z1.zip"});
  EXPECT_EQ(r.out, "z1.zip#z2.zip#z3.zip#z4.zip#z5.zip#z6.zip#z7.zip#z8.zip#z9.zip: " + verdict +
                       " (アーカイブの入れ子が深すぎるため、中は調べていません)\n");
  r = Scan(dir_, {"-z", "--json", "z1.zip"});
  EXPECT_NE(r.out.find(", \"depth_reached\": true}"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("\"member\": \"z9.zip\""), std::string::npos) << r.out;
}

TEST_F(ScanDir, JsonNamesEachPartAndKeepsTheBytes) {
  const std::string sjis = Zip({{Sjis("文書.doc"), Doc("TestMickey.doc")}});
  Write(dir_ / "outer.zip", Zip({{Sjis("テスト.zip"), sjis}, {"x.zip", std::string("PK\3\4", 4) + std::string(40, 'x')}}));
  const Output r = Scan(dir_, {"-z", "--json", "outer.zip"});
  const std::string hex1 = "8365835883672e7a6970", hex2 = "95b68f912e646f63";  // テスト.zip, 文書.doc
  const std::string first = "{\"path\": \"outer.zip#テスト.zip#文書.doc\", \"path_hex\": \"6f757465722e7a697023" + hex1 +
                            "23" + hex2 + "\", \"container\": [\"outer.zip\", \"テスト.zip\"], \"container_hex\": "
                            "[\"6f757465722e7a6970\", \"" + hex1 + "\"], \"member\": \"文書.doc\", \"member_hex\": \"" +
                            hex2 + "\", \"verdict\": \"Word95\", \"message\": \"" + kWord95 + "\", \"size\": 12288, ";
  ASSERT_EQ(r.out.substr(0, first.size()), first);
  // A damaged archive inside: its own line, libarchive's words as the detail.
  const std::string second = r.out.substr(r.out.find('\n') + 1);
  EXPECT_EQ(second.rfind("{\"path\": \"outer.zip#x.zip\", \"container\": [\"outer.zip\"], \"member\": \"x.zip\", "
                         "\"error\": \"read_error\", \"message\": \"" + kUnread + "\", \"detail\": \"", 0), 0u)
      << second;
  EXPECT_EQ(std::count(second.begin(), second.end(), '\n'), 1);

  // CSV: the same columns as a loose file's, the path and its bytes first.
  const Output csv = Scan(dir_, {"-z", "--csv", "outer.zip"});
  const std::size_t header = csv.out.find('\n') + 1;
  EXPECT_EQ(csv.out.substr(header).rfind("outer.zip#テスト.zip#文書.doc,6f757465722e7a697023" + hex1 + "23" + hex2 + ",12288,", 0), 0u)
      << csv.out;
  const auto commas = [](std::string_view line) { return std::count(line.begin(), line.end(), ','); };
  EXPECT_EQ(commas(std::string_view(csv.out).substr(0, header)), commas(std::string_view(csv.out).substr(header, csv.out.find('\n', header) - header)));
}

TEST_F(ScanDir, MemberDigestIsTheDigestOfItsBytes) {
  Write(dir_ / "a.zip", Zip({{"m.doc", Doc("TestMickey.doc")}}));
  const auto digest = [](const std::string& json) {
    const std::size_t at = json.find("\"sha256\": \"");
    return at == std::string::npos ? std::string() : json.substr(at + 11, 64);
  };
  const std::string member = digest(Scan(dir_, {"-z", "--json", "--hash", "sha256", "a.zip"}).out);
  EXPECT_EQ(member.size(), 64u);
  EXPECT_EQ(member, digest(Scan(dir_, {"--json", "--hash", "sha256", "docs/TestMickey.doc"}).out));
}

TEST_F(ScanDir, WalkListsMembersInPlaceSameForAnyJobsAndCountsThem) {
  // Three archives of 700 members each (more than a slot queues at once) among loose files.
  for (const char* name : {"a.zip", "c.zip", "e.zip"}) {
    std::vector<ZipMember> members;
    for (int i = 0; i < 700; ++i) {
      members.push_back({"m" + std::to_string(i) + (i % 2 ? ".doc" : ".txt"),
                         i % 2 ? Doc("simple.doc") : "text " + std::to_string(i) + "\n"});
    }
    Write(dir_ / "docs" / name, Zip(members));
  }
  Write(dir_ / "docs" / "b.txt", "plain\n");
  const Output one = Scan(dir_, {"-r", "-z", "--summary", "-j", "1", "docs"});
  EXPECT_EQ(one.status, 0);
  std::vector<std::string> lines;
  for (std::size_t at = 0, end; (end = one.out.find('\n', at)) != std::string::npos; at = end + 1) {
    lines.push_back(one.out.substr(at, end - at));
  }
  ASSERT_GT(lines.size(), 2107u);
  EXPECT_EQ(lines[0], "docs/Bug60942.doc: " + kWord6);
  EXPECT_EQ(lines[3], "docs/a.zip#m0.txt: " + kText);
  EXPECT_EQ(lines[4], "docs/a.zip#m1.doc: " + kWord97);
  EXPECT_EQ(lines[703], "docs/b.txt: " + kText);
  EXPECT_EQ(lines[704], "docs/c.zip#m0.txt: " + kText);
  EXPECT_EQ(lines[2104], "docs/lorem-ipsum.rtf: " + kRtf);
  EXPECT_NE(one.out.find("  合計: 2107 件 (調べられた 2107 件、調べられなかった 0 件)\n"), std::string::npos);
  for (const char* jobs : {"-j2", "-j5", "-j32"}) {
    const Output many = Scan(dir_, {"-r", "-z", "--summary", jobs, "docs"});
    EXPECT_TRUE(many.out == one.out) << jobs;
  }
}

}  // namespace
