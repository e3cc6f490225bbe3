// The command line of fyldra3-scan.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace fyldra3::scan {

enum class Format { Plain, Json };

struct Options {
  Format format = Format::Plain;
  bool help = false;
  std::vector<std::string> paths;  // as given: the operating system's bytes
};

// The options, or nullopt after printing a usage error to standard error.
std::optional<Options> ParseOptions(int argc, char** argv);

void PrintHelp();

}  // namespace fyldra3::scan
