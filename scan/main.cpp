// fyldra3-scan: prints the verdict for each path, one line each, in order.
#include <cstdio>
#include <string>

#include "fyldra3/classify_file.h"
#include "options.h"
#include "output.h"

int main(int argc, char** argv) {
  using namespace fyldra3;
  const auto options = scan::ParseOptions(argc, argv);
  if (!options) return 2;
  if (options->help) {
    scan::PrintHelp();
    return 0;
  }
  bool allExamined = true;
  std::string line;
  for (const std::string& path : options->paths) {
    const Outcome outcome = ClassifyFile(path);
    allExamined = allExamined && outcome.Examined();
    line.clear();
    scan::AppendLine(line, options->format, path, outcome);
    std::fwrite(line.data(), 1, line.size(), stdout);
  }
  return std::fflush(stdout) == 0 && allExamined ? 0 : 1;
}
