#include "ui/landingjoltsettingswidget.h"

#include "profiles/joltsettings.h"
#include "ui/curvepreviewwidget.h"
#include "ui/rangespinboxes.h"
#include "ui/spinboxvalue.h"
#include "ui_landingjoltsettingswidget.h"

using Shaker = JoltSettings;

LandingJoltSettingsWidget::LandingJoltSettingsWidget(QWidget* parent)
    : QWidget(parent), ui_(std::make_unique<Ui::LandingJoltSettingsWidget>()) {
    ui_->setupUi(this);
    // The curve preview below the form redraws at every edit and every refresh.
    connect(this, &LandingJoltSettingsWidget::settingsChanged,
            CurvePreviewWidget::addToPanel(this, &settings_), &CurvePreviewWidget::redraw);
    connect(ui_->total_effect_strength, &QSpinBox::valueChanged, this, [this](int v) {
        if (updating_ || !settings_) {
            return;
        }
        settings_->total_effect_strength = static_cast<float>(v);
        emit settingsChanged();
    });
    connect(ui_->effect_time, &QSpinBox::valueChanged, this, [this](int v) {
        if (updating_ || !settings_) {
            return;
        }
        settings_->effect_time = static_cast<uint64_t>(v < 0 ? 0 : v);
        emit settingsChanged();
    });
    connect(ui_->speed_effect_strength_exponent, &QSpinBox::valueChanged, this,
            [this](int v) { edit(&Shaker::speed, &EffectRange::exp, v); });
    connect(ui_->frequency_exponent, &QSpinBox::valueChanged, this,
            [this](int v) { edit(&Shaker::frequency, &EffectRange::exp, v); });
}

LandingJoltSettingsWidget::~LandingJoltSettingsWidget() = default;

void LandingJoltSettingsWidget::bind(JoltSettings* settings) {
    settings_ = settings;
    refresh();
}

void LandingJoltSettingsWidget::refresh() {
    if (!settings_) {
        return;
    }
    updating_ = true;
    ui_->total_effect_strength->setValue(spinBoxValue(settings_->total_effect_strength));
    ui_->effect_time->setValue(spinBoxValue(settings_->effect_time));
    showRange(ui_->min_effect_strength_speed, ui_->max_effect_strength_speed,
              ui_->speed_effect_strength_exponent, settings_->speed);
    showRange(ui_->min_effect_frequency, ui_->max_effect_frequency, ui_->frequency_exponent,
              settings_->frequency);
    updating_ = false;
    findChild<CurvePreviewWidget*>()->redraw();
}

void LandingJoltSettingsWidget::edit(EffectRange Shaker::*range, float EffectRange::*part, int value) {
    if (updating_ || !settings_) {
        return;
    }
    (settings_->*range).*part = static_cast<float>(value);
    emit settingsChanged();
}

void LandingJoltSettingsWidget::on_min_effect_strength_speed_valueChanged(int value) {
    // A min never passes its max. The partner's own guard can move this box once more, so
    // what is stored is what the box shows afterwards, not the value it was first given.
    if (!updating_) {
        pushMaxAbove(ui_->max_effect_strength_speed, value);
    }
    edit(&Shaker::speed, &EffectRange::min, ui_->min_effect_strength_speed->value());
}

void LandingJoltSettingsWidget::on_max_effect_strength_speed_valueChanged(int value) {
    if (!updating_) {
        pullMinBelow(ui_->min_effect_strength_speed, value);
    }
    edit(&Shaker::speed, &EffectRange::max, ui_->max_effect_strength_speed->value());
}

void LandingJoltSettingsWidget::on_min_effect_frequency_valueChanged(int value) {
    if (!updating_) {
        pushMaxAbove(ui_->max_effect_frequency, value);
    }
    edit(&Shaker::frequency, &EffectRange::min, ui_->min_effect_frequency->value());
}

void LandingJoltSettingsWidget::on_max_effect_frequency_valueChanged(int value) {
    if (!updating_) {
        pullMinBelow(ui_->min_effect_frequency, value);
    }
    edit(&Shaker::frequency, &EffectRange::max, ui_->max_effect_frequency->value());
}
