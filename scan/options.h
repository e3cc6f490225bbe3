// The command line of fyldra3-scan.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "digest.h"

namespace fyldra3::scan {

enum class Format { Plain, Json, Csv };

// Where paths come from, in command-line order.
struct Source {
  enum class Kind { Path, FilesFrom };
  Kind kind = Kind::Path;
  // The path, or the list file ("-" for standard input): the operating
  // system's bytes, in argv (not copied: a long argument list is not held twice).
  std::string_view text;
};

struct Options {
  Format format = Format::Plain;
  bool help = false;
  bool recursive = false;  // -r: folders are walked
  bool nulList = false;    // -0: files-from lists are NUL-separated
  bool summary = false;
  bool version = false;
  bool bom = false;     // --bom: a byte-order mark before the CSV
  bool print0 = false;  // -Z: plain lines end in NUL
  bool archives = false;  // -z: archives are listed member by member
  DigestKind hash = DigestKind::None;
  unsigned jobs = 0;  // files examined at once; 0 until parsed, then at least 1
  std::vector<Source> sources;
};

inline constexpr unsigned kMaxJobs = 256;

// The options, or nullopt after printing a usage error to standard error.
std::optional<Options> ParseOptions(int argc, char** argv);

// The number of processors this process may run on.
unsigned DefaultJobs();

void PrintHelp();
void PrintVersion();

}  // namespace fyldra3::scan
