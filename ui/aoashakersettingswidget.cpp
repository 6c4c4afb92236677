#include "ui/aoashakersettingswidget.h"

#include "profiles/aoashakersettings.h"
#include "ui/spinboxvalue.h"
#include "ui_aoashakersettingswidget.h"

using Shaker = AoAShakerSettings;

AoAShakerSettingsWidget::AoAShakerSettingsWidget(QWidget* parent)
    : QWidget(parent), ui_(std::make_unique<Ui::AoAShakerSettingsWidget>()) {
    ui_->setupUi(this);
    connect(ui_->total_effect_strength, &QSpinBox::valueChanged, this, [this](int v) {
        if (updating_ || !settings_) {
            return;
        }
        settings_->total_effect_strength = static_cast<float>(v);
        emit settingsChanged();
    });
    connect(ui_->speed_effect_strength_exponent, &QSpinBox::valueChanged, this,
            [this](int v) { edit(&Shaker::speed, &EffectRange::exp, v); });
    connect(ui_->angle_effect_strength_exponent, &QSpinBox::valueChanged, this,
            [this](int v) { edit(&Shaker::aoa, &EffectRange::exp, v); });
    connect(ui_->frequency_exponent, &QSpinBox::valueChanged, this,
            [this](int v) { edit(&Shaker::frequency, &EffectRange::exp, v); });
}

AoAShakerSettingsWidget::~AoAShakerSettingsWidget() = default;

void AoAShakerSettingsWidget::bind(AoAShakerSettings* settings) {
    settings_ = settings;
    refresh();
}

void AoAShakerSettingsWidget::refresh() {
    if (!settings_) {
        return;
    }
    updating_ = true;
    ui_->total_effect_strength->setValue(spinBoxValue(settings_->total_effect_strength));
    ui_->min_effect_strength_speed->setValue(spinBoxValue(settings_->speed.min));
    ui_->max_effect_strength_speed->setValue(spinBoxValue(settings_->speed.max));
    ui_->speed_effect_strength_exponent->setValue(spinBoxValue(settings_->speed.exp));
    ui_->min_effect_strength_angle->setValue(spinBoxValue(settings_->aoa.min));
    ui_->max_effect_strength_angle->setValue(spinBoxValue(settings_->aoa.max));
    ui_->angle_effect_strength_exponent->setValue(spinBoxValue(settings_->aoa.exp));
    ui_->min_effect_frequency->setValue(spinBoxValue(settings_->frequency.min));
    ui_->max_effect_frequency->setValue(spinBoxValue(settings_->frequency.max));
    ui_->frequency_exponent->setValue(spinBoxValue(settings_->frequency.exp));
    updating_ = false;
}

void AoAShakerSettingsWidget::edit(EffectRange Shaker::*range, float EffectRange::*part, int value) {
    if (updating_ || !settings_) {
        return;
    }
    (settings_->*range).*part = static_cast<float>(value);
    emit settingsChanged();
}

void AoAShakerSettingsWidget::on_min_effect_strength_speed_valueChanged(int value) {
    // A min never passes its max. The partner's own guard can move this box once more, so
    // what is stored is what the box shows afterwards, not the value it was first given.
    if (!updating_ && value >= ui_->max_effect_strength_speed->value()) {
        ui_->max_effect_strength_speed->setValue(value + 1);
    }
    edit(&Shaker::speed, &EffectRange::min, ui_->min_effect_strength_speed->value());
}

void AoAShakerSettingsWidget::on_max_effect_strength_speed_valueChanged(int value) {
    if (!updating_ && ui_->min_effect_strength_speed->value() >= value) {
        ui_->min_effect_strength_speed->setValue(value - 1);
    }
    edit(&Shaker::speed, &EffectRange::max, ui_->max_effect_strength_speed->value());
}

void AoAShakerSettingsWidget::on_min_effect_strength_angle_valueChanged(int value) {
    if (!updating_ && value >= ui_->max_effect_strength_angle->value()) {
        ui_->max_effect_strength_angle->setValue(value + 1);
    }
    edit(&Shaker::aoa, &EffectRange::min, ui_->min_effect_strength_angle->value());
}

void AoAShakerSettingsWidget::on_max_effect_strength_angle_valueChanged(int value) {
    if (!updating_ && ui_->min_effect_strength_angle->value() >= value) {
        ui_->min_effect_strength_angle->setValue(value - 1);
    }
    edit(&Shaker::aoa, &EffectRange::max, ui_->max_effect_strength_angle->value());
}

void AoAShakerSettingsWidget::on_min_effect_frequency_valueChanged(int value) {
    if (!updating_ && value >= ui_->max_effect_frequency->value()) {
        ui_->max_effect_frequency->setValue(value + 1);
    }
    edit(&Shaker::frequency, &EffectRange::min, ui_->min_effect_frequency->value());
}

void AoAShakerSettingsWidget::on_max_effect_frequency_valueChanged(int value) {
    if (!updating_ && ui_->min_effect_frequency->value() >= value) {
        ui_->min_effect_frequency->setValue(value - 1);
    }
    edit(&Shaker::frequency, &EffectRange::max, ui_->max_effect_frequency->value());
}
