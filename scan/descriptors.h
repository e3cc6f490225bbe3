// The process's file descriptors, shared between the folders a walk keeps
// open and the files being examined, so that running short of them makes
// the walk wait instead of making files fail.
#pragma once

#include <cerrno>
#include <cstddef>
#include <functional>

namespace fyldra3::scan::descriptors {

// Shares out what the descriptor limit leaves beside those open now, less a
// few spare. Until called, nothing waits.
void Share();

// Takes one for a folder, waiting while folders that others hold (files
// still to be written) will give theirs back. `ownHeld`: folders the caller
// holds itself (the walk's open path), which it would wait for in vain; with
// no others to wait for it takes one beyond the share, and opening may fail.
// At least one is always left for files. `beforeWaiting`, when given, is
// called (without the lock) before any wait.
void TakeForFolder(std::size_t ownHeld, const std::function<void()>& beforeWaiting = {});
// Takes one for a file, waiting while other files hold theirs.
void TakeForFile();
void GiveFolder();
void GiveFile();

// For a call that failed with EMFILE or ENFILE nonetheless (descriptors
// opened by something else, or a limit too low to work with): waits until a
// descriptor is given back and says whether to try again. Gives up after a
// second without one, after some tries, and at once after any give-up.
bool WaitToRetry(int& tries);

// Records that a file or folder could not be opened for want of descriptors.
void NoteShortage() noexcept;
bool ShortageSeen() noexcept;

inline bool OutOfDescriptors(int error) noexcept { return error == EMFILE || error == ENFILE; }

// Calls `open` (a descriptor, or -1 and errno) again while descriptors run short.
template <class Open>
int OpenRetrying(Open open) {
  for (int tries = 0;;) {
    const int fd = open();
    if (fd >= 0) return fd;
    const int error = errno;
    if (!OutOfDescriptors(error)) return fd;
    if (!WaitToRetry(tries)) {
      NoteShortage();
      errno = error;
      return fd;
    }
  }
}

}  // namespace fyldra3::scan::descriptors
