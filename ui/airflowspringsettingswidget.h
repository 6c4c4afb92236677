#pragma once

#include "ui/settingsbinder.h"

#include <QWidget>

#include <memory>

namespace Ui {
class AirflowSpringSettingsWidget;
}
class AirflowSpringSettings;

// Settings panel of the natural airflow spring. The two attenuation airspeeds form a range whose
// end stays at least twice its start, and every change of either rebuilds the attenuation curve.
//
// Threading: GUI thread.
class AirflowSpringSettingsWidget : public QWidget {
    Q_OBJECT

public:
    explicit AirflowSpringSettingsWidget(QWidget* parent = nullptr);
    ~AirflowSpringSettingsWidget() override;

    // Keeps the pointer (which must outlive the panel) and shows its values.
    void bind(AirflowSpringSettings* settings);
    // Shows the bound values without announcing anything.
    void refresh();

signals:
    void settingsChanged();

private:
    std::unique_ptr<Ui::AirflowSpringSettingsWidget> ui_;
    SettingsBinder<AirflowSpringSettings> binder_;
};
