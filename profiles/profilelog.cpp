#include "profiles/profilelog.h"

#include "records/gamename.h"
#include "records/logcategories.h"

#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonParseError>

namespace ProfileLog {

void loaded(const QDir& directory, const QString& fileName, const QByteArray& bytes, qint64 maxBytes) {
    const QString path = directory.filePath(fileName);
    QString why;
    if (bytes.isEmpty()) {
        const QFileInfo info(path);
        if (!info.exists()) {
            why = QStringLiteral("it does not exist");
        } else if (info.isSymLink()) {
            why = QStringLiteral("it is a symbolic link, which profiles never follow");
        } else if (!info.isFile()) {
            why = QStringLiteral("it is not a plain file");
        } else if (info.size() > maxBytes) {
            why = QStringLiteral("it holds %1 bytes, more than any profile").arg(info.size());
        } else if (info.size() > 0) {
            why = QStringLiteral("it cannot be read");
        } else {
            why = QStringLiteral("it is empty");
        }
    } else {
        QJsonParseError error{};
        const QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
        if (error.error != QJsonParseError::NoError) {
            why = QStringLiteral("it is not JSON (%1 at byte %2)").arg(error.errorString()).arg(error.offset);
        } else if (!document.isObject()) {
            why = QStringLiteral("its JSON is not an object");
        } else {
            return;
        }
    }
    qCWarning(lcProfiles).noquote() << "Profile" << QDir::toNativeSeparators(path)
                                    << "reads as the default profile:" << why;
}

void saveFailed(const QString& path, const QString& reason) {
    qCWarning(lcProfiles).noquote() << "Profile" << QDir::toNativeSeparators(path)
                                    << "could not be saved:" << reason;
}

void selected(Telemetry::Source source, const QString& aircraft, const QString& own, const QString& chosen) {
    const QString name = QStringLiteral("%1 aircraft \"%2\"").arg(gameName(source), aircraft);
    if (chosen.isEmpty()) {
        qCInfo(lcProfiles).noquote() << name << "has no profile and its game no default one";
    } else {
        qCInfo(lcProfiles).noquote() << name << "flies with" << chosen
                                     << (own.isEmpty() ? "(its game's default profile)"
                                                       : "(its own profile)");
    }
}

} // namespace ProfileLog
