// One line of output per path.
#pragma once

#include <string>
#include <string_view>

#include "fyldra3/classify_file.h"
#include "options.h"

namespace fyldra3::scan {

// Appends the line for `path` (ending in a newline) to `out`.
void AppendLine(std::string& out, Format format, std::string_view path, const Outcome& outcome);

}  // namespace fyldra3::scan
