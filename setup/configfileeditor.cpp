#include "setup/configfileeditor.h"

#include "setup/textfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

// A settings file is a few kilobytes; more is not one of the games' files.
constexpr qint64 MaxBytes = 4 * 1024 * 1024;

QString freeBackupPath(const QString& path) {
    const QString base = path + QStringLiteral(".grovik-trennal.bak");
    QString candidate = base;
    for (int n = 1; QFileInfo::exists(candidate); ++n) {
        candidate = base + QLatin1Char('.') + QString::number(n);
    }
    return candidate;
}

// Windows' settings reader takes a UTF-8 byte order mark as part of the first line, so a
// section named there is never found: a line end after the mark moves the section to line 2.
bool sectionOnMarkedLine(const QString& text) {
    return text.left(text.indexOf(QLatin1Char('\n'))).trimmed().startsWith(QLatin1Char('['));
}

} // namespace

ConfigFileEditor::Result ConfigFileEditor::apply(const QString& path, const Transform& transform,
                                                 bool createIfMissing) {
    Options options;
    options.createIfMissing = createIfMissing;
    return apply(path, transform, options);
}

ConfigFileEditor::Result ConfigFileEditor::apply(const QString& path, const Transform& transform,
                                                 const Options& options) {
    Result result;
    const QString shown = QDir::toNativeSeparators(path);
    const QFileInfo info(path);
    const bool exists = info.exists();
    QString original;
    TextFile::Encoding encoding = TextFile::Encoding::Bytes;
    if (exists) {
        QFile file(path);
        if (!info.isFile() || !file.open(QIODevice::ReadOnly)) {
            result.message = QStringLiteral("Cannot read %1; nothing changed.").arg(shown);
            return result;
        }
        const QByteArray bytes = file.read(MaxBytes + 1);
        if (bytes.size() > MaxBytes) {
            result.message = QStringLiteral("%1 is larger than %2 MiB, too large for a settings file; "
                                            "nothing changed.")
                                 .arg(shown)
                                 .arg(MaxBytes / (1024 * 1024));
            return result;
        }
        const TextFile::Decoded decoded = TextFile::decode(bytes);
        if (!decoded.error.isEmpty()) {
            result.message = QStringLiteral("Cannot edit %1: %2; nothing changed. Save it as UTF-8 and run "
                                            "this again.")
                                 .arg(shown, decoded.error);
            return result;
        }
        encoding = decoded.encoding;
        if (!options.readsUtf16 &&
            (encoding == TextFile::Encoding::Utf16Le || encoding == TextFile::Encoding::Utf16Be)) {
            result.message = QStringLiteral("%1 is saved as %2, which %3 cannot read; nothing changed. Save "
                                            "it as UTF-8 and run this again.")
                                 .arg(shown, TextFile::encodingName(encoding), options.reader);
            return result;
        }
        original = decoded.text;
    } else if (!options.createIfMissing) {
        result.message = QStringLiteral("%1 does not exist; nothing changed.").arg(shown);
        return result;
    }
    if (options.check) {
        const QString refusal = options.check(original);
        if (!refusal.isEmpty()) {
            result.message = QStringLiteral("%1: %2; nothing changed.").arg(shown, refusal);
            return result;
        }
    }

    QString start = original;
    if (encoding == TextFile::Encoding::Utf8Bom && sectionOnMarkedLine(original)) {
        start.prepend(original.contains(QStringLiteral("\r\n")) ? QStringLiteral("\r\n")
                                                                : QStringLiteral("\n"));
        result.notes << QStringLiteral("Added a line end after the byte order mark, so that Windows reads "
                                       "the first section.");
    }
    const ConfigEdit edit = transform(start);
    result.notes << edit.notes;
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
            // A copy cut short by a full disk is no backup.
            QFile::remove(result.backupPath);
            result.backupPath.clear();
            return result;
        }
    }
    QString reason;
    if (!TextFile::write(path, TextFile::encode(edit.text, encoding), &reason)) {
        if (!result.backupPath.isEmpty()) {
            QFile::remove(result.backupPath);
            result.backupPath.clear();
        }
        result.message = QStringLiteral("Cannot write %1 (%2); nothing changed.").arg(shown, reason);
        return result;
    }
    result.ok = true;
    result.changed = true;
    result.message = exists ? QStringLiteral("Updated %1 (the old file is kept as %2).")
                                  .arg(shown, QDir::toNativeSeparators(result.backupPath))
                            : QStringLiteral("Created %1.").arg(shown);
    return result;
}
