#pragma once

#include "profiles/profilestore.h"
#include "records/effectsprofile.h"
#include "records/effectssettings.h"
#include "records/forcessample.h"
#include "records/telemetry.h"

#include <QMessageBox>
#include <QSet>
#include <QString>
#include <QWidget>

#include <functional>
#include <memory>
#include <optional>

namespace Ui {
class ThreeAxisEffectsWidget;
}
class QLabel;
class QStringListModel;

// The editor of the current effect profile: choosing, saving and deleting profiles, the
// profile's comment, telemetry source and flight module, and one axis editor per tab. Every
// change of what the editor shows leaves as a copy of the three axes' settings, as a sudden
// change (an effect added, a profile loaded) or a moderate one (an effect removed or tuned, a
// source that drops effects, a deleted profile). The profile's source decides which effect
// types each axis offers.
//
// Edits not yet saved are marked beside the profile list. Loading another profile by hand
// and closing the window ask whether to save them, deleting says they go with the profile; a
// profile chosen automatically for another aircraft sets them aside instead, to be restored once.
//
// An aircraft that flies without a profile of its own is named in a line above the metadata,
// with the profile it flies with and a button that creates its profile. A profile whose flight
// module is "*" is its game's default: it serves every aircraft of that game without its own.
//
// Threading: GUI thread only; selectProfileFor() is reached by a queued connection from the
// control loop.
class ThreeAxisEffectsWidget : public QWidget {
    Q_OBJECT

public:
    // Shows a message and returns the button the user chose. Replaceable, so that tests can
    // answer without a modal dialog.
    using Ask = std::function<QMessageBox::StandardButton(QMessageBox::Icon icon, const QString& text,
                                                          QMessageBox::StandardButtons buttons)>;

    // Asks for a flight module name, offering one; no value when the user cancels.
    // Replaceable like Ask.
    using AskName = std::function<std::optional<QString>(const QString& question, const QString& offered)>;

    explicit ThreeAxisEffectsWidget(QWidget* parent = nullptr);
    ~ThreeAxisEffectsWidget() override;

    // Loads the first stored profile, by file name, made for this source and exactly this
    // flight module, else the game's default profile. Nothing is loaded for no source, when
    // neither exists, or when the match is the profile already loaded: a stream that resumes
    // keeps its forces and its edits. An aircraft without a profile of its own is announced.
    void selectProfileFor(Telemetry::Source source, const QString& flightModule);

    // The EffectsProfile::EffectType values an axis (0 ailerons, 1 elevator, 2 rudder) offers
    // for a telemetry source.
    static QSet<int> enabledEffects(int source, int axis);

    void setAsk(Ask ask);
    void setAskName(AskName askName);
    bool hasUnsavedChanges() const { return unsaved_; }
    // The file the editor's profile was loaded from or last saved to; empty for none.
    QString loadedFileName() const { return loadedFile_; }
    // Before unsaved edits would be lost: asks Save / Discard / Cancel. True when the caller
    // may go on (nothing unsaved, saved, or discarded).
    bool settleUnsavedChanges();
    bool canRestoreSetAside() const { return setAside_.has_value(); }
    // Before edits set aside by an automatic profile change would be lost (the window closes):
    // asks Save / Discard / Cancel as for unsaved edits. True when the caller may go on.
    bool settleSetAside();

public slots:
    // Brings back the edits set aside by an automatic profile change, once.
    void restoreSetAside();
    // Saves a profile for the aircraft flying now (its game, its exact name) and loads it:
    // made from the game's default profile if there is one (unless that is what the editor
    // holds), else from the editor's settings.
    void createProfileForAircraft();
    // The stream ended: no aircraft flies any more.
    void endStream();
    // Where the centres of the axes' springs are now, on the trim following panels.
    void showCentres(ForcesSample sample);

signals:
    void suddenValueChange(EffectsSettings settings);
    void moderateValueChange(EffectsSettings settings);
    void unsavedChangesChanged(bool unsaved);
    void setAsideChanged(bool available);
    // A short note for the window's status bar, about the profile or the aircraft flying.
    void statusMessage(const QString& text);
    // Another profile is in the editor, or the line about the aircraft flying changed: notes
    // about the one before no longer hold.
    void profileChanged();

private slots:
    void on_profile_combo_activated(int index);
    void on_save_profile_clicked();
    void on_delete_profile_clicked();
    void on_create_profile_clicked();
    void readProfiles();
    void redraw();
    void checkEnabledEffects();

private:
    void commitTypedValues();
    // Puts the set-aside edits into the editor and sends them to the loop, asking nothing.
    void bringBackSetAside();
    struct SetAside {
        EffectsProfile profile;
        QString fileName;
        QString name;
    };

    // The file name of a row of the profile list, empty for a row that does not exist.
    static QString fileNameAt(int row);
    // Returns whether an effect that was on had to be switched off.
    bool applyEnabledEffects();
    // Reads the file into the current profile, shows it and sends it as a sudden change.
    void loadFile(const QString& fileName);
    // Saves the current profile: asks for a flight module when it has none, whether a loaded
    // profile given another name is renamed or copied, and before another profile's file is
    // replaced; reports a failure. True when the file was written.
    bool saveCurrent();
    // Shows or hides the line about an aircraft without a profile of its own.
    void updateAircraftNotice();
    // What that line says: "No profile for A-10C: it flies with ...".
    QString aircraftNoticeText() const;
    // Makes the row of the file current without loading it; no row for an empty name.
    void markByFileName(const QString& fileName);
    // How the user knows the profile in the editor: its list label, else its file name.
    QString profileName() const;
    void setUnsaved(bool unsaved);
    void markEdited();
    QMessageBox::StandardButton
    ask(QMessageBox::Icon icon, const QString& text, QMessageBox::StandardButtons buttons,
        QMessageBox::StandardButton defaultButton = QMessageBox::NoButton,
        const QList<QPair<QMessageBox::StandardButton, QString>>& buttonTexts = {});
    std::optional<QString> askName(const QString& question, const QString& offered);

    std::unique_ptr<Ui::ThreeAxisEffectsWidget> ui_;
    ProfileStore store_;
    QLabel* unsavedMarker_;
    Ask ask_;
    AskName askName_;
    // The aircraft flying now; no source when none. The names seen feed the module completion.
    Telemetry::Source aircraftSource_ = Telemetry::TELEMETRY_SOURCE_NONE;
    QString aircraftModule_;
    QStringListModel* detectedModules_;
    QString loadedFile_;
    bool unsaved_ = false;
    bool redrawing_ = false;
    std::optional<SetAside> setAside_;
};
