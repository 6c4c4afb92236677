#include "ui/airflowspringsettingswidget.h"

#include "records/airflowspringsettings.h"
#include "ui/curvepreviewwidget.h"
#include "ui/rangecontrol.h"
#include "ui/spinboxvalue.h"
#include "ui_airflowspringsettingswidget.h"

AirflowSpringSettingsWidget::AirflowSpringSettingsWidget(QWidget* parent)
    : QWidget(parent), ui_(std::make_unique<Ui::AirflowSpringSettingsWidget>()) {
    ui_->setupUi(this);
    RangeControl::reportFinishedValuesOnly(this);
    // The attenuation ends at no less than twice the speed where it starts.
    attenuationRange_ = new RangeControl(
        ui_->attenuation_start_airspeed_spinner, ui_->attenuation_start_airspeed_slider,
        ui_->attenuation_end_airspeed_spinner, ui_->attenuation_end_airspeed_slider, 2, 0, this);
    connect(attenuationRange_, &RangeControl::edited, this,
            &AirflowSpringSettingsWidget::storeAttenuationAirspeeds);
    // The curve preview below the form redraws at every edit and every refresh.
    connect(this, &AirflowSpringSettingsWidget::settingsChanged,
            CurvePreviewWidget::addToPanel(this, &settings_), &CurvePreviewWidget::redraw);
    connect(ui_->total_effect_strength, &QSpinBox::valueChanged, this,
            [this](int v) { edit(&AirflowSpringSettings::total_effect_strength, v); });
    connect(ui_->airspeed_force_spinner, &QSpinBox::valueChanged, this,
            [this](int v) { edit(&AirflowSpringSettings::airspeed_force, v); });
    connect(ui_->thrust_force_spinner, &QSpinBox::valueChanged, this,
            [this](int v) { edit(&AirflowSpringSettings::thrust_force, v); });
    connect(ui_->attenuation_strength, &QSpinBox::valueChanged, this,
            [this](int v) { edit(&AirflowSpringSettings::attenuation_strength, v); });
    connect(ui_->local_aoa_influence_strength, &QSpinBox::valueChanged, this,
            [this](int v) { edit(&AirflowSpringSettings::local_aoa_influence_strength, v); });
}

AirflowSpringSettingsWidget::~AirflowSpringSettingsWidget() = default;

void AirflowSpringSettingsWidget::bind(AirflowSpringSettings* settings) {
    settings_ = settings;
    refresh();
}

void AirflowSpringSettingsWidget::refresh() {
    if (!settings_) {
        return;
    }
    updating_ = true;
    ui_->total_effect_strength->setValue(spinBoxValue(settings_->total_effect_strength));
    ui_->airspeed_force_spinner->setValue(spinBoxValue(settings_->airspeed_force));
    ui_->thrust_force_spinner->setValue(spinBoxValue(settings_->thrust_force));
    ui_->attenuation_strength->setValue(spinBoxValue(settings_->attenuation_strength));
    attenuationRange_->show(spinBoxValue(settings_->attenuation_start_airspeed),
                            spinBoxValue(settings_->attenuation_end_airspeed));
    ui_->local_aoa_influence_strength->setValue(spinBoxValue(settings_->local_aoa_influence_strength));
    updating_ = false;
    findChild<CurvePreviewWidget*>()->redraw();
}

void AirflowSpringSettingsWidget::edit(float AirflowSpringSettings::*field, int value) {
    if (updating_ || !settings_) {
        return;
    }
    settings_->*field = static_cast<float>(value);
    emit settingsChanged();
}

void AirflowSpringSettingsWidget::storeAttenuationAirspeeds(int start, int end) {
    if (updating_ || !settings_) {
        return;
    }
    settings_->setAttenuationAirspeeds(static_cast<float>(start), static_cast<float>(end));
    emit settingsChanged();
}
