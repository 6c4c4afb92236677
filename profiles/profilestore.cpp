#include "profiles/profilestore.h"

#include "profiles/profilejson.h"
#include "profiles/profilelog.h"
#include "records/genericaircraftname.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {

const QString kDirectoryName = QStringLiteral("effect_profiles");

// Every character but an ASCII letter or digit becomes one '_'; a surrogate pair is one
// character, and so is a lone surrogate.
QString sanitised(const QString& text) {
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        const char16_t u = c.unicode();
        if ((u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9')) {
            out.append(c);
            continue;
        }
        if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
            ++i;
        }
        out.append(QLatin1Char('_'));
    }
    return out;
}

} // namespace

const QString ProfileStore::AnyAircraft = QStringLiteral("*");

QString ProfileStore::sourceName(int source) {
    switch (source) {
    case Telemetry::TELEMETRY_SOURCE_NONE:
        return QStringLiteral("DISABLED");
    case Telemetry::TELEMETRY_SOURCE_MSFS:
        return QStringLiteral("MSFS");
    case Telemetry::TELEMETRY_SOURCE_DCS:
        return QStringLiteral("DCS");
    case Telemetry::TELEMETRY_SOURCE_IL2:
        return QStringLiteral("IL2 SHTURMOVIK");
    case Telemetry::TELEMETRY_SOURCE_CONDOR:
        return QStringLiteral("CONDOR2");
    case Telemetry::TELEMETRY_SOURCE_XPLANE:
        return QStringLiteral("XPLANE");
    default:
        return QStringLiteral("WARTHUNDER");
    }
}

QString ProfileStore::fileName(const EffectsProfileMetadata& m) {
    QString name = m.flight_data_source == Telemetry::TELEMETRY_SOURCE_NONE
                       ? QStringLiteral("GENERIC")
                       : sourceName(m.flight_data_source);
    if (!m.flight_module.isEmpty()) {
        name += QLatin1Char('_') + sanitised(m.flight_module);
    }
    if (!m.comment.isEmpty()) {
        name += QLatin1Char('_') + sanitised(m.comment);
    }
    return name + QStringLiteral(".json");
}

QString ProfileStore::label(const EffectsProfileMetadata& m) {
    QString text;
    if (m.flight_module == AnyAircraft) {
        text = QStringLiteral("Any aircraft ");
    } else if (!m.flight_module.isEmpty()) {
        text = m.flight_module + QLatin1Char(' ');
    } else if (!m.comment.isEmpty()) {
        text = m.comment + QLatin1Char(' ');
    }
    if (!m.comment.isEmpty() && m.comment != m.flight_module) {
        text += QLatin1Char('(') + m.comment + QLatin1Char(')');
    }
    if (m.flight_data_source != Telemetry::TELEMETRY_SOURCE_NONE) {
        text += QLatin1Char('[') + sourceName(m.flight_data_source) + QLatin1Char(']');
    }
    return text;
}

QString ProfileStore::rowText(const EffectsProfileMetadata& m, const QString& fileName) {
    const QString text = label(m);
    return text.trimmed().isEmpty() ? fileName : text;
}

bool ProfileStore::isSafeFileName(const QString& fileName) {
    return !fileName.isEmpty() && !fileName.contains(QLatin1Char('/')) &&
           !fileName.contains(QLatin1Char('\\')) && !fileName.contains(QLatin1String("..")) &&
           !fileName.contains(QChar(u'\0'));
}

ProfileStore::ProfileStore() {
    // The path is made absolute once, so a later change of working directory cannot make
    // the store list or delete elsewhere. A failed creation leaves a handle on a missing
    // directory, which lists nothing and accepts nothing.
    QDir working = QDir::current();
    working.mkdir(kDirectoryName);
    m_directory.setPath(working.absoluteFilePath(kDirectoryName));
}

QString ProfileStore::directoryPath() const {
    return m_directory.absolutePath();
}

void ProfileStore::scan() {
    m_metadata.clear();
    m_entries.clear();

    // Listed in file-name order so that rows with equal labels keep a stable order.
    QStringList names = m_directory.entryList(QDir::Files | QDir::NoSymLinks, QDir::NoSort);
    std::sort(names.begin(), names.end());
    for (const QString& name : std::as_const(names)) {
        EffectsProfile profile;
        load(name, profile);
        m_entries.append(Entry{name, profile.metadata, rowText(profile.metadata, name)});
        m_metadata.insert(name, profile.metadata);
    }
    // Stable, so that equal texts stay in file-name order; compared code unit by code unit, as
    // a list view sorts its rows.
    std::stable_sort(m_entries.begin(), m_entries.end(),
                     [](const Entry& a, const Entry& b) { return a.text.compare(b.text) < 0; });
}

