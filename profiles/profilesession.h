#pragma once

#include "profiles/profilestore.h"
#include "records/effectsprofile.h"
#include "records/effectssettings.h"
#include "records/telemetry.h"

#include <QObject>
#include <QSet>
#include <QString>

#include <optional>

// The profile being edited and what belongs to it: the file it was loaded from or last saved
// to, whether it has unsaved edits, the edits set aside when a stream chose another profile,
// and the aircraft flying now, for which a profile is chosen automatically. Every change the
// control loop must apply leaves as a copy of the three axes' settings: a sudden change (an
// effect added, a profile loaded: the loop cross-fades to it) or a moderate one (a value tuned,
// an effect removed, a source that drops effects, a deleted profile). The profile's source
// decides which effect types each axis may use; the others stay off.
//
// Editors show the profile and change it only through the session; questions to the user
// (save? replace? rename?) are theirs, the session only does what they decide.
//
// Threading: GUI thread only. selectProfileFor() and endStream() are reached by queued
// connections from the control loop. Nothing blocks for longer than the store's file work.
class ProfileSession : public QObject {
    Q_OBJECT

public:
    enum class Change { Sudden, Moderate };

    // Works on the "effect_profiles" directory under the working directory, listed at once.
    explicit ProfileSession(QObject* parent = nullptr);

    // The EffectsProfile::EffectType values an axis (0 ailerons, 1 elevator, 2 rudder) offers
    // for a telemetry source.
    static QSet<int> enabledEffects(int source, int axis);
    // Whether any effect of any axis is switched on: a profile without one gives no forces.
    static bool anyEffectActive(const EffectsSettings& settings);

    const EffectsProfile& profile() const { return profile_; }
    const ProfileStore& store() const { return store_; }
    // The file the profile was loaded from or last saved to; empty for none.
    QString loadedFileName() const { return loadedFile_; }
    bool hasUnsavedChanges() const { return unsaved_; }
    bool canRestoreSetAside() const { return setAside_.has_value(); }
    // The set-aside edits and the file they belong to; null and empty when none are.
    const EffectsProfile* setAsideProfile() const { return setAside_ ? &setAside_->profile : nullptr; }
    QString setAsideFileName() const { return setAside_ ? setAside_->fileName : QString(); }
    QString setAsideName() const { return setAside_ ? setAside_->name : QString(); }
    // The aircraft flying now; no source when none.
    Telemetry::Source aircraftSource() const { return aircraftSource_; }
    QString aircraftModule() const { return aircraftModule_; }
    // How the user knows the profile: its list label, else its file name, else "new profile".
    QString profileName() const;
    // "No profile for A-10C: it flies with ..." while an aircraft without a profile of its own
    // flies; empty otherwise.
    QString aircraftNotice() const { return notice_; }

    // The settings of one axis (0..2; others are held to that range) for an editor to write
    // into. The editor reports each write with edited().
    AxisEffectsSettings& axisForEditing(int axis);
    // An edit of the effects was made: the profile is unsaved and the loop gets the change.
    void edited(Change change);
    void setComment(const QString& comment);
    void setFlightModule(const QString& flightModule);
    // Effects the new source does not offer go off and stop acting on the stick now.
    void setSource(int source);

    // Reads the directory again.
    void rescan();
    // Reads the file into the profile and sends it as a sudden change.
    void load(const QString& fileName);
    // Writes the profile to the file its name gives; on success removes `replacing` (a renamed
    // profile's old file) unless it is the same file, and the profile is saved. On failure
    // *error says why and nothing else changes.
    bool save(const QString& replacing, QString* error);
    // Deletes the file and empties the session: unsaved edits go with it, the forces fade.
    void remove(const QString& fileName);
    // Puts a profile made by the editor (from the aircraft flying, say) in the session, unsaved.
    void startFrom(const EffectsProfile& profile, Change change);
    // Writes the set-aside edits to their own file and drops them; false and *error on failure.
    bool saveSetAside(QString* error);
    void discardSetAside();
    // Brings back the set-aside edits, asking nothing: the editor settled its own edits first.
    void restoreSetAside();
    // A note for the status bar from an editor.
    void tell(const QString& text) { emit statusMessage(text); }

public slots:
    // Loads the profile the aircraft flies with: its own, else its game's generic aircraft's,
    // else its game's default. Nothing is loaded for no source, when none exists, or when the
    // match is the profile already loaded or the loaded profile is the aircraft's own: a stream
    // that resumes keeps its forces and its edits. Unsaved edits of a profile that goes are set
    // aside. An aircraft without a profile of its own is announced.
    void selectProfileFor(Telemetry::Source source, const QString& flightModule);
    // The stream ended: no aircraft flies any more.
    void endStream();

signals:
    void suddenValueChange(EffectsSettings settings);
    void moderateValueChange(EffectsSettings settings);
    // Another profile is in the session (loaded, emptied, restored, made): editors show it anew.
    void profileReplaced();
    // The list of stored profiles changed.
    void profilesListed();
    void unsavedChangesChanged(bool unsaved);
    void setAsideChanged(bool available);
    // A stream started or ended; an empty module for none or an aircraft without a name.
    void aircraftChanged(Telemetry::Source source, const QString& flightModule);
    void aircraftNoticeChanged(const QString& text);
    // A short note for the window's status bar, about the profile or the aircraft flying.
    void statusMessage(const QString& text);
    // Another profile is in the editor, or the line about the aircraft flying changed: notes
    // about the one before no longer hold.
    void profileChanged();

private:
    struct SetAside {
        EffectsProfile profile;
        QString fileName;
        QString name;
    };

    // Switches off the effects the profile's source does not offer; true when one was on.
    bool applyEnabledEffects();
    void setUnsaved(bool unsaved);
    void send(Change change);
    void markEdited();
    QString noticeText() const;
    void updateNotice();

    ProfileStore store_;
    EffectsProfile profile_;
    QString loadedFile_;
    bool unsaved_ = false;
    std::optional<SetAside> setAside_;
    Telemetry::Source aircraftSource_ = Telemetry::TELEMETRY_SOURCE_NONE;
    QString aircraftModule_;
    QString notice_;
};
