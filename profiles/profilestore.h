#pragma once

#include "records/effectsprofile.h"
#include "records/effectsprofilemetadata.h"
#include "records/telemetry.h"

#include <QDir>
#include <QMap>
#include <QString>
#include <QVector>

// The "effect_profiles" directory under the working directory: names profile files after
// their metadata, lists them with their metadata, saves, loads and deletes them, and picks
// the profile that matches a telemetry stream. Views show the list through a model of their own.
// GUI thread only; nothing here blocks for longer than reading the directory's files.
//
// File names never leave the directory: saved names are built from letters, digits and
// '_' only, load() and remove() refuse names holding '/', '\\' or "..", and symbolic
// links are neither listed nor loaded, and are replaced rather than followed on save.
class ProfileStore {
public:
    // One listed file: its name, its metadata and the text its row shows.
    struct Entry {
        QString fileName;
        EffectsProfileMetadata metadata;
        QString text;
    };

    // Files larger than this are no profile and read as the default one.
    static constexpr qint64 MaxProfileBytes = 16 * 1024 * 1024;
    // The flight module of a game's default profile: it serves every aircraft of its game
    // that has no profile of its own. No game reports an aircraft by this name.
    static const QString AnyAircraft;

    static QString sourceName(int source); // "DISABLED","MSFS",...; other -> "WARTHUNDER"
    static QString
    fileName(const EffectsProfileMetadata& m);             // "MSFS_DR400_Ecoflyer.json", "GENERIC.json" ...
    static QString label(const EffectsProfileMetadata& m); // "DR400 (aerobatic)[MSFS]" ...
    // The row text of a file: its label, else its file name, so that no row is blank.
    static QString rowText(const EffectsProfileMetadata& m, const QString& fileName);
    // True for a plain name inside the directory: not empty, no '/', '\\', ".." or NUL.
    static bool isSafeFileName(const QString& fileName);

    ProfileStore(); // directory handle on the working directory; creates "effect_profiles" if missing

    // Rebuilds entries() and metadata() from the directory's regular, non-hidden files
    // (any extension; symbolic links excluded), rows sorted by label, ties by file name.
    void scan();
    // Replaces the profile's file atomically (a temporary file renamed over it, so a crash
    // or a full disk leaves the earlier file whole), then rescans. Returns the file name.
    QString save(const EffectsProfile& profile);
    // As above; *saved tells whether the file was written and, when it was not, *error says
    // why in the system's words (for example "No space left on device").
    QString save(const EffectsProfile& profile, bool* saved, QString* error = nullptr);
    // Reads the file into the profile, overwriting every field; default profile on any failure.
    void load(const QString& fileName, EffectsProfile& profile) const;
    // Deletes the file (only ever inside "effect_profiles"), then rescans.
    void remove(const QString& fileName);
    // Row in entries() of the file, matched ignoring case unless a row has exactly that
    // name; -1 if none.
    int rowOf(const QString& fileName) const;
    // The first file, in file-name order, whose source and flight module both equal the
    // given ones exactly; empty for source 0 or when nothing matches.
    QString ownProfile(Telemetry::Source source, const QString& flightModule) const;
    // The first file, in file-name order, of the game's default profile (flight module "*");
    // empty for source 0 or when the game has none.
    QString gameDefault(Telemetry::Source source) const;
    // The profile an aircraft flies with: its own, else the one for its game's generic aircraft
    // ("Generic warbird" for IL-2, records/genericaircraftname.h), else its game's default; empty
    // for none of them.
    QString autoSelect(Telemetry::Source source, const QString& flightModule) const;

    // Absolute path of the profile directory, fixed when the store is built.
    QString directoryPath() const;

    // The files of the last scan, sorted by row text, ties by file name.
    const QVector<Entry>& entries() const { return m_entries; }
    // The metadata of the last scan, by file name.
    const QMap<QString, EffectsProfileMetadata>& metadata() const { return m_metadata; }

private:
    QDir m_directory;
    QVector<Entry> m_entries;
    QMap<QString, EffectsProfileMetadata> m_metadata;
};
