#pragma once

#include <QString>

class QLockFile;

// One program per device pair: the lock file lives in the user's runtime directory (the
// temporary directory where there is none). QLockFile takes over a lock whose process is gone.

// The path of the lock file, "grovik-trennal.lock" in that directory.
QString instanceLockPath();
// Takes the lock at once or fails; a lock of a crashed instance does not count.
bool tryInstanceLock(QLockFile& lock);
