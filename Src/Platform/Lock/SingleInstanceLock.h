// Keeps a second copy of the program out of the user's session: an exclusive, non-blocking
// flock on a lock file in $XDG_RUNTIME_DIR (or the temp folder, with the user id in the name).
// The kernel drops the lock when the process ends, however it ends, so a killed copy never
// blocks the next start. Needs no display and no Qt object, so it can run first thing.
#pragma once

#include <string>

enum class TInstanceLockResult {
    Acquired,      // this process is the only instance; the lock is held until it ends
    HeldByAnother, // another process holds the lock
    Unavailable,   // no lock file could be opened or locked; the caller may go on
};

// The lock file for a name: "$XDG_RUNTIME_DIR/<name>.lock" when XDG_RUNTIME_DIR is set, else
// "<temp>/<name>-<uid>.lock" with temp from TMPDIR or /tmp.
std::string InstanceLockPath(const std::string& name);

// Takes the lock for name. On success the descriptor stays open (close-on-exec) for the rest of
// the process's life; calling again after success returns Acquired without a second file.
TInstanceLockResult AcquireInstanceLock(const std::string& name);
