#include "ui/threeaxiseffectswidget.h"

#include "profiles/profilesession.h"
#include "profiles/profilestore.h"
#include "records/effectsprofile.h"
#include "ui/profilelistmodel.h"
#include "ui_threeaxiseffectswidget.h"

#include <QAbstractSpinBox>
#include <QCompleter>
#include <QDir>
#include <QFileInfo>
#include <QInputDialog>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStringListModel>

namespace {

constexpr int SourceCount = Telemetry::SourceCount;
// Percent; the strength of the spring a profile made from nothing starts with.
constexpr float StarterSpringStrength = 50.0f;

} // namespace

ThreeAxisEffectsWidget::ThreeAxisEffectsWidget(QWidget* parent)
    : QWidget(parent), ui_(std::make_unique<Ui::ThreeAxisEffectsWidget>()),
      profiles_(new ProfileListModel(this)), unsavedMarker_(new QLabel(this)),
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
    ui_->profile_combo->setModel(profiles_);
    // A key pressed right after start neither deletes nor loads a profile: the axis tabs
    // take it.
    ui_->tabWidget->setFocus();
}

ThreeAxisEffectsWidget::~ThreeAxisEffectsWidget() = default;

AxisEffectsWidget* ThreeAxisEffectsWidget::axisEditor(int axis) const {
    AxisEffectsWidget* editors[] = {ui_->ailerons_effects_widget, ui_->elevator_effects_widget,
                                    ui_->rudder_effects_widget};
    return editors[axis];
}

void ThreeAxisEffectsWidget::setSession(ProfileSession* session) {
    if (session_ || !session) {
        return;
    }
    session_ = session;
    for (int axis = 0; axis < 3; ++axis) {
        axisEditor(axis)->bind(&session_->axisForEditing(axis));
        connect(axisEditor(axis), &AxisEffectsWidget::moderateSettingsChange, session_,
                [this] { session_->edited(ProfileSession::Change::Moderate); });
        connect(axisEditor(axis), &AxisEffectsWidget::suddenSettingsChange, session_,
                [this] { session_->edited(ProfileSession::Change::Sudden); });
    }
    connect(ui_->profile_comment_input, &QLineEdit::textChanged, session_, &ProfileSession::setComment);
    connect(ui_->flight_module_input, &QLineEdit::textChanged, session_, &ProfileSession::setFlightModule);
    connect(ui_->game_combo, &QComboBox::currentIndexChanged, session_, [this](int index) {
        // -1 only means that the combo shows nothing, for a profile of an unknown source.
        if (index < 0) {
            return;
        }
        session_->setSource(index);
        showEnabledEffects();
    });
    connect(ui_->profile_combo, &QComboBox::activated, this, &ThreeAxisEffectsWidget::chooseProfile);
    connect(ui_->save_profile, &QPushButton::clicked, this, [this] { saveCurrent(); });
    connect(ui_->delete_profile, &QPushButton::clicked, this, &ThreeAxisEffectsWidget::deleteProfile);
    connect(ui_->create_profile, &QPushButton::clicked, this,
            &ThreeAxisEffectsWidget::createProfileForAircraft);

    connect(session_, &ProfileSession::profileReplaced, this, &ThreeAxisEffectsWidget::redraw);
    connect(session_, &ProfileSession::profilesListed, this, &ThreeAxisEffectsWidget::showProfiles);
    connect(session_, &ProfileSession::unsavedChangesChanged, unsavedMarker_,
            [this](bool unsaved) { unsavedMarker_->setText(unsaved ? QStringLiteral("*") : QString()); });
    connect(session_, &ProfileSession::aircraftChanged, this, &ThreeAxisEffectsWidget::showAircraft);
    connect(session_, &ProfileSession::aircraftNoticeChanged, this, &ThreeAxisEffectsWidget::showNotice);

    showProfiles();
    redraw();
    unsavedMarker_->setText(session_->hasUnsavedChanges() ? QStringLiteral("*") : QString());
    showAircraft(session_->aircraftSource(), session_->aircraftModule());
    showNotice(session_->aircraftNotice());
}

