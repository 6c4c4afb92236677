#include "profiles/profilesession.h"

#include <QDir>
#include <QFileInfo>

bool ProfileSession::anyEffectActive(const EffectsSettings& settings) {
    for (const AxisEffectsSettings& axis : settings.axes) {
        for (int type = 0; type < EffectsProfile::EffectTypeCount; ++type) {
            if (axis.effect(type)->active) {
                return true;
            }
        }
    }
    return false;
}

ProfileSession::ProfileSession(QObject* parent) : QObject(parent) {
    profile_.resetToDefaults();
    store_.scan();
}

QSet<int> ProfileSession::enabledEffects(int source, int axis) {
    using P = EffectsProfile;
    QSet<int> set;
    switch (source) {
    case Telemetry::TELEMETRY_SOURCE_MSFS:
        // SimConnect passes no DirectX effects through.
        set = {P::EFFECT_TYPE_NATURAL_AIRFLOW,
               P::EFFECT_TYPE_SIMPLE_SPRING,
               P::EFFECT_TYPE_ELEVATOR_WEIGHT,
               P::EFFECT_TYPE_LANDING_JOLT,
               P::EFFECT_TYPE_AOA_SHAKER,
               P::EFFECT_TYPE_EXTENDED_GEAR_SHAKER,
               P::EFFECT_TYPE_EXTENDED_FLAPS_SHAKER,
               P::EFFECT_TYPE_EXTENDED_AIRBRAKES_SHAKER,
               P::EFFECT_TYPE_ON_GROUND_ROLLING_SHAKER,
               P::EFFECT_TYPE_SMART_DAMPER,
               P::EFFECT_TYPE_TRIM_FOLLOWING};
        break;
    case Telemetry::TELEMETRY_SOURCE_WARTHUNDER:
    default:
        // A source this program does not know is named and listed as War Thunder, so it
        // offers War Thunder's effects too.
        set = {P::EFFECT_TYPE_NATURAL_AIRFLOW,
               P::EFFECT_TYPE_SIMPLE_SPRING,
               P::EFFECT_TYPE_ELEVATOR_WEIGHT,
               P::EFFECT_TYPE_DIRECT_X_FFB,
               P::EFFECT_TYPE_AOA_SHAKER,
               P::EFFECT_TYPE_EXTENDED_GEAR_SHAKER,
               P::EFFECT_TYPE_EXTENDED_FLAPS_SHAKER,
               P::EFFECT_TYPE_EXTENDED_AIRBRAKES_SHAKER,
               P::EFFECT_TYPE_SMART_DAMPER};
        break;
    case Telemetry::TELEMETRY_SOURCE_XPLANE:
        // X-Plane's own force-feedback output passes through as DirectX effects; touch-downs come
        // from its on-ground value like every game's; it reports its three trims.
        set = {P::EFFECT_TYPE_NATURAL_AIRFLOW,
               P::EFFECT_TYPE_SIMPLE_SPRING,
               P::EFFECT_TYPE_ELEVATOR_WEIGHT,
               P::EFFECT_TYPE_LANDING_JOLT,
               P::EFFECT_TYPE_DIRECT_X_FFB,
               P::EFFECT_TYPE_AOA_SHAKER,
               P::EFFECT_TYPE_EXTENDED_GEAR_SHAKER,
               P::EFFECT_TYPE_EXTENDED_FLAPS_SHAKER,
               P::EFFECT_TYPE_EXTENDED_AIRBRAKES_SHAKER,
               P::EFFECT_TYPE_ON_GROUND_ROLLING_SHAKER,
               P::EFFECT_TYPE_SMART_DAMPER,
               P::EFFECT_TYPE_TRIM_FOLLOWING};
        break;
    case Telemetry::TELEMETRY_SOURCE_CONDOR:
        set = {P::EFFECT_TYPE_NATURAL_AIRFLOW, P::EFFECT_TYPE_SIMPLE_SPRING,
               P::EFFECT_TYPE_ELEVATOR_WEIGHT, P::EFFECT_TYPE_DIRECT_X_FFB,
               P::EFFECT_TYPE_AOA_SHAKER,      P::EFFECT_TYPE_EXTENDED_FLAPS_SHAKER,
               P::EFFECT_TYPE_SMART_DAMPER};
        break;
    case Telemetry::TELEMETRY_SOURCE_NONE:
    case Telemetry::TELEMETRY_SOURCE_DCS:
    case Telemetry::TELEMETRY_SOURCE_IL2:
        for (int type = P::EFFECT_TYPE_NATURAL_AIRFLOW; type <= P::EFFECT_TYPE_ON_GROUND_ROLLING_SHAKER;
             ++type) {
            set.insert(type);
        }
        set.insert(P::EFFECT_TYPE_SMART_DAMPER);
        // The hand-set record has trims; DCS and IL-2 send their own trimmed spring.
        if (source == Telemetry::TELEMETRY_SOURCE_NONE) {
            set.insert(P::EFFECT_TYPE_TRIM_FOLLOWING);
        }
        break;
    }
    // The elevator's weight only pulls on the pitch axis.
    if (axis != 1) {
        set.remove(P::EFFECT_TYPE_ELEVATOR_WEIGHT);
    }
    return set;
}

