#include "ui/aoashakersettingswidget.h"

#include "profiles/aoashakersettings.h"
#include "ui/curvepreviewwidget.h"
#include "ui/rangespinboxes.h"
#include "ui/spinboxvalue.h"
#include "ui_aoashakersettingswidget.h"

using Shaker = AoAShakerSettings;

AoAShakerSettingsWidget::AoAShakerSettingsWidget(QWidget* parent)
    : QWidget(parent), ui_(std::make_unique<Ui::AoAShakerSettingsWidget>()) {
    ui_->setupUi(this);
    // The curve preview below the form redraws at every edit and every refresh.
    connect(this, &AoAShakerSettingsWidget::settingsChanged, CurvePreviewWidget::addToPanel(this, &settings_),
            &CurvePreviewWidget::redraw);
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
    showRange(ui_->min_effect_strength_speed, ui_->max_effect_strength_speed,
              ui_->speed_effect_strength_exponent, settings_->speed);
    showRange(ui_->min_effect_strength_angle, ui_->max_effect_strength_angle,
              ui_->angle_effect_strength_exponent, settings_->aoa);
    showRange(ui_->min_effect_frequency, ui_->max_effect_frequency, ui_->frequency_exponent,
              settings_->frequency);
    updating_ = false;
    findChild<CurvePreviewWidget*>()->redraw();
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
    if (!updating_) {
        pushMaxAbove(ui_->max_effect_strength_speed, value);
    }
    edit(&Shaker::speed, &EffectRange::min, ui_->min_effect_strength_speed->value());
}

void AoAShakerSettingsWidget::on_max_effect_strength_speed_valueChanged(int value) {
    if (!updating_) {
        pullMinBelow(ui_->min_effect_strength_speed, value);
    }
    edit(&Shaker::speed, &EffectRange::max, ui_->max_effect_strength_speed->value());
}

void AoAShakerSettingsWidget::on_min_effect_strength_angle_valueChanged(int value) {
    if (!updating_) {
        pushMaxAbove(ui_->max_effect_strength_angle, value);
    }
    edit(&Shaker::aoa, &EffectRange::min, ui_->min_effect_strength_angle->value());
}

void AoAShakerSettingsWidget::on_max_effect_strength_angle_valueChanged(int value) {
    if (!updating_) {
        pullMinBelow(ui_->min_effect_strength_angle, value);
    }
    edit(&Shaker::aoa, &EffectRange::max, ui_->max_effect_strength_angle->value());
}

void AoAShakerSettingsWidget::on_min_effect_frequency_valueChanged(int value) {
    if (!updating_) {
        pushMaxAbove(ui_->max_effect_frequency, value);
    }
    edit(&Shaker::frequency, &EffectRange::min, ui_->min_effect_frequency->value());
}

void AoAShakerSettingsWidget::on_max_effect_frequency_valueChanged(int value) {
    if (!updating_) {
        pullMinBelow(ui_->min_effect_frequency, value);
    }
    edit(&Shaker::frequency, &EffectRange::max, ui_->max_effect_frequency->value());
}
