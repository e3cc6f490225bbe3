// Where the paths come from: the command line, lists, and folder walks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "fyldra3/classify_file.h"
#include "item.h"

namespace fyldra3::scan {

// Sends the item for `path` to the sink. With `recursive`, a folder (or a
// link to one) is walked instead: every regular file under it, each folder's
// names in byte order, depth first; links to files followed, links to
// folders, FIFOs, devices and sockets passed over; a folder that cannot be
// opened or read gets a failure item. Memory is bounded by the depth times
// the largest folder, whatever the number of files. Returns false as soon as
// the sink asks to stop.
bool EmitPath(std::string path, bool recursive, Sink& sink);

// The longest entry of a list: far beyond any path the system can open
// (PATH_MAX is 4096), and memory stays bounded on a list without separators.
inline constexpr std::size_t kMaxListEntry = std::size_t{64} * 1024;

// Reads a list of paths from `fd` to its end: one per line, or NUL-separated
// with `nul`. Empty entries are skipped, the last one needs no separator,
// bytes are kept as they are (a CR before LF included). Calls `each` for
// every path in order; stops when it returns false. An entry longer than
// kMaxListEntry is skipped to its separator, and `tooLong` is told its
// number (the line number; empty entries are counted), once the limit is
// passed; the rest of the list is read. Returns 0, or the errno of a failed read.
int ReadList(int fd, bool nul, const std::function<bool(std::string&&)>& each,
             const std::function<void(std::uint64_t)>& tooLong);

}  // namespace fyldra3::scan
