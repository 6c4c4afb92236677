#include "ui/directxsettingswidget.h"

#include "records/directxsettings.h"
#include "ui/rangecontrol.h"
#include "ui_directxsettingswidget.h"

DirectXSettingsWidget::DirectXSettingsWidget(QWidget* parent)
    : QWidget(parent), ui_(std::make_unique<Ui::DirectXSettingsWidget>()),
      binder_([this] { emit settingsChanged(); }) {
    ui_->setupUi(this);
    RangeControl::reportFinishedValuesOnly(this);
    using S = DirectXSettings;
    binder_.number(ui_->total_effect_strength, ui_->total_effect_strength_slider, &S::total_effect_strength);
    binder_.number(ui_->spring_effect_strength, ui_->spring_effect_strength_slider, &S::force);
    binder_.number(ui_->periodic_effect_strength, ui_->periodic_effect_strength_slider, &S::periodic);
    binder_.number(ui_->trimmer_effect_strength, ui_->trimmer_effect_strength_slider, &S::trimmer);
}

DirectXSettingsWidget::~DirectXSettingsWidget() = default;

void DirectXSettingsWidget::bind(DirectXSettings* settings) {
    binder_.bind(settings);
}

void DirectXSettingsWidget::refresh() {
    binder_.refresh();
}