QString ProfileStore::save(const EffectsProfile& profile) {
    return save(profile, nullptr, nullptr);
}

QString ProfileStore::save(const EffectsProfile& profile, bool* saved, QString* error) {
    const QString name = fileName(profile.metadata);
    const QString path = m_directory.filePath(name);
    // A link in the profile's place would make the save write wherever it points; the
    // profile replaces the link instead.
    if (QFileInfo(path).isSymLink()) {
        QFile::remove(path);
    }
    QSaveFile file(path);
    const QByteArray bytes = ProfileJson::toDocument(profile);
    // Qt 6.4's commit() renames the temporary even when its own final flush failed (a full
    // disk), so the flush is done and checked here; an unfinished temporary is discarded
    // when the file object goes, and the earlier profile stays as it was.
    QString reason;
    bool ok = false;
    if (!file.open(QIODevice::WriteOnly)) {
        reason = file.errorString();
    } else if (file.write(bytes) != bytes.size() || !file.flush() || file.error() != QFileDevice::NoError) {
        // The system's reason (a full disk, a size limit) is in errno; Qt may not keep it.
        const int code = errno;
        reason = file.errorString();
        if (code != 0 && (reason.isEmpty() || reason == QLatin1String("Unknown error"))) {
            reason = QString::fromLocal8Bit(std::strerror(code));
        }
    } else if (!file.commit()) {
        reason = file.errorString();
    } else {
        ok = true;
    }
    if (!ok && reason.isEmpty()) {
        reason = QStringLiteral("Unknown error");
    }
    if (!ok) {
        ProfileLog::saveFailed(path, reason);
    }
    if (saved) {
        *saved = ok;
    }
    if (error) {
        *error = reason;
    }
    scan();
    return name;
}

void ProfileStore::load(const QString& fileName, EffectsProfile& profile) const {
    QByteArray bytes;
    if (isSafeFileName(fileName)) {
        const QString path = m_directory.filePath(fileName);
        const QFileInfo info(path);
        QFile file(path);
        // The size first: reading up to the limit would set aside the limit's worth of memory
        // for every profile, however small.
        if (info.isFile() && !info.isSymLink() && info.size() <= MaxProfileBytes &&
            file.open(QIODevice::ReadOnly)) {
            bytes = file.readAll();
            if (bytes.size() > MaxProfileBytes) {
                bytes.clear();
            }
        }
    }
    ProfileLog::loaded(m_directory, fileName, bytes, MaxProfileBytes);
    ProfileJson::fromDocument(bytes, profile);
}

void ProfileStore::remove(const QString& fileName) {
    if (isSafeFileName(fileName)) {
        m_directory.remove(fileName);
    }
    scan();
}

int ProfileStore::rowOf(const QString& fileName) const {
    // The file's own row wins over one whose name differs only in case: on a case-sensitive
    // file system both files can exist, and the other row would load or delete the wrong one.
    int caseFolded = -1;
    for (int row = 0; row < m_entries.size(); ++row) {
        const QString& name = m_entries.at(row).fileName;
        if (name == fileName) {
            return row;
        }
        if (caseFolded < 0 && name.compare(fileName, Qt::CaseInsensitive) == 0) {
            caseFolded = row;
        }
    }
    return caseFolded;
}

QString ProfileStore::autoSelect(Telemetry::Source source, const QString& flightModule) const {
    const QString own = ownProfile(source, flightModule);
    if (!own.isEmpty()) {
        ProfileLog::selected(source, flightModule, own, own);
        return own;
    }
    // A profile made while the game named no aircraft keeps serving once it names them.
    const QString generic = genericAircraftName(source);
    const QString genericProfile = generic.isEmpty() ? QString() : ownProfile(source, generic);
    const QString chosen = genericProfile.isEmpty() ? gameDefault(source) : genericProfile;
    ProfileLog::selected(source, flightModule, own, chosen);
    return chosen;
}

QString ProfileStore::gameDefault(Telemetry::Source source) const {
    return ownProfile(source, AnyAircraft);
}

QString ProfileStore::ownProfile(Telemetry::Source source, const QString& flightModule) const {
    if (source == Telemetry::TELEMETRY_SOURCE_NONE) {
        return QString();
    }
    for (auto it = m_metadata.cbegin(); it != m_metadata.cend(); ++it) {
        if (it->flight_data_source == source && it->flight_module == flightModule) {
            return it.key();
        }
    }
    return QString();
}
