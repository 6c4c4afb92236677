#pragma once

#include "records/forcessample.h"
#include "records/telemetry.h"

#include <QMessageBox>
#include <QString>
#include <QWidget>

#include <functional>
#include <memory>
#include <optional>

namespace Ui {
class ThreeAxisEffectsWidget;
}
class AxisEffectsWidget;
class ProfileListModel;
class ProfileSession;
class QLabel;
class QStringListModel;

// The editor of a profile session: choosing, saving and deleting profiles, the profile's
// comment, telemetry source and flight module, and one axis editor per tab. It shows what the
// session holds and edits through it; the session tells the control loop. The profile's source
// decides which effect types each axis offers.
//
// Edits not yet saved are marked beside the profile list. Loading another profile by hand
// and closing the window ask whether to save them, deleting says they go with the profile; a
// profile chosen automatically for another aircraft sets them aside instead, to be restored once.
//
// An aircraft that flies without a profile of its own is named in a line above the metadata,
// with the profile it flies with and a button that creates its profile. A profile whose flight
// module is "*" is its game's default: it serves every aircraft of that game without its own.
//
// Threading: GUI thread only.
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

    // Shows nothing editable until it is given its session.
    explicit ThreeAxisEffectsWidget(QWidget* parent = nullptr);
    ~ThreeAxisEffectsWidget() override;

    // The session to show and edit, given once; it must outlive the editor.
    void setSession(ProfileSession* session);

    void setAsk(Ask ask);
    void setAskName(AskName askName);
    // Before unsaved edits would be lost: asks Save / Discard / Cancel. True when the caller
    // may go on (nothing unsaved, saved, or discarded).
    bool settleUnsavedChanges();
    // Before edits set aside by an automatic profile change would be lost (the window closes):
    // asks Save / Discard / Cancel as for unsaved edits. True when the caller may go on.
    bool settleSetAside();

public slots:
    // Brings back the edits set aside by an automatic profile change, once, after settling
    // the edits in the editor.
    void restoreSetAside();
    // Saves a profile for the aircraft flying now (its game, its exact name) and loads it:
    // made from the game's default profile if there is one (unless that is what the editor
    // holds), else from the editor's settings.
    void createProfileForAircraft();
    // Where the centres of the axes' springs are now, on the trim following panels.
    void showCentres(ForcesSample sample);

private:
    void chooseProfile(int index);
    void deleteProfile();
    void commitTypedValues();
    // Shows the session's profile: metadata, offered effects, every panel.
    void redraw();
    void showProfiles();
    void showEnabledEffects();
    void showAircraft(Telemetry::Source source, const QString& flightModule);
    void showNotice(const QString& text);
    // Saves the session's profile: asks for a flight module when it has none, whether a loaded
    // profile given another name is renamed or copied, and before another profile's file is
    // replaced; reports a failure. True when the file was written.
    bool saveCurrent();
    // Makes the row of the file current without loading it; no row for an empty name.
    void markByFileName(const QString& fileName);
    QMessageBox::StandardButton
    ask(QMessageBox::Icon icon, const QString& text, QMessageBox::StandardButtons buttons,
        QMessageBox::StandardButton defaultButton = QMessageBox::NoButton,
        const QList<QPair<QMessageBox::StandardButton, QString>>& buttonTexts = {});
    std::optional<QString> askName(const QString& question, const QString& offered);
    AxisEffectsWidget* axisEditor(int axis) const;

    std::unique_ptr<Ui::ThreeAxisEffectsWidget> ui_;
    ProfileSession* session_ = nullptr;
    ProfileListModel* profiles_;
    QLabel* unsavedMarker_;
    Ask ask_;
    AskName askName_;
    // The aircraft names seen this run feed the module completion.
    QStringListModel* detectedModules_;
};
