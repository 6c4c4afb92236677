#pragma once

#include <QWidget>

#include <memory>

namespace Ui {
class AirflowSpringSettingsWidget;
}
class AirflowSpringSettings;
class RangeControl;

// Settings panel of the natural airflow spring. The two attenuation airspeeds form a range whose
// end stays at least twice its start, and every change of either rebuilds the attenuation curve.
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

private:
    // Stores an edited value through `field` and announces it, unless a refresh is showing values.
    void edit(float AirflowSpringSettings::*field, int value);
    void storeAttenuationAirspeeds(int start, int end);

    std::unique_ptr<Ui::AirflowSpringSettingsWidget> ui_;
    AirflowSpringSettings* settings_ = nullptr;
    bool updating_ = false;
    RangeControl* attenuationRange_ = nullptr;
};
