#pragma once

#include <QString>

class QLockFile;

// One program per device pair: the lock file lives in the user's own runtime directory
// (XDG_RUNTIME_DIR), or where there is none in the user's cache directory, never in a
// temporary directory other users can write to. QLockFile takes over a lock whose process is gone.

// The path of the lock file, "grovik-trennal.lock" in that directory.
QString instanceLockPath();
// Takes the lock at once or fails; a lock of a crashed instance does not count. On failure,
// *problem says why: "Grovik Trennal is already running." when a live instance holds it, else
// what failed (a directory that cannot be written, a lock file that cannot be read).
bool tryInstanceLock(QLockFile& lock, QString* problem);
