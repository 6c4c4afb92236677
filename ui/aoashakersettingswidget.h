#pragma once

#include "ui/settingsbinder.h"

#include <QWidget>

#include <memory>

namespace Ui {
class AoAShakerSettingsWidget;
}
class AoAShakerSettings;

// Settings panel of the AoA shaker: strength, the speed, angle and frequency ranges. A min
// never passes its max: moving one past the other pushes the other along.
//
// Threading: GUI thread.
class AoAShakerSettingsWidget : public QWidget {
    Q_OBJECT

public:
    explicit AoAShakerSettingsWidget(QWidget* parent = nullptr);
    ~AoAShakerSettingsWidget() override;

    // Keeps the pointer (which must outlive the panel) and shows its values.
    void bind(AoAShakerSettings* settings);
    // Shows the bound values without announcing anything.
    void refresh();

signals:
    void settingsChanged();

private:
    std::unique_ptr<Ui::AoAShakerSettingsWidget> ui_;
    SettingsBinder<AoAShakerSettings> binder_;
};
