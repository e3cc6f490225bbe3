// One path on its way through the scanner.
#pragma once

#include <unistd.h>

#include <memory>
#include <optional>
#include <string>

#include "descriptors.h"
#include "fyldra3/classify_file.h"

namespace fyldra3::scan {

// An open folder of a recursive walk. Files found in it are examined
// relative to its descriptor, so paths of any length work and a folder
// renamed meanwhile does not matter. Closed when the last file found in it
// has been written. Holds one of the descriptors shared out for folders.
struct Directory {
  Directory(int descriptor, std::string shownPath) : fd(descriptor), path(std::move(shownPath)) {}
  Directory(const Directory&) = delete;
  Directory& operator=(const Directory&) = delete;
  ~Directory() {
    ::close(fd);
    descriptors::GiveFolder();
  }

  int fd;
  std::string path;  // as shown: the operating system's bytes
};

struct Item {
  std::string path;                      // as shown, and as opened when `dir` is empty
  std::shared_ptr<const Directory> dir;  // when set, the file is `name` in it
  std::string name;
  std::optional<Outcome> preset;  // a failure found before examining (an unreadable folder)
  bool regular = false;           // the walk listed `name` as a regular file, not a link
};

// Receives the items in output order. Emit returns false when the run is
// being stopped (the output cannot be written); the caller then stops too.
class Sink {
 public:
  virtual ~Sink() = default;
  virtual bool Emit(Item&& item) = 0;
  // The source may be slow to give the next item: hand over any held back.
  virtual void HandOver() {}
};

}  // namespace fyldra3::scan
