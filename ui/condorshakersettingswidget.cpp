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
    bindFrequencyRows(binder_, ui_.get(), this);
}

CondorShakerSettingsWidget::~CondorShakerSettingsWidget() = default;

void CondorShakerSettingsWidget::bind(CondorShakerSettings* settings) {
    binder_.bind(settings);
}

void CondorShakerSettingsWidget::refresh() {
    binder_.refresh();
}
