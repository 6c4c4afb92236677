#include "setup/configfileeditor.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace {
QString freeBackupPath(const QString& path) {
    const QString base = path + QStringLiteral(".grovik-trennal.bak");
    QString candidate = base;
    for (int n = 1; QFileInfo::exists(candidate); ++n) {
        candidate = base + QLatin1Char('.') + QString::number(n);
    }
    return candidate;
}
} // namespace

ConfigFileEditor::Result ConfigFileEditor::apply(const QString& path, const Transform& transform,
                                                 bool createIfMissing) {
    Result result;
    const QString shown = QDir::toNativeSeparators(path);
    const QFileInfo info(path);
    const bool exists = info.exists();
    QString original;
    if (exists) {
        QFile file(path);
        if (!info.isFile() || !file.open(QIODevice::ReadOnly)) {
            result.message = QStringLiteral("Cannot read %1; nothing changed.").arg(shown);
            return result;
        }
        original = QString::fromLatin1(file.readAll());
    } else if (!createIfMissing) {
        result.message = QStringLiteral("%1 does not exist; nothing changed.").arg(shown);
        return result;
    }

    const ConfigEdit edit = transform(original);
    result.notes = edit.notes;
    if (exists && edit.text == original) {
        result.ok = true;
        result.message = QStringLiteral("%1 is already set up; nothing changed.").arg(shown);
        return result;
    }
    // The owner's write bit counts even for a user who could write anyway: a file made
    // read-only was made so on purpose (often to keep the game from rewriting it).
    if (exists && (!info.isWritable() || !(info.permissions() & QFileDevice::WriteOwner))) {
        result.message =
            QStringLiteral("%1 is read-only; nothing changed. Make it writable and run this again.")
                .arg(shown);
        return result;
    }
    if (exists) {
        result.backupPath = freeBackupPath(path);
        if (!QFile::copy(path, result.backupPath)) {
            result.message = QStringLiteral("Cannot back up %1 to %2; nothing changed.")
                                 .arg(shown, QDir::toNativeSeparators(result.backupPath));
            result.backupPath.clear();
            return result;
        }
    }
    QSaveFile file(path);
    const QByteArray bytes = edit.text.toLatin1();
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        if (!result.backupPath.isEmpty()) {
            QFile::remove(result.backupPath);
            result.backupPath.clear();
        }
        result.message =
            QStringLiteral("Cannot write %1 (%2); nothing changed.").arg(shown, file.errorString());
        return result;
    }
    result.ok = true;
    result.changed = true;
    result.message = exists ? QStringLiteral("Updated %1 (the old file is kept as %2).")
                                  .arg(shown, QDir::toNativeSeparators(result.backupPath))
                            : QStringLiteral("Created %1.").arg(shown);
    return result;
}
