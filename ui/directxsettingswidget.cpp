#include "ui/directxsettingswidget.h"

#include "records/directxsettings.h"
#include "ui/rangecontrol.h"
#include "ui/spinboxvalue.h"
#include "ui_directxsettingswidget.h"

DirectXSettingsWidget::DirectXSettingsWidget(QWidget* parent)
    : QWidget(parent), ui_(std::make_unique<Ui::DirectXSettingsWidget>()) {
    ui_->setupUi(this);
    RangeControl::reportFinishedValuesOnly(this);
    connect(ui_->total_effect_strength, &QSpinBox::valueChanged, this,
            [this](int v) { edit(&DirectXSettings::total_effect_strength, v); });
    connect(ui_->spring_effect_strength, &QSpinBox::valueChanged, this,
            [this](int v) { edit(&DirectXSettings::force, v); });
    connect(ui_->periodic_effect_strength, &QSpinBox::valueChanged, this,
            [this](int v) { edit(&DirectXSettings::periodic, v); });
    connect(ui_->trimmer_effect_strength, &QSpinBox::valueChanged, this,
            [this](int v) { edit(&DirectXSettings::trimmer, v); });
}

DirectXSettingsWidget::~DirectXSettingsWidget() = default;

void DirectXSettingsWidget::bind(DirectXSettings* settings) {
    settings_ = settings;
    refresh();
}

void DirectXSettingsWidget::refresh() {
    if (!settings_) {
        return;
    }
    updating_ = true;
    ui_->total_effect_strength->setValue(spinBoxValue(settings_->total_effect_strength));
    ui_->spring_effect_strength->setValue(spinBoxValue(settings_->force));
    ui_->periodic_effect_strength->setValue(spinBoxValue(settings_->periodic));
    ui_->trimmer_effect_strength->setValue(spinBoxValue(settings_->trimmer));
    updating_ = false;
}

void DirectXSettingsWidget::edit(float DirectXSettings::*field, int value) {
    if (updating_ || !settings_) {
        return;
    }
    settings_->*field = static_cast<float>(value);
    emit settingsChanged();
}
