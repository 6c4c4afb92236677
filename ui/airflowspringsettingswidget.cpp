#include "ui/airflowspringsettingswidget.h"

#include "records/airflowspringsettings.h"
#include "ui/curvepreviewwidget.h"
#include "ui/rangecontrol.h"
#include "ui_airflowspringsettingswidget.h"

AirflowSpringSettingsWidget::AirflowSpringSettingsWidget(QWidget* parent)
    : QWidget(parent), ui_(std::make_unique<Ui::AirflowSpringSettingsWidget>()),
      binder_([this] { emit settingsChanged(); }) {
    ui_->setupUi(this);
    RangeControl::reportFinishedValuesOnly(this);
    // The curve preview below the form redraws at every edit and every refresh.
    connect(this, &AirflowSpringSettingsWidget::settingsChanged,
            CurvePreviewWidget::addToPanel(this, binder_.settingsSlot()), &CurvePreviewWidget::redraw);
    using S = AirflowSpringSettings;
    binder_.number(ui_->total_effect_strength, ui_->total_effect_strength_slider, &S::total_effect_strength);
    binder_.number(ui_->airspeed_force_spinner, ui_->airspeed_force_slider, &S::airspeed_force);
    binder_.number(ui_->thrust_force_spinner, ui_->thrust_force_slider, &S::thrust_force);
    binder_.number(ui_->attenuation_strength, ui_->attenuation_strength_slider, &S::attenuation_strength);
    // The attenuation ends at no less than twice the speed where it starts; every change of
    // either end rebuilds the attenuation curve.
    auto* attenuation = new RangeControl(
        ui_->attenuation_start_airspeed_spinner, ui_->attenuation_start_airspeed_slider,
        ui_->attenuation_end_airspeed_spinner, ui_->attenuation_end_airspeed_slider, 2, 0, this);
    connect(attenuation, &RangeControl::edited, this, [this](int start, int end) {
        binder_.write(
            [&](S& s) { s.setAttenuationAirspeeds(static_cast<float>(start), static_cast<float>(end)); });
    });
    binder_.onRefresh([attenuation](const S& s) {
        attenuation->show(spinBoxValue(s.attenuation_start_airspeed),
                          spinBoxValue(s.attenuation_end_airspeed));
    });
    binder_.number(ui_->local_aoa_influence_strength, ui_->local_aoa_influence_strength_slider,
                   &S::local_aoa_influence_strength);
}

AirflowSpringSettingsWidget::~AirflowSpringSettingsWidget() = default;

void AirflowSpringSettingsWidget::bind(AirflowSpringSettings* settings) {
    binder_.bind(settings);
    findChild<CurvePreviewWidget*>()->redraw();
}

void AirflowSpringSettingsWidget::refresh() {
    binder_.refresh();
    findChild<CurvePreviewWidget*>()->redraw();
}
