#include "ui/simpleeffectsettingswidget.h"

#include "records/simpleeffectsettings.h"
#include "ui/rangecontrol.h"
#include "ui_simpleeffectsettingswidget.h"

SimpleEffectSettingsWidget::SimpleEffectSettingsWidget(QWidget* parent)
    : QWidget(parent), ui_(std::make_unique<Ui::SimpleEffectSettingsWidget>()),
      binder_([this] { emit settingsChanged(); }) {
    ui_->setupUi(this);
    RangeControl::reportFinishedValuesOnly(this);
    using S = SimpleEffectSettings;
    binder_.number(ui_->total_effect_strength, ui_->total_effect_strength_slider, &S::total_effect_strength);
}

SimpleEffectSettingsWidget::~SimpleEffectSettingsWidget() = default;

void SimpleEffectSettingsWidget::bind(SimpleEffectSettings* settings) {
    binder_.bind(settings);
}

void SimpleEffectSettingsWidget::refresh() {
    binder_.refresh();
}
