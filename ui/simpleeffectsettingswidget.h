#pragma once

#include "ui/settingsbinder.h"

#include <QWidget>

#include <memory>

namespace Ui {
class SimpleEffectSettingsWidget;
}
class SimpleEffectSettings;

// Settings panel of an effect that has only a total strength: the elevator weight and the
// IL-2 shaker, and the inside of the simple spring's panel. It writes straight into the bound
// settings object and announces every edit with settingsChanged().
//
// Threading: GUI thread.
class SimpleEffectSettingsWidget : public QWidget {
    Q_OBJECT

public:
    explicit SimpleEffectSettingsWidget(QWidget* parent = nullptr);
    ~SimpleEffectSettingsWidget() override;

    // Keeps the pointer (which must outlive the panel) and shows its values.
    void bind(SimpleEffectSettings* settings);
    // Shows the bound values without announcing anything.
    void refresh();

signals:
    void settingsChanged();

private:
    std::unique_ptr<Ui::SimpleEffectSettingsWidget> ui_;
    SettingsBinder<SimpleEffectSettings> binder_;
};