void ThreeAxisEffectsWidget::showEnabledEffects() {
    const int source = session_->profile().metadata.flight_data_source;
    for (int axis = 0; axis < 3; ++axis) {
        axisEditor(axis)->setEnabledEffects(ProfileSession::enabledEffects(source, axis));
    }
}

void ThreeAxisEffectsWidget::redraw() {
    // Showing the profile is no edit of it.
    showEnabledEffects();
    const EffectsProfileMetadata metadata = session_->profile().metadata;
    const int source = metadata.flight_data_source;
    {
        const QSignalBlocker game(ui_->game_combo);
        const QSignalBlocker comment(ui_->profile_comment_input);
        const QSignalBlocker module(ui_->flight_module_input);
        ui_->game_combo->setCurrentIndex(source >= 0 && source < SourceCount ? source : -1);
        ui_->profile_comment_input->setText(metadata.comment);
        ui_->flight_module_input->setText(metadata.flight_module);
    }
    markByFileName(session_->loadedFileName());
}

void ThreeAxisEffectsWidget::showProfiles() {
    profiles_->setEntries(session_->store().entries());
    markByFileName(session_->loadedFileName());
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

void ThreeAxisEffectsWidget::commitTypedValues() {
    // A number typed but not yet confirmed (no Enter, the focus still in its box) is an edit
    // the user made: it counts before the profile is left.
    for (QAbstractSpinBox* box : findChildren<QAbstractSpinBox*>()) {
        box->interpretText();
    }
}

bool ThreeAxisEffectsWidget::settleUnsavedChanges() {
    if (!session_) {
        return true;
    }
    commitTypedValues();
    if (!session_->hasUnsavedChanges()) {
        return true;
    }
    const QMessageBox::StandardButton answer =
        ask(QMessageBox::Warning,
            tr("The profile \"%1\" has unsaved changes. Save them?").arg(session_->profileName()),
            QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel);
    if (answer == QMessageBox::Save) {
        return saveCurrent();
    }
    return answer == QMessageBox::Discard;
}

bool ThreeAxisEffectsWidget::settleSetAside() {
    if (!session_ || !session_->canRestoreSetAside()) {
        return true;
    }
    const QMessageBox::StandardButton answer =
        ask(QMessageBox::Warning,
            tr("Unsaved changes of the profile \"%1\" were set aside when another aircraft got its "
               "profile. Save them?")
                .arg(session_->setAsideName()),
            QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel);
    if (answer == QMessageBox::Discard) {
        session_->discardSetAside();
        return true;
    }
    if (answer != QMessageBox::Save) {
        return false;
    }
    // Edits that keep their file are written there directly; the editor and the forces stay as
    // they are. Others (a new profile, a changed name) come back into the editor to be saved
    // with its questions; a cancel there leaves them restored and the window open.
    const EffectsProfileMetadata& metadata = session_->setAsideProfile()->metadata;
    const QString fileName = ProfileStore::fileName(metadata);
    if (!session_->setAsideFileName().isEmpty() && fileName == session_->setAsideFileName() &&
        !metadata.flight_module.trimmed().isEmpty()) {
        QString error;
        if (!session_->saveSetAside(&error)) {
            ask(QMessageBox::Critical,
                tr("The profile could not be saved to \"%1\": %2")
                    .arg(QDir(session_->store().directoryPath()).filePath(fileName), error),
                QMessageBox::Ok);
            return false;
        }
        return true;
    }
    // The edits in the editor were settled (saved or discarded) before this question.
    session_->restoreSetAside();
    return saveCurrent();
}

void ThreeAxisEffectsWidget::chooseProfile(int index) {
    const QString fileName = profiles_->fileNameAt(index);
    if (fileName.isEmpty()) {
        return;
    }
    if (!settleUnsavedChanges()) {
        // The list goes back to the profile that stays in the editor.
        markByFileName(session_->loadedFileName());
        return;
    }
    session_->load(fileName);
}

bool ThreeAxisEffectsWidget::saveCurrent() {
    // A profile without an aircraft would never be chosen and shows as a nameless row.
    if (session_->profile().metadata.flight_module.trimmed().isEmpty()) {
        const std::optional<QString> name =
            askName(tr("Which aircraft is this profile for? Type its name as the game reports it, or * for "
                       "every aircraft of the game that has no profile of its own."),
                    session_->aircraftModule());
        if (!name || name->trimmed().isEmpty()) {
            return false;
        }
        ui_->flight_module_input->setText(*name);
        // The aircraft flying now belongs to the game it flies in.
        if (session_->profile().metadata.flight_data_source == Telemetry::TELEMETRY_SOURCE_NONE &&
            session_->aircraftSource() != Telemetry::TELEMETRY_SOURCE_NONE &&
            *name == session_->aircraftModule()) {
            ui_->game_combo->setCurrentIndex(session_->aircraftSource());
        }
    }
    const EffectsProfileMetadata& metadata = session_->profile().metadata;
    const QString loadedFile = session_->loadedFileName();
    const QString fileName = ProfileStore::fileName(metadata);
    const QDir directory(session_->store().directoryPath());
    const QString path = directory.filePath(fileName);

    // A loaded profile given another name (aircraft, game or comment) moves to another file:
    // the user says whether the old file goes or stays.
    QString renamedFrom;
    if (!loadedFile.isEmpty() && fileName != loadedFile &&
        QFileInfo(directory.filePath(loadedFile)).isFile()) {
        const QString oldName =
            ProfileStore::rowText(session_->store().metadata().value(loadedFile), loadedFile);
        const QString newName = ProfileStore::label(metadata).trimmed();
        const QMessageBox::StandardButton answer =
            ask(QMessageBox::Question,
                tr("The profile \"%1\" now has the name \"%2\". Rename it (its file \"%3\" becomes \"%4\") "
                   "or save a copy and keep \"%1\" as it was?")
                    .arg(oldName.trimmed(), newName, loadedFile, fileName),
                QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, QMessageBox::Yes,
                {{QMessageBox::Yes, tr("Rename")}, {QMessageBox::No, tr("Save a copy")}});
        if (answer == QMessageBox::Cancel || (answer != QMessageBox::Yes && answer != QMessageBox::No)) {
            return false;
        }
        if (answer == QMessageBox::Yes) {
            renamedFrom = loadedFile;
        }
    }

    // Different names can share one file ("F-16" and "F_16"): another profile's file is only
    // replaced when the user says so.
    if (fileName != loadedFile && fileName != renamedFrom && QFileInfo(path).isFile()) {
        const QString owner = ProfileStore::label(session_->store().metadata().value(fileName)).trimmed();
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
    QString error;
    if (!session_->save(renamedFrom, &error)) {
        ask(QMessageBox::Critical, tr("The profile could not be saved to \"%1\": %2").arg(path, error),
            QMessageBox::Ok);
        return false;
    }
    return true;
}

void ThreeAxisEffectsWidget::deleteProfile() {
    const QString fileName = profiles_->fileNameAt(ui_->profile_combo->currentIndex());
    if (fileName.isEmpty()) {
        return;
    }
    QString label = ProfileStore::label(session_->store().metadata().value(fileName)).trimmed();
    if (label.isEmpty()) {
        label = fileName;
    }
    // The editor is emptied after a delete, so unsaved edits go with it: one question says so.
    commitTypedValues();
    QString question = tr("Delete the profile \"%1\" (file \"%2\")?").arg(label, fileName);
    if (session_->hasUnsavedChanges()) {
        question += QLatin1Char(' ') + tr("The unsaved changes in the editor are lost as well.");
    }
    if (ask(QMessageBox::Question, question, QMessageBox::Yes | QMessageBox::No, QMessageBox::No) !=
        QMessageBox::Yes) {
        return;
    }
    session_->remove(fileName);
}

void ThreeAxisEffectsWidget::markByFileName(const QString& fileName) {
    const int row = fileName.isEmpty() ? -1 : session_->store().rowOf(fileName);
    ui_->profile_combo->setCurrentIndex(row);
}

void ThreeAxisEffectsWidget::showAircraft(Telemetry::Source source, const QString& flightModule) {
    if (source == Telemetry::TELEMETRY_SOURCE_NONE || flightModule.isEmpty()) {
        return;
    }
    QStringList seen = detectedModules_->stringList();
    seen.removeAll(flightModule);
    seen.prepend(flightModule);
    detectedModules_->setStringList(seen);
    ui_->flight_module_input->setPlaceholderText(
        tr("%1 (flying now); * for any aircraft of the game").arg(flightModule));
}

void ThreeAxisEffectsWidget::showNotice(const QString& text) {
    const bool without = !text.isEmpty();
    if (without) {
        const QString module = session_->aircraftModule();
        ui_->aircraft_notice_text->setText(text);
        ui_->create_profile->setText(tr("Create profile for %1").arg(module));
        ui_->create_profile->setVisible(!module.isEmpty());
    }
    // The focus of a button that goes would pass to the comment field, where a stray key
    // would change the profile.
    if (!without && ui_->create_profile->hasFocus()) {
        ui_->tabWidget->setFocus();
    }
    ui_->aircraft_notice->setVisible(without);
}

void ThreeAxisEffectsWidget::showCentres(ForcesSample sample) {
    for (int axis = 0; axis < 3; ++axis) {
        axisEditor(axis)->showCentre(sample.centre[axis]);
    }
}

void ThreeAxisEffectsWidget::createProfileForAircraft() {
    if (!session_) {
        return;
    }
    const Telemetry::Source source = session_->aircraftSource();
    const QString module = session_->aircraftModule();
    if (source == Telemetry::TELEMETRY_SOURCE_NONE || module.isEmpty()) {
        return;
    }
    // The profile that serves the aircraft now ("Generic warbird" or the game's default) is the
    // start, unless the editor already holds it: then the edits the pilot made to it while flying
    // go into the new profile.
    const QString gameDefault = session_->store().autoSelect(source, module);
    const bool fromDefault = !gameDefault.isEmpty() && gameDefault != session_->loadedFileName();
    EffectsProfile created = session_->profile();
    if (fromDefault) {
        if (!settleUnsavedChanges()) {
            return;
        }
        session_->store().load(gameDefault, created);
    }
    // Nothing to start from would make a profile that flies without forces: a centring
    // spring a pilot can feel is the start then.
    bool rampIn = fromDefault;
    if (!fromDefault && !ProfileSession::anyEffectActive(created.effects)) {
        rampIn = true;
        for (AxisEffectsSettings& axis : created.effects.axes) {
            axis.simple_spring.active = true;
            axis.simple_spring.total_effect_strength = StarterSpringStrength;
        }
    }
    created.metadata.flight_data_source = source;
    created.metadata.flight_module = module;
    created.metadata.comment.clear();
    // A profile read from a file or a new spring ramps in; the editor's own settings are what
    // the loop has already.
    session_->startFrom(created, rampIn ? ProfileSession::Change::Sudden : ProfileSession::Change::Moderate);
    if (saveCurrent()) {
        session_->tell(tr("%1 now flies with its own profile \"%2\".").arg(module, session_->profileName()));
    }
}

void ThreeAxisEffectsWidget::restoreSetAside() {
    if (!session_ || !session_->canRestoreSetAside() || !settleUnsavedChanges()) {
        return;
    }
    session_->restoreSetAside();
}
