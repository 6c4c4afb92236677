#pragma once

#include "ui/settingsbinder.h"

#include <QWidget>

#include <memory>

namespace Ui {
class SmartDampeningSettingsWidget;
}
class SmartDamperSettings;
class QSlider;
class QSpinBox;

// Settings panel of the device-side dampers. The dampening sliders start at 0..100 while
// their spin boxes reach 500: typing a larger value widens the slider's range, which never
// shrinks again.
//
// Threading: GUI thread.
class SmartDampeningSettingsWidget : public QWidget {
    Q_OBJECT

public:
    explicit SmartDampeningSettingsWidget(QWidget* parent = nullptr);
    ~SmartDampeningSettingsWidget() override;

    void bind(SmartDamperSettings* settings);
    void refresh();

signals:
    void settingsChanged();

private:
    // Couples a dampening spin box and its slider: the slider follows the box, widening its
    // range when needed, and moving the slider sets the box.
    void couple(QSpinBox* box, QSlider* slider, float SmartDamperSettings::*field);
    // Moves a dampening slider to its spin box's value, widening its range when needed.
    static void follow(QSlider* slider, int value);

    std::unique_ptr<Ui::SmartDampeningSettingsWidget> ui_;
    SettingsBinder<SmartDamperSettings> binder_;
};