AxisEffectsSettings& ProfileSession::axisForEditing(int axis) {
    return profile_.effects.axes[axis < 0 ? 0 : (axis > 2 ? 2 : axis)];
}

bool ProfileSession::applyEnabledEffects() {
    bool switchedOff = false;
    for (int axis = 0; axis < 3; ++axis) {
        const QSet<int> enabled = enabledEffects(profile_.metadata.flight_data_source, axis);
        for (int type = 0; type < EffectsProfile::EffectTypeCount; ++type) {
            SimpleEffectSettings* effect = profile_.effects.axes[axis].effect(type);
            if (!enabled.contains(type)) {
                switchedOff = switchedOff || effect->active;
                effect->resetToDefaults();
            }
        }
    }
    return switchedOff;
}

void ProfileSession::setUnsaved(bool unsaved) {
    if (unsaved_ != unsaved) {
        unsaved_ = unsaved;
        emit unsavedChangesChanged(unsaved);
    }
}

void ProfileSession::send(Change change) {
    if (change == Change::Sudden) {
        emit suddenValueChange(profile_.effects);
    } else {
        emit moderateValueChange(profile_.effects);
    }
}

void ProfileSession::markEdited() {
    setUnsaved(true);
    // The line says whether the aircraft flies with forces at all.
    if (aircraftSource_ != Telemetry::TELEMETRY_SOURCE_NONE) {
        updateNotice();
    }
}

void ProfileSession::edited(Change change) {
    markEdited();
    send(change);
}

void ProfileSession::setComment(const QString& comment) {
    profile_.metadata.comment = comment;
    markEdited();
}

void ProfileSession::setFlightModule(const QString& flightModule) {
    profile_.metadata.flight_module = flightModule;
    markEdited();
}

void ProfileSession::setSource(int source) {
    profile_.metadata.flight_data_source = static_cast<Telemetry::Source>(source);
    const bool switchedOff = applyEnabledEffects();
    markEdited();
    if (switchedOff) {
        send(Change::Moderate);
    }
}

QString ProfileSession::profileName() const {
    QString name = ProfileStore::label(profile_.metadata).trimmed();
    if (!loadedFile_.isEmpty()) {
        const auto& map = store_.metadata();
        const auto it = map.constFind(loadedFile_);
        name = it != map.cend() ? ProfileStore::label(*it).trimmed() : QString();
        if (name.isEmpty()) {
            name = loadedFile_;
        }
    }
    return name.isEmpty() ? tr("new profile") : name;
}

void ProfileSession::rescan() {
    store_.scan();
    emit profilesListed();
}

void ProfileSession::load(const QString& fileName) {
    store_.load(fileName, profile_);
    loadedFile_ = fileName;
    // The source's effect set applies before the copy leaves, so the loop gets what is shown.
    applyEnabledEffects();
    emit profileReplaced();
    setUnsaved(false);
    send(Change::Sudden);
    updateNotice();
    emit profileChanged();
}

bool ProfileSession::save(const QString& replacing, QString* error) {
    const QString fileName = ProfileStore::fileName(profile_.metadata);
    const QDir directory(store_.directoryPath());
    bool saved = false;
    store_.save(profile_, &saved, error);
    if (saved && !replacing.isEmpty() &&
        QFileInfo(directory.filePath(replacing)).canonicalFilePath() !=
            QFileInfo(directory.filePath(fileName)).canonicalFilePath()) {
        // Only a file that is not the one just written goes: two names can be one file where
        // case does not count.
        store_.remove(replacing);
    }
    if (saved) {
        loadedFile_ = fileName;
    }
    emit profilesListed();
    if (saved) {
        setUnsaved(false);
    }
    updateNotice();
    return saved;
}

