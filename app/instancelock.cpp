#include "app/instancelock.h"

#include <QDir>
#include <QLockFile>
#include <QStandardPaths>

QString instanceLockPath() {
    QString directory = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (directory.isEmpty()) {
        directory = QStandardPaths::writableLocation(QStandardPaths::TempLocation);
    }
    return QDir(directory).filePath(QStringLiteral("grovik-trennal.lock"));
}

bool tryInstanceLock(QLockFile& lock) {
    // The program holds its lock for hours: only a dead owner makes a lock stale, never age.
    lock.setStaleLockTime(0);
    return lock.tryLock(0);
}
