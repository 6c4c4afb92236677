#include "ui/threeaxiseffectswidget.h"

#include "records/effectsprofile.h"
#include "ui_threeaxiseffectswidget.h"

#include <QAbstractSpinBox>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QStandardItem>
#include <QStandardItemModel>

namespace {

constexpr int SourceCount = 6;

} // namespace

ThreeAxisEffectsWidget::ThreeAxisEffectsWidget(QWidget* parent)
    : QWidget(parent), ui_(std::make_unique<Ui::ThreeAxisEffectsWidget>()), unsavedMarker_(new QLabel(this)) {
    ui_->setupUi(this);

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
               P::EFFECT_TYPE_SMART_DAMPER};
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

QMessageBox::StandardButton ThreeAxisEffectsWidget::ask(QMessageBox::Icon icon, const QString& text,
                                                        QMessageBox::StandardButtons buttons) {
    if (ask_) {
        return ask_(icon, text, buttons);
    }
    QMessageBox box(icon, window()->windowTitle(), text, buttons, this);
    return static_cast<QMessageBox::StandardButton>(box.exec());
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
}

void ThreeAxisEffectsWidget::on_save_profile_clicked() {
    saveCurrent();
}

bool ThreeAxisEffectsWidget::saveCurrent() {
    const QString fileName = ProfileStore::fileName(currentEffectsProfile().metadata);
    const QString path = QDir(store_.directoryPath()).filePath(fileName);
    // Different names can share one file ("F-16" and "F_16"): another profile's file is only
    // replaced when the user says so.
    if (fileName != loadedFile_ && QFileInfo(path).isFile()) {
        QString owner = ProfileStore::label(ProfileStore::metadataMap().value(fileName)).trimmed();
        if (owner.isEmpty()) {
            owner = fileName;
        }
        const QMessageBox::StandardButton answer =
            ask(QMessageBox::Question,
                tr("The file \"%1\" already holds the profile \"%2\". Replace it with this profile?")
                    .arg(fileName, owner),
                QMessageBox::Yes | QMessageBox::No);
        if (answer != QMessageBox::Yes) {
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
        return false;
    }
    loadedFile_ = fileName;
    markByFileName(fileName);
    setUnsaved(false);
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
    const QMessageBox::StandardButton answer =
        ask(QMessageBox::Question, tr("Delete the profile \"%1\" (file \"%2\")?").arg(label, fileName),
            QMessageBox::Yes | QMessageBox::No);
    if (answer != QMessageBox::Yes || !settleUnsavedChanges()) {
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
}

void ThreeAxisEffectsWidget::markByFileName(const QString& fileName) {
    const int row = fileName.isEmpty() ? -1 : store_.rowOf(fileName);
    ui_->profile_combo->setCurrentIndex(row);
}

void ThreeAxisEffectsWidget::selectProfileFor(Telemetry::Source source, const QString& flightModule) {
    if (source == Telemetry::TELEMETRY_SOURCE_NONE) {
        return;
    }
    // The same aircraft again (a stream that resumed) keeps the profile in the editor, the
    // forces the loop has and any unsaved edits, even when the user chose that profile by hand
    // among several made for the aircraft.
    const auto& stored = ProfileStore::metadataMap();
    const auto loaded = stored.constFind(loadedFile_);
    if (loaded != stored.cend() && loaded->flight_data_source == source &&
        loaded->flight_module == flightModule) {
        return;
    }
    const QString fileName = store_.autoSelect(source, flightModule);
    if (fileName.isEmpty() || fileName == loadedFile_) {
        return;
    }
    if (unsaved_) {
        const QString name = profileName();
        setAside_ = SetAside{currentEffectsProfile(), loadedFile_, name};
        emit setAsideChanged(true);
        emit statusMessage(tr("Unsaved changes of the profile \"%1\" were set aside; Edit > Restore unsaved "
                              "changes brings them back.")
                               .arg(name));
    }
    loadFile(fileName);
}

void ThreeAxisEffectsWidget::restoreSetAside() {
    if (!setAside_ || !settleUnsavedChanges()) {
        return;
    }
    const SetAside restored = *setAside_;
    setAside_.reset();
    emit setAsideChanged(false);
    currentEffectsProfile() = restored.profile;
    loadedFile_ = restored.fileName;
    markByFileName(loadedFile_);
    redraw();
    setUnsaved(true);
    emit suddenValueChange(currentEffectsProfile().effects);
    emit statusMessage(tr("Unsaved changes of the profile \"%1\" restored.").arg(restored.name));
}
