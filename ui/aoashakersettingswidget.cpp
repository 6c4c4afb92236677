#include "ui/aoashakersettingswidget.h"

#include "records/aoashakersettings.h"
#include "ui/curvepreviewwidget.h"
#include "ui/rangecontrol.h"
#include "ui/rangespinboxes.h"
#include "ui/spinboxvalue.h"
#include "ui_aoashakersettingswidget.h"

using Shaker = AoAShakerSettings;

AoAShakerSettingsWidget::AoAShakerSettingsWidget(QWidget* parent)
    : QWidget(parent), ui_(std::make_unique<Ui::AoAShakerSettingsWidget>()) {
    ui_->setupUi(this);
    RangeControl::reportFinishedValuesOnly(this);
    speedRange_ =
        RangeControl::minMax(ui_->min_effect_strength_speed, ui_->min_effect_strength_speed_slider,
                             ui_->max_effect_strength_speed, ui_->max_effect_strength_speed_slider, this);
    connect(speedRange_, &RangeControl::edited, this,
            [this](int min, int max) { editRange(&Shaker::speed, min, max); });
    aoaRange_ =
        RangeControl::minMax(ui_->min_effect_strength_angle, ui_->min_effect_strength_angle_slider,
                             ui_->max_effect_strength_angle, ui_->max_effect_strength_angle_slider, this);
    connect(aoaRange_, &RangeControl::edited, this,
            [this](int min, int max) { editRange(&Shaker::aoa, min, max); });
    frequencyRange_ = RangeControl::minMax(ui_->min_effect_frequency, ui_->min_effect_frequency_slider,
                                           ui_->max_effect_frequency, ui_->max_effect_frequency_slider, this);
    connect(frequencyRange_, &RangeControl::edited, this,
            [this](int min, int max) { editRange(&Shaker::frequency, min, max); });
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
    showRange(speedRange_, ui_->speed_effect_strength_exponent, settings_->speed);
    showRange(aoaRange_, ui_->angle_effect_strength_exponent, settings_->aoa);
    showRange(frequencyRange_, ui_->frequency_exponent, settings_->frequency);
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

void AoAShakerSettingsWidget::editRange(EffectRange Shaker::*range, int min, int max) {
    if (updating_ || !settings_) {
        return;
    }
    storeRange(settings_->*range, min, max);
    emit settingsChanged();
}
