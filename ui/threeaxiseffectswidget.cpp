#include "ui/threeaxiseffectswidget.h"

#include "records/effectsprofile.h"
#include "ui_threeaxiseffectswidget.h"

#include <QAbstractSpinBox>
#include <QCompleter>
#include <QDir>
#include <QFileInfo>
#include <QInputDialog>
#include <QLabel>
#include <QPushButton>
#include <QStandardItem>
#include <QStandardItemModel>
#include <QStringListModel>

namespace {

constexpr int SourceCount = Telemetry::SourceCount;
// Percent; the strength of the spring a profile made from nothing starts with.
constexpr float StarterSpringStrength = 50.0f;

bool anyEffectActive(const EffectsSettings& settings) {
    for (const AxisEffectsSettings& axis : settings.axes) {
        for (int type = 0; type < EffectsProfile::EffectTypeCount; ++type) {
            if (axis.effect(type)->active) {
                return true;
            }
        }
    }
    return false;
}

} // namespace

ThreeAxisEffectsWidget::ThreeAxisEffectsWidget(QWidget* parent)
    : QWidget(parent), ui_(std::make_unique<Ui::ThreeAxisEffectsWidget>()), unsavedMarker_(new QLabel(this)),
      detectedModules_(new QStringListModel(this)) {
    ui_->setupUi(this);
    ui_->aircraft_notice->hide();

    // Typing the start of an aircraft seen this run completes its exact name.
    auto* completer = new QCompleter(detectedModules_, this);
    completer->setCaseSensitivity(Qt::CaseInsensitive);
    ui_->flight_module_input->setCompleter(completer);
    ui_->flight_module_input->setPlaceholderText(
        tr("As the game names the aircraft; * for any aircraft of the game"));

    // The unsaved-changes marker sits right after the profile's name, before the buttons.
    unsavedMarker_->setObjectName(QStringLiteral("unsaved_marker"));
    unsavedMarker_->setAccessibleName(tr("Unsaved changes"));
    unsavedMarker_->setToolTip(tr("The profile has unsaved changes"));
    unsavedMarker_->setFixedWidth(unsavedMarker_->fontMetrics().horizontalAdvance(QStringLiteral("**")));
    ui_->gridLayout->removeWidget(ui_->save_profile);
    ui_->gridLayout->removeWidget(ui_->delete_profile);
    ui_->gridLayout->addWidget(unsavedMarker_, 0, 2);
    ui_->gridLayout->addWidget(ui_->save_profile, 0, 3);
    ui_->gridLayout->addWidget(ui_->delete_profile, 0, 4);

    for (int source = 0; source < SourceCount; ++source) {
        ui_->game_combo->addItem(ProfileStore::sourceName(source));
    }
    ui_->profile_combo->setModel(ProfileStore::listModel());

    EffectsProfile& profile = currentEffectsProfile();
    profile.resetToDefaults();
    ui_->ailerons_effects_widget->bind(&profile.effects.axes[0]);
    ui_->elevator_effects_widget->bind(&profile.effects.axes[1]);
    ui_->rudder_effects_widget->bind(&profile.effects.axes[2]);
    checkEnabledEffects();
    readProfiles();
    // A key pressed right after start neither deletes nor loads a profile: the axis tabs
    // take it.
    ui_->tabWidget->setFocus();

    for (AxisEffectsWidget* axis :
         {ui_->ailerons_effects_widget, ui_->elevator_effects_widget, ui_->rudder_effects_widget}) {
        connect(axis, &AxisEffectsWidget::moderateSettingsChange, this, [this] {
            markEdited();
            emit moderateValueChange(currentEffectsProfile().effects);
        });
        connect(axis, &AxisEffectsWidget::suddenSettingsChange, this, [this] {
            markEdited();
            emit suddenValueChange(currentEffectsProfile().effects);
        });
    }
    connect(ui_->profile_comment_input, &QLineEdit::textChanged, this, [this](const QString& text) {
        currentEffectsProfile().metadata.comment = text;
        markEdited();
    });
    connect(ui_->flight_module_input, &QLineEdit::textChanged, this, [this](const QString& text) {
        currentEffectsProfile().metadata.flight_module = text;
        markEdited();
    });
    connect(ui_->game_combo, &QComboBox::currentIndexChanged, this, [this](int index) {
        // -1 only means that the combo shows nothing, for a profile of an unknown source.
        if (index < 0) {
            return;
        }
        currentEffectsProfile().metadata.flight_data_source = static_cast<Telemetry::Source>(index);
        const bool switchedOff = applyEnabledEffects();
        if (redrawing_) {
            return;
        }
        markEdited();
        // Effects the new source does not offer stop acting on the stick now, not at the next edit.
        if (switchedOff) {
            emit moderateValueChange(currentEffectsProfile().effects);
        }
    });
    setUnsaved(false);
}

