#include "app/instancelock.h"

#include <QDir>
#include <QFileInfo>
#include <QLockFile>
#include <QStandardPaths>

#include <cerrno>
#include <cstring>

QString instanceLockPath() {
    QString directory = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (directory.isEmpty()) {
        directory = QStandardPaths::writableLocation(QStandardPaths::CacheLocation);
    }
    return QDir(directory).filePath(QStringLiteral("grovik-trennal.lock"));
}

bool tryInstanceLock(QLockFile& lock, QString* problem) {
    const QString path = lock.fileName();
    const QString directory = QFileInfo(path).absolutePath();
    const QString cannot = QStringLiteral("Grovik Trennal cannot start: ");
    if (!QDir().mkpath(directory)) {
        *problem = cannot + QStringLiteral("the directory %1 for its lock file cannot be created.")
                                .arg(QDir::toNativeSeparators(directory));
        return false;
    }
    // Anyone could put a lock file, or a link, into a directory every user may write to.
    if (QFileInfo(directory).permissions() & QFileDevice::WriteOther) {
        *problem = cannot + QStringLiteral("the directory %1 for its lock file is writable by every user. "
                                           "Set XDG_RUNTIME_DIR to a directory of your own.")
                                .arg(QDir::toNativeSeparators(directory));
        return false;
    }
    // The program holds its lock for hours: only a dead owner makes a lock stale, never age.
    lock.setStaleLockTime(0);
    errno = 0;
    if (lock.tryLock(0)) {
        return true;
    }
    const int code = errno;
    qint64 pid = 0;
    QString host;
    QString application;
    switch (lock.error()) {
    case QLockFile::LockFailedError:
        if (lock.getLockInfo(&pid, &host, &application)) {
            *problem = QStringLiteral("Grovik Trennal is already running.");
        } else {
            *problem = cannot + QStringLiteral("its lock file %1 exists but cannot be read.")
                                    .arg(QDir::toNativeSeparators(path));
        }
        break;
    case QLockFile::PermissionError:
        *problem = cannot + QStringLiteral("it may not create its lock file in %1 (the directory is "
                                           "read-only or not yours).")
                                .arg(QDir::toNativeSeparators(directory));
        break;
    default:
        *problem = cannot + QStringLiteral("its lock file %1 cannot be written (%2).")
                                .arg(QDir::toNativeSeparators(path),
                                     code != 0 ? QString::fromLocal8Bit(std::strerror(code))
                                               : QStringLiteral("unknown error"));
        break;
    }
    return false;
}
