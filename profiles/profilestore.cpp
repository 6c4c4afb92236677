#include "profiles/profilestore.h"

#include "profiles/profilejson.h"
#include "profiles/profilelog.h"
#include "records/genericaircraftname.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardItem>
#include <QStandardItemModel>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {

const QString kDirectoryName = QStringLiteral("effect_profiles");

QMap<QString, EffectsProfileMetadata>& metadataStorage() {
    static QMap<QString, EffectsProfileMetadata> map;
    return map;
}

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

QStandardItemModel* ProfileStore::listModel() {
    // Lives until the process ends, like the combo box that shows it.
    static QStandardItemModel* model = new QStandardItemModel(0, 1);
    return model;
}

const QMap<QString, EffectsProfileMetadata>& ProfileStore::metadataMap() {
    return metadataStorage();
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
    QMap<QString, EffectsProfileMetadata>& map = metadataStorage();
    QStandardItemModel* model = listModel();
    map.clear();
    model->removeRows(0, model->rowCount());
    if (model->columnCount() != 1) {
        model->setColumnCount(1);
    }

    // Listed in file-name order so that rows with equal labels keep a stable order.
    QStringList names = m_directory.entryList(QDir::Files | QDir::NoSymLinks, QDir::NoSort);
    std::sort(names.begin(), names.end());
    for (const QString& name : std::as_const(names)) {
        EffectsProfile profile;
        load(name, profile);
        auto* item = new QStandardItem(rowText(profile.metadata, name));
        item->setData(name, FileNameRole);
        model->appendRow(item);
        map.insert(name, profile.metadata);
    }
    model->sort(0, Qt::AscendingOrder);
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
    const QStandardItemModel* model = listModel();
    int caseFolded = -1;
    for (int row = 0; row < model->rowCount(); ++row) {
        const QString name = model->item(row)->data(FileNameRole).toString();
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
    const QMap<QString, EffectsProfileMetadata>& map = metadataStorage();
    for (auto it = map.cbegin(); it != map.cend(); ++it) {
        if (it->flight_data_source == source && it->flight_module == flightModule) {
            return it.key();
        }
    }
    return QString();
}