void ProfileSession::remove(const QString& fileName) {
    store_.remove(fileName);
    profile_.resetToDefaults();
    loadedFile_.clear();
    emit profilesListed();
    emit profileReplaced();
    setUnsaved(false);
    // The removed profile's effects stop acting on the stick now.
    send(Change::Moderate);
    updateNotice();
    emit profileChanged();
}

void ProfileSession::startFrom(const EffectsProfile& profile, Change change) {
    profile_ = profile;
    loadedFile_.clear();
    applyEnabledEffects();
    emit profileReplaced();
    setUnsaved(true);
    send(change);
}

bool ProfileSession::saveSetAside(QString* error) {
    if (!setAside_) {
        return true;
    }
    bool saved = false;
    store_.save(setAside_->profile, &saved, error);
    emit profilesListed();
    if (saved) {
        discardSetAside();
    }
    return saved;
}

void ProfileSession::discardSetAside() {
    if (setAside_) {
        setAside_.reset();
        emit setAsideChanged(false);
    }
}

void ProfileSession::restoreSetAside() {
    if (!setAside_) {
        return;
    }
    const SetAside restored = *setAside_;
    setAside_.reset();
    emit setAsideChanged(false);
    profile_ = restored.profile;
    loadedFile_ = restored.fileName;
    applyEnabledEffects();
    emit profileReplaced();
    setUnsaved(true);
    send(Change::Sudden);
    updateNotice();
    emit profileChanged();
    emit statusMessage(tr("Unsaved changes of the profile \"%1\" restored.").arg(restored.name));
}

void ProfileSession::selectProfileFor(Telemetry::Source source, const QString& flightModule) {
    if (source == Telemetry::TELEMETRY_SOURCE_NONE) {
        endStream();
        return;
    }
    aircraftSource_ = source;
    aircraftModule_ = flightModule;
    emit aircraftChanged(source, flightModule);

    // The same aircraft again (a stream that resumed) keeps the profile in the editor, the
    // forces the loop has and any unsaved edits, even when the user chose that profile by hand
    // among several made for the aircraft.
    QString setAsideNote;
    const auto& stored = store_.metadata();
    const auto loaded = stored.constFind(loadedFile_);
    const bool resumed = loaded != stored.cend() && loaded->flight_data_source == source &&
                         loaded->flight_module == flightModule;
    const QString fileName = resumed ? QString() : store_.autoSelect(source, flightModule);
    if (!fileName.isEmpty() && fileName != loadedFile_) {
        if (unsaved_) {
            const QString name = profileName();
            setAside_ = SetAside{profile_, loadedFile_, name};
            emit setAsideChanged(true);
            setAsideNote = tr("Unsaved changes of the profile \"%1\" were set aside; Edit > Restore unsaved "
                              "changes brings them back.")
                               .arg(name);
        }
        load(fileName);
    }
    updateNotice();
    QStringList message;
    if (!notice_.isEmpty()) {
        message << notice_;
    }
    if (!setAsideNote.isEmpty()) {
        message << setAsideNote;
    }
    if (!message.isEmpty()) {
        emit statusMessage(message.join(QLatin1Char(' ')));
    }
}

void ProfileSession::endStream() {
    aircraftSource_ = Telemetry::TELEMETRY_SOURCE_NONE;
    aircraftModule_.clear();
    emit aircraftChanged(aircraftSource_, aircraftModule_);
    updateNotice();
}

QString ProfileSession::noticeText() const {
    if (aircraftSource_ == Telemetry::TELEMETRY_SOURCE_NONE ||
        !store_.ownProfile(aircraftSource_, aircraftModule_).isEmpty()) {
        return QString();
    }
    const QString name = aircraftModule_.isEmpty() ? tr("this aircraft") : aircraftModule_;
    if (loadedFile_.isEmpty()) {
        return anyEffectActive(profile_.effects)
                   ? tr("No profile for %1: it flies with the unsaved settings in the editor.").arg(name)
                   : tr("No profile for %1: it flies without forces.").arg(name);
    }
    if (loadedFile_ == store_.gameDefault(aircraftSource_)) {
        return tr("No profile for %1: it flies with the game's default profile \"%2\".")
            .arg(name, profileName());
    }
    return tr("No profile for %1: it flies with the profile \"%2\".").arg(name, profileName());
}

void ProfileSession::updateNotice() {
    const QString text = noticeText();
    if (text == notice_) {
        return;
    }
    notice_ = text;
    emit aircraftNoticeChanged(text);
    emit profileChanged();
}
