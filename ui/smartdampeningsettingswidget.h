#pragma once

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

private slots:
    void on_static_dampening_spinner_valueChanged(int value);
    void on_dynamic_dampening_spinner_valueChanged(int value);
    void on_dynamic_dampening_slider_valueChanged(int value);
    void on_static_dampening_slider_valueChanged(int value);

private:
    void edit(float SmartDamperSettings::*field, int value);
    // Moves a dampening slider to its spin box's value, widening its range when needed.
    static void follow(QSlider* slider, int value);

    std::unique_ptr<Ui::SmartDampeningSettingsWidget> ui_;
    SmartDamperSettings* settings_ = nullptr;
    bool updating_ = false;
};