ThreeAxisEffectsWidget::~ThreeAxisEffectsWidget() = default;

QSet<int> ThreeAxisEffectsWidget::enabledEffects(int source, int axis) {
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

void ThreeAxisEffectsWidget::checkEnabledEffects() {
    applyEnabledEffects();
}

bool ThreeAxisEffectsWidget::applyEnabledEffects() {
    const int source = currentEffectsProfile().metadata.flight_data_source;
    const bool ailerons = ui_->ailerons_effects_widget->setEnabledEffects(enabledEffects(source, 0));
    const bool elevator = ui_->elevator_effects_widget->setEnabledEffects(enabledEffects(source, 1));
    const bool rudder = ui_->rudder_effects_widget->setEnabledEffects(enabledEffects(source, 2));
    return ailerons || elevator || rudder;
}

void ThreeAxisEffectsWidget::redraw() {
    // Showing the profile is no edit of it.
    const bool wasRedrawing = redrawing_;
    redrawing_ = true;
    checkEnabledEffects();
    const EffectsProfileMetadata metadata = currentEffectsProfile().metadata;
    const int source = metadata.flight_data_source;
    ui_->game_combo->setCurrentIndex(source >= 0 && source < SourceCount ? source : -1);
    ui_->profile_comment_input->setText(metadata.comment);
    ui_->flight_module_input->setText(metadata.flight_module);
    redrawing_ = wasRedrawing;
}

void ThreeAxisEffectsWidget::readProfiles() {
    store_.scan();
    ui_->profile_combo->setCurrentIndex(-1);
}

QString ThreeAxisEffectsWidget::fileNameAt(int row) {
    const QStandardItem* item = row >= 0 ? ProfileStore::listModel()->item(row) : nullptr;
    return item ? item->data(ProfileStore::FileNameRole).toString() : QString();
}

void ThreeAxisEffectsWidget::setAsk(Ask ask) {
    ask_ = std::move(ask);
}

void ThreeAxisEffectsWidget::setAskName(AskName askName) {
    askName_ = std::move(askName);
}

QMessageBox::StandardButton
ThreeAxisEffectsWidget::ask(QMessageBox::Icon icon, const QString& text, QMessageBox::StandardButtons buttons,
                            QMessageBox::StandardButton defaultButton,
                            const QList<QPair<QMessageBox::StandardButton, QString>>& buttonTexts) {
    if (ask_) {
        return ask_(icon, text, buttons);
    }
    QMessageBox box(icon, window()->windowTitle(), text, buttons, this);
    if (defaultButton != QMessageBox::NoButton) {
        box.setDefaultButton(defaultButton);
    }
    for (const auto& [button, label] : buttonTexts) {
        if (QAbstractButton* b = box.button(button)) {
            b->setText(label);
        }
    }
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

std::optional<QString> ThreeAxisEffectsWidget::askName(const QString& question, const QString& offered) {
    if (askName_) {
        return askName_(question, offered);
    }
    bool ok = false;
    const QString name =
        QInputDialog::getText(this, window()->windowTitle(), question, QLineEdit::Normal, offered, &ok);
    return ok ? std::optional<QString>(name) : std::nullopt;
}

void ThreeAxisEffectsWidget::setUnsaved(bool unsaved) {
    unsavedMarker_->setText(unsaved ? QStringLiteral("*") : QString());
    if (unsaved_ != unsaved) {
        unsaved_ = unsaved;
        emit unsavedChangesChanged(unsaved);
    }
}

void ThreeAxisEffectsWidget::markEdited() {
    if (!redrawing_) {
        setUnsaved(true);
        // The line says whether the aircraft flies with forces at all.
        if (aircraftSource_ != Telemetry::TELEMETRY_SOURCE_NONE) {
            updateAircraftNotice();
        }
    }
}

QString ThreeAxisEffectsWidget::profileName() const {
    QString name = ProfileStore::label(currentEffectsProfile().metadata).trimmed();
    if (!loadedFile_.isEmpty()) {
        const auto& map = ProfileStore::metadataMap();
        const auto it = map.constFind(loadedFile_);
        name = it != map.cend() ? ProfileStore::label(*it).trimmed() : QString();
        if (name.isEmpty()) {
            name = loadedFile_;
        }
    }
    return name.isEmpty() ? tr("new profile") : name;
}

void ThreeAxisEffectsWidget::commitTypedValues() {
    // A number typed but not yet confirmed (no Enter, the focus still in its box) is an edit
    // the user made: it counts before the profile is left.
    for (QAbstractSpinBox* box : findChildren<QAbstractSpinBox*>()) {
        box->interpretText();
    }
}

bool ThreeAxisEffectsWidget::settleUnsavedChanges() {
    commitTypedValues();
    if (!unsaved_) {
        return true;
    }
    const QMessageBox::StandardButton answer =
        ask(QMessageBox::Warning, tr("The profile \"%1\" has unsaved changes. Save them?").arg(profileName()),
            QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel);
    if (answer == QMessageBox::Save) {
        return saveCurrent();
    }
    return answer == QMessageBox::Discard;
}

bool ThreeAxisEffectsWidget::settleSetAside() {
    if (!setAside_) {
        return true;
    }
    const QMessageBox::StandardButton answer =
        ask(QMessageBox::Warning,
            tr("Unsaved changes of the profile \"%1\" were set aside when another aircraft got its "
               "profile. Save them?")
                .arg(setAside_->name),
            QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel);
    if (answer == QMessageBox::Discard) {
        setAside_.reset();
        emit setAsideChanged(false);
        return true;
    }
    if (answer != QMessageBox::Save) {
        return false;
    }
    // Edits that keep their file are written there directly; the editor and the forces stay as
    // they are. Others (a new profile, a changed name) come back into the editor to be saved
    // with its questions; a cancel there leaves them restored and the window open.
    const QString fileName = ProfileStore::fileName(setAside_->profile.metadata);
    if (!setAside_->fileName.isEmpty() && fileName == setAside_->fileName &&
        !setAside_->profile.metadata.flight_module.trimmed().isEmpty()) {
        bool saved = false;
        QString error;
        store_.save(setAside_->profile, &saved, &error);
        markByFileName(loadedFile_);
        if (!saved) {
            ask(QMessageBox::Critical,
                tr("The profile could not be saved to \"%1\": %2")
                    .arg(QDir(store_.directoryPath()).filePath(fileName), error),
                QMessageBox::Ok);
            return false;
        }
        setAside_.reset();
        emit setAsideChanged(false);
        return true;
    }
    // The edits in the editor were settled (saved or discarded) before this question.
    bringBackSetAside();
    return saveCurrent();
}

void ThreeAxisEffectsWidget::on_profile_combo_activated(int index) {
    const QString fileName = fileNameAt(index);
    if (fileName.isEmpty()) {
        return;
    }
    if (!settleUnsavedChanges()) {
        // The list goes back to the profile that stays in the editor.
        markByFileName(loadedFile_);
        return;
    }
    loadFile(fileName);
}

void ThreeAxisEffectsWidget::loadFile(const QString& fileName) {
    store_.load(fileName, currentEffectsProfile());
    loadedFile_ = fileName;
    markByFileName(fileName);
    // The source's effect set applies before the copy leaves, so the loop gets what is shown.
    redraw();
    setUnsaved(false);
    emit suddenValueChange(currentEffectsProfile().effects);
    updateAircraftNotice();
    emit profileChanged();
}

void ThreeAxisEffectsWidget::on_save_profile_clicked() {
    saveCurrent();
}

bool ThreeAxisEffectsWidget::saveCurrent() {
    // A profile without an aircraft would never be chosen and shows as a nameless row.
    if (currentEffectsProfile().metadata.flight_module.trimmed().isEmpty()) {
        const std::optional<QString> name =
            askName(tr("Which aircraft is this profile for? Type its name as the game reports it, or * for "
                       "every aircraft of the game that has no profile of its own."),
                    aircraftModule_);
        if (!name || name->trimmed().isEmpty()) {
            return false;
        }
        ui_->flight_module_input->setText(*name);
        // The aircraft flying now belongs to the game it flies in.
        if (currentEffectsProfile().metadata.flight_data_source == Telemetry::TELEMETRY_SOURCE_NONE &&
            aircraftSource_ != Telemetry::TELEMETRY_SOURCE_NONE && *name == aircraftModule_) {
            ui_->game_combo->setCurrentIndex(aircraftSource_);
        }
    }
    const QString fileName = ProfileStore::fileName(currentEffectsProfile().metadata);
    const QDir directory(store_.directoryPath());
    const QString path = directory.filePath(fileName);

    // A loaded profile given another name (aircraft, game or comment) moves to another file:
    // the user says whether the old file goes or stays.
    QString renamedFrom;
    if (!loadedFile_.isEmpty() && fileName != loadedFile_ &&
        QFileInfo(directory.filePath(loadedFile_)).isFile()) {
        const QString oldName =
            ProfileStore::rowText(ProfileStore::metadataMap().value(loadedFile_), loadedFile_);
        const QString newName = ProfileStore::label(currentEffectsProfile().metadata).trimmed();
        const QMessageBox::StandardButton answer =
            ask(QMessageBox::Question,
                tr("The profile \"%1\" now has the name \"%2\". Rename it (its file \"%3\" becomes \"%4\") "
                   "or save a copy and keep \"%1\" as it was?")
                    .arg(oldName.trimmed(), newName, loadedFile_, fileName),
                QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, QMessageBox::Yes,
                {{QMessageBox::Yes, tr("Rename")}, {QMessageBox::No, tr("Save a copy")}});
        if (answer == QMessageBox::Cancel || (answer != QMessageBox::Yes && answer != QMessageBox::No)) {
            return false;
        }
        if (answer == QMessageBox::Yes) {
            renamedFrom = loadedFile_;
        }
    }

    // Different names can share one file ("F-16" and "F_16"): another profile's file is only
    // replaced when the user says so.
    if (fileName != loadedFile_ && fileName != renamedFrom && QFileInfo(path).isFile()) {
        const QString owner = ProfileStore::label(ProfileStore::metadataMap().value(fileName)).trimmed();
        const QString question =
            owner.isEmpty()
                ? tr("The file \"%1\" already exists. Replace it with this profile?").arg(fileName)
                : tr("The file \"%1\" already holds the profile \"%2\". Replace it with this profile?")
                      .arg(fileName, owner);
        if (ask(QMessageBox::Question, question, QMessageBox::Yes | QMessageBox::No, QMessageBox::No) !=
            QMessageBox::Yes) {
            return false;
        }
    }
    bool saved = false;
    QString error;
    store_.save(currentEffectsProfile(), &saved, &error);
    ui_->profile_combo->setCurrentIndex(-1);
    if (!saved) {
        markByFileName(loadedFile_);
        ask(QMessageBox::Critical, tr("The profile could not be saved to \"%1\": %2").arg(path, error),
            QMessageBox::Ok);
        updateAircraftNotice();
        return false;
    }
    // Only a file that is not the one just written goes: two names can be one file where
    // case does not count.
    const QString oldPath = directory.filePath(renamedFrom);
    if (!renamedFrom.isEmpty() &&
        QFileInfo(oldPath).canonicalFilePath() != QFileInfo(path).canonicalFilePath()) {
        store_.remove(renamedFrom);
    }
    loadedFile_ = fileName;
    markByFileName(fileName);
    setUnsaved(false);
    updateAircraftNotice();
    return true;
}

void ThreeAxisEffectsWidget::on_delete_profile_clicked() {
    const QString fileName = fileNameAt(ui_->profile_combo->currentIndex());
    if (fileName.isEmpty()) {
        return;
    }
    QString label = ProfileStore::label(ProfileStore::metadataMap().value(fileName)).trimmed();
    if (label.isEmpty()) {
        label = fileName;
    }
    // The editor is emptied after a delete, so unsaved edits go with it: one question says so.
    commitTypedValues();
    QString question = tr("Delete the profile \"%1\" (file \"%2\")?").arg(label, fileName);
    if (unsaved_) {
        question += QLatin1Char(' ') + tr("The unsaved changes in the editor are lost as well.");
    }
    if (ask(QMessageBox::Question, question, QMessageBox::Yes | QMessageBox::No, QMessageBox::No) !=
        QMessageBox::Yes) {
        return;
    }
    store_.remove(fileName);
    readProfiles();
    currentEffectsProfile().resetToDefaults();
    loadedFile_.clear();
    redraw();
    setUnsaved(false);
    // The removed profile's effects stop acting on the stick now.
    emit moderateValueChange(currentEffectsProfile().effects);
    updateAircraftNotice();
    emit profileChanged();
}

void ThreeAxisEffectsWidget::markByFileName(const QString& fileName) {
    const int row = fileName.isEmpty() ? -1 : store_.rowOf(fileName);
    ui_->profile_combo->setCurrentIndex(row);
}

void ThreeAxisEffectsWidget::selectProfileFor(Telemetry::Source source, const QString& flightModule) {
    if (source == Telemetry::TELEMETRY_SOURCE_NONE) {
        endStream();
        return;
    }
    aircraftSource_ = source;
    aircraftModule_ = flightModule;
    if (!flightModule.isEmpty()) {
        QStringList seen = detectedModules_->stringList();
        seen.removeAll(flightModule);
        seen.prepend(flightModule);
        detectedModules_->setStringList(seen);
        ui_->flight_module_input->setPlaceholderText(
            tr("%1 (flying now); * for any aircraft of the game").arg(flightModule));
    }

    // The same aircraft again (a stream that resumed) keeps the profile in the editor, the
    // forces the loop has and any unsaved edits, even when the user chose that profile by hand
    // among several made for the aircraft.
    QString setAsideNote;
    const auto& stored = ProfileStore::metadataMap();
    const auto loaded = stored.constFind(loadedFile_);
    const bool resumed = loaded != stored.cend() && loaded->flight_data_source == source &&
                         loaded->flight_module == flightModule;
    const QString fileName = resumed ? QString() : store_.autoSelect(source, flightModule);
    if (!fileName.isEmpty() && fileName != loadedFile_) {
        if (unsaved_) {
            const QString name = profileName();
            setAside_ = SetAside{currentEffectsProfile(), loadedFile_, name};
            emit setAsideChanged(true);
            setAsideNote = tr("Unsaved changes of the profile \"%1\" were set aside; Edit > Restore unsaved "
                              "changes brings them back.")
                               .arg(name);
        }
        loadFile(fileName);
    }
    updateAircraftNotice();
    QStringList message;
    if (ui_->aircraft_notice->isVisibleTo(this)) {
        message << aircraftNoticeText();
    }
    if (!setAsideNote.isEmpty()) {
        message << setAsideNote;
    }
    if (!message.isEmpty()) {
        emit statusMessage(message.join(QLatin1Char(' ')));
    }
}

void ThreeAxisEffectsWidget::showCentres(ForcesSample sample) {
    ui_->ailerons_effects_widget->showCentre(sample.centre[0]);
    ui_->elevator_effects_widget->showCentre(sample.centre[1]);
    ui_->rudder_effects_widget->showCentre(sample.centre[2]);
}

void ThreeAxisEffectsWidget::endStream() {
    aircraftSource_ = Telemetry::TELEMETRY_SOURCE_NONE;
    aircraftModule_.clear();
    updateAircraftNotice();
}

QString ThreeAxisEffectsWidget::aircraftNoticeText() const {
    const QString name = aircraftModule_.isEmpty() ? tr("this aircraft") : aircraftModule_;
    if (loadedFile_.isEmpty()) {
        return anyEffectActive(currentEffectsProfile().effects)
                   ? tr("No profile for %1: it flies with the unsaved settings in the editor.").arg(name)
                   : tr("No profile for %1: it flies without forces.").arg(name);
    }
    if (loadedFile_ == store_.gameDefault(aircraftSource_)) {
        return tr("No profile for %1: it flies with the game's default profile \"%2\".")
            .arg(name, profileName());
    }
    return tr("No profile for %1: it flies with the profile \"%2\".").arg(name, profileName());
}

void ThreeAxisEffectsWidget::updateAircraftNotice() {
    const bool without = aircraftSource_ != Telemetry::TELEMETRY_SOURCE_NONE &&
                         store_.ownProfile(aircraftSource_, aircraftModule_).isEmpty();
    const bool lineChanged = without != ui_->aircraft_notice->isVisibleTo(this) ||
                             (without && ui_->aircraft_notice_text->text() != aircraftNoticeText());
    if (without) {
        ui_->aircraft_notice_text->setText(aircraftNoticeText());
        ui_->create_profile->setText(tr("Create profile for %1").arg(aircraftModule_));
        ui_->create_profile->setVisible(!aircraftModule_.isEmpty());
    }
    // The focus of a button that goes would pass to the comment field, where a stray key
    // would change the profile.
    if (!without && ui_->create_profile->hasFocus()) {
        ui_->tabWidget->setFocus();
    }
    ui_->aircraft_notice->setVisible(without);
    if (lineChanged) {
        emit profileChanged();
    }
}

void ThreeAxisEffectsWidget::on_create_profile_clicked() {
    createProfileForAircraft();
}

void ThreeAxisEffectsWidget::createProfileForAircraft() {
    if (aircraftSource_ == Telemetry::TELEMETRY_SOURCE_NONE || aircraftModule_.isEmpty()) {
        return;
    }
    // The profile that serves the aircraft now ("Generic warbird" or the game's default) is the
    // start, unless the editor already holds it: then the edits the pilot made to it while flying
    // go into the new profile.
    const QString gameDefault = store_.autoSelect(aircraftSource_, aircraftModule_);
    const bool fromDefault = !gameDefault.isEmpty() && gameDefault != loadedFile_;
    EffectsProfile created = currentEffectsProfile();
    if (fromDefault) {
        if (!settleUnsavedChanges()) {
            return;
        }
        store_.load(gameDefault, created);
    }
    // Nothing to start from would make a profile that flies without forces: a centring
    // spring a pilot can feel is the start then.
    bool rampIn = fromDefault;
    if (!fromDefault && !anyEffectActive(created.effects)) {
        rampIn = true;
        for (AxisEffectsSettings& axis : created.effects.axes) {
            axis.simple_spring.active = true;
            axis.simple_spring.total_effect_strength = StarterSpringStrength;
        }
    }
    created.metadata.flight_data_source = aircraftSource_;
    created.metadata.flight_module = aircraftModule_;
    created.metadata.comment.clear();
    currentEffectsProfile() = created;
    loadedFile_.clear();
    markByFileName(QString());
    redraw();
    setUnsaved(true);
    // A profile read from a file or a new spring ramps in; the editor's own settings are what
    // the loop has already.
    if (rampIn) {
        emit suddenValueChange(currentEffectsProfile().effects);
    } else {
        emit moderateValueChange(currentEffectsProfile().effects);
    }
    if (saveCurrent()) {
        emit statusMessage(
            tr("%1 now flies with its own profile \"%2\".").arg(aircraftModule_, profileName()));
    }
}

void ThreeAxisEffectsWidget::restoreSetAside() {
    if (!setAside_ || !settleUnsavedChanges()) {
        return;
    }
    bringBackSetAside();
}

void ThreeAxisEffectsWidget::bringBackSetAside() {
    const SetAside restored = *setAside_;
    setAside_.reset();
    emit setAsideChanged(false);
    currentEffectsProfile() = restored.profile;
    loadedFile_ = restored.fileName;
    markByFileName(loadedFile_);
    redraw();
    setUnsaved(true);
    emit suddenValueChange(currentEffectsProfile().effects);
    updateAircraftNotice();
    emit profileChanged();
    emit statusMessage(tr("Unsaved changes of the profile \"%1\" restored.").arg(restored.name));
}
