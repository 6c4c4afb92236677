#include "ui/genericshakersettingswidget.h"

#include "records/genericspeeddependantshakersettings.h"
#include "ui/curvepreviewwidget.h"
#include "ui/rangecontrol.h"
#include "ui/rangespinboxes.h"
#include "ui/spinboxvalue.h"
#include "ui_genericshakersettingswidget.h"

using Shaker = GenericSpeedDependantShakerSettings;

GenericShakerSettingsWidget::GenericShakerSettingsWidget(QWidget* parent)
    : QWidget(parent), ui_(std::make_unique<Ui::GenericShakerSettingsWidget>()) {
    ui_->setupUi(this);
    RangeControl::reportFinishedValuesOnly(this);
    speedRange_ =
        RangeControl::minMax(ui_->min_effect_strength_speed, ui_->min_effect_strength_speed_slider,
                             ui_->max_effect_strength_speed, ui_->max_effect_strength_speed_slider, this);
    connect(speedRange_, &RangeControl::edited, this,
            [this](int min, int max) { editRange(&Shaker::speed, min, max); });
    frequencyRange_ = RangeControl::minMax(ui_->min_effect_frequency, ui_->min_effect_frequency_slider,
                                           ui_->max_effect_frequency, ui_->max_effect_frequency_slider, this);
    connect(frequencyRange_, &RangeControl::edited, this,
            [this](int min, int max) { editRange(&Shaker::frequency, min, max); });
    // The curve preview below the form redraws at every edit and every refresh.
    connect(this, &GenericShakerSettingsWidget::settingsChanged,
            CurvePreviewWidget::addToPanel(this, &settings_), &CurvePreviewWidget::redraw);
    connect(ui_->total_effect_strength, &QSpinBox::valueChanged, this, [this](int v) {
        if (updating_ || !settings_) {
            return;
        }
        settings_->total_effect_strength = static_cast<float>(v);
        emit settingsChanged();
    });
    connect(ui_->speed_effect_strength_exponent, &QSpinBox::valueChanged, this,
            [this](int v) { edit(&Shaker::speed, &EffectRange::exp, v); });
    connect(ui_->frequency_exponent, &QSpinBox::valueChanged, this,
            [this](int v) { edit(&Shaker::frequency, &EffectRange::exp, v); });
}

GenericShakerSettingsWidget::~GenericShakerSettingsWidget() = default;

void GenericShakerSettingsWidget::bind(GenericSpeedDependantShakerSettings* settings) {
    settings_ = settings;
    refresh();
}

void GenericShakerSettingsWidget::refresh() {
    if (!settings_) {
        return;
    }
    updating_ = true;
    ui_->total_effect_strength->setValue(spinBoxValue(settings_->total_effect_strength));
    showRange(speedRange_, ui_->speed_effect_strength_exponent, settings_->speed);
    showRange(frequencyRange_, ui_->frequency_exponent, settings_->frequency);
    updating_ = false;
    findChild<CurvePreviewWidget*>()->redraw();
}

void GenericShakerSettingsWidget::edit(EffectRange Shaker::*range, float EffectRange::*part, int value) {
    if (updating_ || !settings_) {
        return;
    }
    (settings_->*range).*part = static_cast<float>(value);
    emit settingsChanged();
}

void GenericShakerSettingsWidget::editRange(EffectRange Shaker::*range, int min, int max) {
    if (updating_ || !settings_) {
        return;
    }
    storeRange(settings_->*range, min, max);
    emit settingsChanged();
}
