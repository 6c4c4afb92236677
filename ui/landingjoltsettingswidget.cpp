#include "ui/landingjoltsettingswidget.h"

#include "records/joltsettings.h"
#include "ui/curvepreviewwidget.h"
#include "ui/rangecontrol.h"
#include "ui_landingjoltsettingswidget.h"

LandingJoltSettingsWidget::LandingJoltSettingsWidget(QWidget* parent)
    : QWidget(parent), ui_(std::make_unique<Ui::LandingJoltSettingsWidget>()),
      binder_([this] { emit settingsChanged(); }) {
    ui_->setupUi(this);
    RangeControl::reportFinishedValuesOnly(this);
    // The curve preview below the form redraws at every edit and every refresh.
    connect(this, &LandingJoltSettingsWidget::settingsChanged,
            CurvePreviewWidget::addToPanel(this, binder_.settingsSlot()), &CurvePreviewWidget::redraw);
    using S = JoltSettings;
    binder_.number(ui_->total_effect_strength, ui_->total_effect_strength_slider, &S::total_effect_strength);
    binder_.number(ui_->effect_time, ui_->effect_time_slider, &S::effect_time);
    bindSpeedRows(binder_, ui_.get(), this);
    bindFrequencyRows(binder_, ui_.get(), this);
}

LandingJoltSettingsWidget::~LandingJoltSettingsWidget() = default;

void LandingJoltSettingsWidget::bind(JoltSettings* settings) {
    binder_.bind(settings);
    findChild<CurvePreviewWidget*>()->redraw();
}

void LandingJoltSettingsWidget::refresh() {
    binder_.refresh();
    findChild<CurvePreviewWidget*>()->redraw();
}
