#pragma once

#include "ui/settingsbinder.h"

#include <QWidget>

#include <memory>

namespace Ui {
class GenericShakerSettingsWidget;
}
class GenericSpeedDependantShakerSettings;

// Settings panel of a speed-dependent shaker (extended gear, flaps, airbrakes, rolling on
// ground): strength, the speed range and the frequency range. A min never passes its max:
// moving one past the other pushes the other along.
//
// Threading: GUI thread.
class GenericShakerSettingsWidget : public QWidget {
    Q_OBJECT

public:
    explicit GenericShakerSettingsWidget(QWidget* parent = nullptr);
    ~GenericShakerSettingsWidget() override;

    // Keeps the pointer (which must outlive the panel) and shows its values.
    void bind(GenericSpeedDependantShakerSettings* settings);
    // Shows the bound values without announcing anything.
    void refresh();

signals:
    void settingsChanged();

private:
    std::unique_ptr<Ui::GenericShakerSettingsWidget> ui_;
    SettingsBinder<GenericSpeedDependantShakerSettings> binder_;
};
