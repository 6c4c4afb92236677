#pragma once

#include "profiles/profilestore.h"
#include "records/effectsprofile.h"
#include "records/effectssettings.h"
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

// The editor of the current effect profile: choosing, saving and deleting profiles, the
// profile's comment, telemetry source and flight module, and one axis editor per tab. Every
// change of what the editor shows leaves as a copy of the three axes' settings, as a sudden
// change (an effect added, a profile loaded) or a moderate one (an effect removed or tuned, a
// source that drops effects, a deleted profile). The profile's source decides which effect
// types each axis offers.
//
// Edits not yet saved are marked beside the profile list. Loading another profile by hand,
// deleting, and closing the window ask whether to save them; a profile chosen automatically
// for another aircraft sets them aside instead, to be restored once.
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

    explicit ThreeAxisEffectsWidget(QWidget* parent = nullptr);
    ~ThreeAxisEffectsWidget() override;

    // Loads the first stored profile, by file name, made for this source and exactly this
    // flight module. Nothing happens for no source, when no profile matches, or when the match
    // is the profile already loaded: a stream that resumes keeps its forces and its edits.
    void selectProfileFor(Telemetry::Source source, const QString& flightModule);

    // The EffectsProfile::EffectType values an axis (0 ailerons, 1 elevator, 2 rudder) offers
    // for a telemetry source.
    static QSet<int> enabledEffects(int source, int axis);

    void setAsk(Ask ask);
    bool hasUnsavedChanges() const { return unsaved_; }
    // The file the editor's profile was loaded from or last saved to; empty for none.
    QString loadedFileName() const { return loadedFile_; }
    // Before unsaved edits would be lost: asks Save / Discard / Cancel. True when the caller
    // may go on (nothing unsaved, saved, or discarded).
    bool settleUnsavedChanges();
    bool canRestoreSetAside() const { return setAside_.has_value(); }

public slots:
    // Brings back the edits set aside by an automatic profile change, once.
    void restoreSetAside();

signals:
    void suddenValueChange(EffectsSettings settings);
    void moderateValueChange(EffectsSettings settings);
    void unsavedChangesChanged(bool unsaved);
    void setAsideChanged(bool available);
    // A short note for the window's status bar.
    void statusMessage(const QString& text);

private slots:
    void on_profile_combo_activated(int index);
    void on_save_profile_clicked();
    void on_delete_profile_clicked();
    void readProfiles();
    void redraw();
    void checkEnabledEffects();

private:
    void commitTypedValues();
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
    // Saves the current profile, asking before it replaces another profile's file and
    // reporting a failure. True when the file was written.
    bool saveCurrent();
    // Makes the row of the file current without loading it; no row for an empty name.
    void markByFileName(const QString& fileName);
    // How the user knows the profile in the editor: its list label, else its file name.
    QString profileName() const;
    void setUnsaved(bool unsaved);
    void markEdited();
    QMessageBox::StandardButton ask(QMessageBox::Icon icon, const QString& text,
                                    QMessageBox::StandardButtons buttons);

    std::unique_ptr<Ui::ThreeAxisEffectsWidget> ui_;
    ProfileStore store_;
    QLabel* unsavedMarker_;
    Ask ask_;
    QString loadedFile_;
    bool unsaved_ = false;
    bool redrawing_ = false;
    std::optional<SetAside> setAside_;
};
