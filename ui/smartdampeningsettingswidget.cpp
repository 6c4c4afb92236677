#include "ui/smartdampeningsettingswidget.h"

#include "records/smartdampersettings.h"
#include "ui/rangecontrol.h"
#include "ui/spinboxvalue.h"
#include "ui_smartdampeningsettingswidget.h"

SmartDampeningSettingsWidget::SmartDampeningSettingsWidget(QWidget* parent)
    : QWidget(parent), ui_(std::make_unique<Ui::SmartDampeningSettingsWidget>()) {
    ui_->setupUi(this);
    RangeControl::reportFinishedValuesOnly(this);
    connect(ui_->total_effect_strength, &QSpinBox::valueChanged, this,
            [this](int v) { edit(&SmartDamperSettings::total_effect_strength, v); });
}

SmartDampeningSettingsWidget::~SmartDampeningSettingsWidget() = default;

void SmartDampeningSettingsWidget::bind(SmartDamperSettings* settings) {
    settings_ = settings;
    refresh();
}

void SmartDampeningSettingsWidget::refresh() {
    if (!settings_) {
        return;
    }
    updating_ = true;
    ui_->total_effect_strength->setValue(spinBoxValue(settings_->total_effect_strength));
    ui_->static_dampening_spinner->setValue(spinBoxValue(settings_->static_dampening));
    ui_->dynamic_dampening_spinner->setValue(spinBoxValue(settings_->dynamic_dampening));
    updating_ = false;
}

void SmartDampeningSettingsWidget::edit(float SmartDamperSettings::*field, int value) {
    if (updating_ || !settings_) {
        return;
    }
    settings_->*field = static_cast<float>(value);
    emit settingsChanged();
}

void SmartDampeningSettingsWidget::follow(QSlider* slider, int value) {
    if (value > slider->maximum()) {
        slider->setMaximum(value);
    }
    if (slider->value() != value) {
        slider->setValue(value);
    }
}

void SmartDampeningSettingsWidget::on_static_dampening_spinner_valueChanged(int value) {
    follow(ui_->static_dampening_slider, value);
    edit(&SmartDamperSettings::static_dampening, value);
}

void SmartDampeningSettingsWidget::on_dynamic_dampening_spinner_valueChanged(int value) {
    follow(ui_->dynamic_dampening_slider, value);
    edit(&SmartDamperSettings::dynamic_dampening, value);
}

void SmartDampeningSettingsWidget::on_dynamic_dampening_slider_valueChanged(int value) {
    if (ui_->dynamic_dampening_spinner->value() != value) {
        ui_->dynamic_dampening_spinner->setValue(value);
    }
}

void SmartDampeningSettingsWidget::on_static_dampening_slider_valueChanged(int value) {
    if (ui_->static_dampening_spinner->value() != value) {
        ui_->static_dampening_spinner->setValue(value);
    }
}
