#include "ui/simpleeffectsettingswidget.h"

#include "records/simpleeffectsettings.h"
#include "ui/rangecontrol.h"
#include "ui/spinboxvalue.h"
#include "ui_simpleeffectsettingswidget.h"

SimpleEffectSettingsWidget::SimpleEffectSettingsWidget(QWidget* parent)
    : QWidget(parent), ui_(std::make_unique<Ui::SimpleEffectSettingsWidget>()) {
    ui_->setupUi(this);
    RangeControl::reportFinishedValuesOnly(this);
    connect(ui_->total_effect_strength, &QSpinBox::valueChanged, this, [this](int value) {
        if (updating_ || !settings_) {
            return;
        }
        settings_->total_effect_strength = static_cast<float>(value);
        emit settingsChanged();
    });
}

SimpleEffectSettingsWidget::~SimpleEffectSettingsWidget() = default;

void SimpleEffectSettingsWidget::bind(SimpleEffectSettings* settings) {
    settings_ = settings;
    refresh();
}

void SimpleEffectSettingsWidget::refresh() {
    if (!settings_) {
        return;
    }
    updating_ = true;
    ui_->total_effect_strength->setValue(spinBoxValue(settings_->total_effect_strength));
    updating_ = false;
}
