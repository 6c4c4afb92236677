#include "ui/condorshakersettingswidget.h"

#include "records/condorshakersettings.h"
#include "ui/rangecontrol.h"
#include "ui_condorshakersettingswidget.h"

CondorShakerSettingsWidget::CondorShakerSettingsWidget(QWidget* parent)
    : QWidget(parent), ui_(std::make_unique<Ui::CondorShakerSettingsWidget>()),
      binder_([this] { emit settingsChanged(); }) {
    ui_->setupUi(this);
    RangeControl::reportFinishedValuesOnly(this);
    using S = CondorShakerSettings;
    binder_.number(ui_->total_effect_strength, ui_->total_effect_strength_slider, &S::total_effect_strength);
    binder_.range(RangeControl::minMax(ui_->min_effect_frequency, ui_->min_effect_frequency_slider,
                                       ui_->max_effect_frequency, ui_->max_effect_frequency_slider, this),
                  &S::frequency);
    binder_.number(ui_->frequency_exponent, ui_->frequency_exponent_slider, &S::frequency, &EffectRange::exp);
}

CondorShakerSettingsWidget::~CondorShakerSettingsWidget() = default;

void CondorShakerSettingsWidget::bind(CondorShakerSettings* settings) {
    binder_.bind(settings);
}

void CondorShakerSettingsWidget::refresh() {
    binder_.refresh();
}
