#include "ui/aoashakersettingswidget.h"

#include "records/aoashakersettings.h"
#include "ui/curvepreviewwidget.h"
#include "ui/rangecontrol.h"
#include "ui_aoashakersettingswidget.h"

AoAShakerSettingsWidget::AoAShakerSettingsWidget(QWidget* parent)
    : QWidget(parent), ui_(std::make_unique<Ui::AoAShakerSettingsWidget>()),
      binder_([this] { emit settingsChanged(); }) {
    ui_->setupUi(this);
    RangeControl::reportFinishedValuesOnly(this);
    // The curve preview below the form redraws at every edit and every refresh.
    connect(this, &AoAShakerSettingsWidget::settingsChanged,
            CurvePreviewWidget::addToPanel(this, binder_.settingsSlot()), &CurvePreviewWidget::redraw);
    using S = AoAShakerSettings;
    binder_.number(ui_->total_effect_strength, ui_->total_effect_strength_slider, &S::total_effect_strength);
    bindSpeedRows(binder_, ui_.get(), this);
    binder_.range(RangeControl::minMax(ui_->min_effect_strength_angle, ui_->min_effect_strength_angle_slider,
                                       ui_->max_effect_strength_angle, ui_->max_effect_strength_angle_slider,
                                       this),
                  &S::aoa);
    binder_.number(ui_->angle_effect_strength_exponent, ui_->angle_effect_strength_exponent_slider, &S::aoa,
                   &EffectRange::exp);
    bindFrequencyRows(binder_, ui_.get(), this);
}

AoAShakerSettingsWidget::~AoAShakerSettingsWidget() = default;

void AoAShakerSettingsWidget::bind(AoAShakerSettings* settings) {
    binder_.bind(settings);
    findChild<CurvePreviewWidget*>()->redraw();
}

void AoAShakerSettingsWidget::refresh() {
    binder_.refresh();
    findChild<CurvePreviewWidget*>()->redraw();
}
