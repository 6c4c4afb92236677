#include "ui/airflowspringsettingswidget.h"

#include "profiles/airflowspringsettings.h"
#include "ui/curvepreviewwidget.h"
#include "ui/spinboxvalue.h"
#include "ui_airflowspringsettingswidget.h"

AirflowSpringSettingsWidget::AirflowSpringSettingsWidget(QWidget* parent)
    : QWidget(parent), ui_(std::make_unique<Ui::AirflowSpringSettingsWidget>()) {
    ui_->setupUi(this);
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
    ui_->attenuation_start_airspeed_spinner->setValue(spinBoxValue(settings_->attenuation_start_airspeed));
    ui_->attenuation_end_airspeed_spinner->setValue(spinBoxValue(settings_->attenuation_end_airspeed));
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

void AirflowSpringSettingsWidget::on_attenuation_start_airspeed_spinner_valueChanged(int value) {
    // The end speed stays at least twice the start speed. While a refresh shows the stored
    // values they are shown as they are.
    if (!updating_ && value >= ui_->attenuation_end_airspeed_spinner->value() / 2) {
        ui_->attenuation_end_airspeed_spinner->setValue(2 * value);
    }
    storeAttenuationAirspeeds();
}

void AirflowSpringSettingsWidget::on_attenuation_end_airspeed_spinner_valueChanged(int value) {
    if (!updating_ && 2 * ui_->attenuation_start_airspeed_spinner->value() >= value) {
        ui_->attenuation_start_airspeed_spinner->setValue(value / 2);
    }
    storeAttenuationAirspeeds();
}

void AirflowSpringSettingsWidget::storeAttenuationAirspeeds() {
    if (updating_ || !settings_) {
        return;
    }
    settings_->setAttenuationAirspeeds(static_cast<float>(ui_->attenuation_start_airspeed_spinner->value()),
                                       static_cast<float>(ui_->attenuation_end_airspeed_spinner->value()));
    emit settingsChanged();
}
