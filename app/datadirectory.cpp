#include "app/datadirectory.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

namespace {
const QString ProfilesDirectory = QStringLiteral("effect_profiles");
const QString IconFile = QStringLiteral("grovik_logo_icon_inverted.png");
} // namespace

QString DataDirectory::choose(const QString& requested, const QString& current, const QString& standard) {
    if (!requested.isEmpty()) {
        return QDir(current).absoluteFilePath(requested);
    }
    if (QFileInfo(QDir(current).filePath(ProfilesDirectory)).isDir()) {
        return current;
    }
    return standard;
}

bool DataDirectory::enter(const QString& requested, QString* error) {
    const QString standard = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    const QString chosen = QDir::cleanPath(choose(requested, QDir::currentPath(), standard));
    if (chosen.isEmpty()) {
        *error = QStringLiteral("No per-user data directory is known; give one with --data-dir DIR.");
        return false;
    }
    QDir dir(chosen);
    if (!dir.mkpath(ProfilesDirectory) || !QDir::setCurrent(chosen)) {
        *error = QStringLiteral("Cannot create or enter the data directory ") + chosen;
        return false;
    }
    // An installed program finds its window icon beside the shared files of its prefix.
    if (!QFileInfo::exists(IconFile)) {
        const QString installed =
            QCoreApplication::applicationDirPath() + QStringLiteral("/../share/grovik-trennal/") + IconFile;
        if (QFileInfo::exists(installed)) {
            QFile::copy(installed, IconFile);
        }
    }
    return true;
}
