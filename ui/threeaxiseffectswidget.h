#pragma once

#include "forces/telemetry.h"
#include "profiles/effectssettings.h"
#include "profiles/profilestore.h"

#include <QSet>
#include <QString>
#include <QWidget>

#include <memory>

namespace Ui {
class ThreeAxisEffectsWidget;
}

// The editor of the current effect profile: choosing, saving and deleting profiles, the
// profile's comment, telemetry source and flight module, and one axis editor per tab. Every
// edit leaves as a copy of the three axes' settings, as a sudden change (an effect added, a
// profile loaded) or a moderate one (an effect removed or tuned). The profile's source decides
// which effect types each axis offers.
//
// Threading: GUI thread only; selectProfileFor() is reached by a queued connection from the
// control loop.
class ThreeAxisEffectsWidget : public QWidget {
    Q_OBJECT

public:
    explicit ThreeAxisEffectsWidget(QWidget* parent = nullptr);
    ~ThreeAxisEffectsWidget() override;

    // Loads the first stored profile, by file name, made for this source and exactly this
    // flight module. Nothing happens for no source or when no profile matches.
    void selectProfileFor(Telemetry::Source source, const QString& flightModule);

    // The EffectsProfile::EffectType values an axis (0 ailerons, 1 elevator, 2 rudder) offers
    // for a telemetry source.
    static QSet<int> enabledEffects(int source, int axis);

signals:
    void suddenValueChange(EffectsSettings settings);
    void moderateValueChange(EffectsSettings settings);

private slots:
    void on_profile_combo_activated(int index);
    void on_save_profile_clicked();
    void on_delete_profile_clicked();
    void readProfiles();
    void redraw();
    void checkEnabledEffects();

private:
    // The file name of a row of the profile list, empty for a row that does not exist.
    static QString fileNameAt(int row);
    // Makes the row of the file current (matching ignoring case) and loads it.
    void selectByFileName(const QString& fileName);
    // Makes the row of the file current without loading it.
    void markByFileName(const QString& fileName);

    std::unique_ptr<Ui::ThreeAxisEffectsWidget> ui_;
    ProfileStore store_;
};
