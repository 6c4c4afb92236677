#include "ui/smartdampeningsettingswidget.h"

#include "records/smartdampersettings.h"
#include "ui/rangecontrol.h"
#include "ui_smartdampeningsettingswidget.h"

SmartDampeningSettingsWidget::SmartDampeningSettingsWidget(QWidget* parent)
    : QWidget(parent), ui_(std::make_unique<Ui::SmartDampeningSettingsWidget>()),
      binder_([this] { emit settingsChanged(); }) {
    ui_->setupUi(this);
    RangeControl::reportFinishedValuesOnly(this);
    binder_.number(ui_->total_effect_strength, ui_->total_effect_strength_slider,
                   &SmartDamperSettings::total_effect_strength);
    couple(ui_->static_dampening_spinner, ui_->static_dampening_slider,
           &SmartDamperSettings::static_dampening);
    couple(ui_->dynamic_dampening_spinner, ui_->dynamic_dampening_slider,
           &SmartDamperSettings::dynamic_dampening);
}

SmartDampeningSettingsWidget::~SmartDampeningSettingsWidget() = default;

void SmartDampeningSettingsWidget::bind(SmartDamperSettings* settings) {
    binder_.bind(settings);
}

void SmartDampeningSettingsWidget::refresh() {
    binder_.refresh();
}

void SmartDampeningSettingsWidget::couple(QSpinBox* box, QSlider* slider, float SmartDamperSettings::*field) {
    connect(box, &QSpinBox::valueChanged, slider, [slider](int value) { follow(slider, value); });
    connect(slider, &QSlider::valueChanged, box, [box](int value) {
        if (box->value() != value) {
            box->setValue(value);
        }
    });
    binder_.number(box, nullptr, field);
    binder_.onRefresh([box, slider](const SmartDamperSettings&) {
        const QSignalBlocker blocker(slider);
        follow(slider, box->value());
    });
}

void SmartDampeningSettingsWidget::follow(QSlider* slider, int value) {
    if (value > slider->maximum()) {
        slider->setMaximum(value);
    }
    if (slider->value() != value) {
        slider->setValue(value);
    }
}
