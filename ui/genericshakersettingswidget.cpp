#include "ui/genericshakersettingswidget.h"

#include "records/genericspeeddependantshakersettings.h"
#include "ui/curvepreviewwidget.h"
#include "ui/rangecontrol.h"
#include "ui_genericshakersettingswidget.h"

GenericShakerSettingsWidget::GenericShakerSettingsWidget(QWidget* parent)
    : QWidget(parent), ui_(std::make_unique<Ui::GenericShakerSettingsWidget>()),
      binder_([this] { emit settingsChanged(); }) {
    ui_->setupUi(this);
    RangeControl::reportFinishedValuesOnly(this);
    // The curve preview below the form redraws at every edit and every refresh.
    connect(this, &GenericShakerSettingsWidget::settingsChanged,
            CurvePreviewWidget::addToPanel(this, binder_.settingsSlot()), &CurvePreviewWidget::redraw);
    using S = GenericSpeedDependantShakerSettings;
    binder_.number(ui_->total_effect_strength, ui_->total_effect_strength_slider, &S::total_effect_strength);
    bindSpeedRows(binder_, ui_.get(), this);
    bindFrequencyRows(binder_, ui_.get(), this);
}

GenericShakerSettingsWidget::~GenericShakerSettingsWidget() = default;

void GenericShakerSettingsWidget::bind(GenericSpeedDependantShakerSettings* settings) {
    binder_.bind(settings);
    findChild<CurvePreviewWidget*>()->redraw();
}

void GenericShakerSettingsWidget::refresh() {
    binder_.refresh();
    findChild<CurvePreviewWidget*>()->redraw();
}
