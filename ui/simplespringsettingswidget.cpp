#include "ui/simplespringsettingswidget.h"

#include "ui_simplespringsettingswidget.h"

SimpleSpringSettingsWidget::SimpleSpringSettingsWidget(QWidget* parent)
    : QWidget(parent), ui_(std::make_unique<Ui::SimpleSpringSettingsWidget>()) {
    ui_->setupUi(this);
    connect(ui_->simple_effect_settings_widget, &SimpleEffectSettingsWidget::settingsChanged, this,
            &SimpleSpringSettingsWidget::settingsChanged);
}

SimpleSpringSettingsWidget::~SimpleSpringSettingsWidget() = default;

void SimpleSpringSettingsWidget::bind(SimpleEffectSettings* settings) {
    ui_->simple_effect_settings_widget->bind(settings);
}

void SimpleSpringSettingsWidget::refresh() {
    ui_->simple_effect_settings_widget->refresh();
}
