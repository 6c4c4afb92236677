#pragma once

#include <QWidget>

#include <memory>

namespace Ui {
class AirflowSpringSettingsWidget;
}
class AirflowSpringSettings;

// Settings panel of the natural airflow spring. The two attenuation airspeeds keep the end at
// least twice the start, and every change of either rebuilds the attenuation curve.
//
// Threading: GUI thread.
class AirflowSpringSettingsWidget : public QWidget {
    Q_OBJECT

public:
    explicit AirflowSpringSettingsWidget(QWidget* parent = nullptr);
    ~AirflowSpringSettingsWidget() override;

    void bind(AirflowSpringSettings* settings);
    void refresh();

signals:
    void settingsChanged();

private slots:
    void on_attenuation_start_airspeed_spinner_valueChanged(int value);
    void on_attenuation_end_airspeed_spinner_valueChanged(int value);

private:
    // Stores an edited value through `field` and announces it, unless a refresh is showing values.
    void edit(float AirflowSpringSettings::*field, int value);
    void storeAttenuationAirspeeds();

    std::unique_ptr<Ui::AirflowSpringSettingsWidget> ui_;
    AirflowSpringSettings* settings_ = nullptr;
    bool updating_ = false;
};
