#include "ui/condorshakersettingswidget.h"

#include "records/condorshakersettings.h"
#include "ui/rangecontrol.h"
#include "ui/rangespinboxes.h"
#include "ui/spinboxvalue.h"
#include "ui_condorshakersettingswidget.h"

CondorShakerSettingsWidget::CondorShakerSettingsWidget(QWidget* parent)
    : QWidget(parent), ui_(std::make_unique<Ui::CondorShakerSettingsWidget>()) {
    ui_->setupUi(this);
    RangeControl::reportFinishedValuesOnly(this);
    frequencyRange_ = RangeControl::minMax(ui_->min_effect_frequency, ui_->min_effect_frequency_slider,
                                           ui_->max_effect_frequency, ui_->max_effect_frequency_slider, this);
    connect(frequencyRange_, &RangeControl::edited, this, [this](int min, int max) { editRange(min, max); });
    connect(ui_->total_effect_strength, &QSpinBox::valueChanged, this, [this](int v) {
        if (updating_ || !settings_) {
            return;
        }
        settings_->total_effect_strength = static_cast<float>(v);
        emit settingsChanged();
    });
    connect(ui_->frequency_exponent, &QSpinBox::valueChanged, this,
            [this](int v) { edit(&EffectRange::exp, v); });
}

CondorShakerSettingsWidget::~CondorShakerSettingsWidget() = default;

void CondorShakerSettingsWidget::bind(CondorShakerSettings* settings) {
    settings_ = settings;
    refresh();
}

void CondorShakerSettingsWidget::refresh() {
    if (!settings_) {
        return;
    }
    updating_ = true;
    ui_->total_effect_strength->setValue(spinBoxValue(settings_->total_effect_strength));
    showRange(frequencyRange_, ui_->frequency_exponent, settings_->frequency);
    updating_ = false;
}

void CondorShakerSettingsWidget::edit(float EffectRange::*part, int value) {
    if (updating_ || !settings_) {
        return;
    }
    settings_->frequency.*part = static_cast<float>(value);
    emit settingsChanged();
}

void CondorShakerSettingsWidget::editRange(int min, int max) {
    if (updating_ || !settings_) {
        return;
    }
    storeRange(settings_->frequency, min, max);
    emit settingsChanged();
}
