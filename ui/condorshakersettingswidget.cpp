#include "ui/condorshakersettingswidget.h"

#include "profiles/condorshakersettings.h"
#include "ui/rangespinboxes.h"
#include "ui/spinboxvalue.h"
#include "ui_condorshakersettingswidget.h"

CondorShakerSettingsWidget::CondorShakerSettingsWidget(QWidget* parent)
    : QWidget(parent), ui_(std::make_unique<Ui::CondorShakerSettingsWidget>()) {
    ui_->setupUi(this);
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
    showRange(ui_->min_effect_frequency, ui_->max_effect_frequency, ui_->frequency_exponent,
              settings_->frequency);
    updating_ = false;
}

void CondorShakerSettingsWidget::edit(float EffectRange::*part, int value) {
    if (updating_ || !settings_) {
        return;
    }
    settings_->frequency.*part = static_cast<float>(value);
    emit settingsChanged();
}

void CondorShakerSettingsWidget::on_min_effect_frequency_valueChanged(int value) {
    // A min never passes its max. The partner's own guard can move this box once more, so
    // what is stored is what the box shows afterwards, not the value it was first given.
    if (!updating_) {
        pushMaxAbove(ui_->max_effect_frequency, value);
    }
    edit(&EffectRange::min, ui_->min_effect_frequency->value());
}

void CondorShakerSettingsWidget::on_max_effect_frequency_valueChanged(int value) {
    if (!updating_) {
        pullMinBelow(ui_->min_effect_frequency, value);
    }
    edit(&EffectRange::max, ui_->max_effect_frequency->value());
}
