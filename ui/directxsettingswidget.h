#pragma once

#include "ui/settingsbinder.h"

#include <QWidget>

#include <memory>

namespace Ui {
class DirectXSettingsWidget;
}
class DirectXSettings;

// Settings panel of the gains for the force-feedback effects a game sends to the device
// itself: total, spring, periodic and trimmer strength.
//
// Threading: GUI thread.
class DirectXSettingsWidget : public QWidget {
    Q_OBJECT

public:
    explicit DirectXSettingsWidget(QWidget* parent = nullptr);
    ~DirectXSettingsWidget() override;

    // Keeps the pointer (which must outlive the panel) and shows its values.
    void bind(DirectXSettings* settings);
    // Shows the bound values without announcing anything.
    void refresh();

signals:
    void settingsChanged();

private:
    std::unique_ptr<Ui::DirectXSettingsWidget> ui_;
    SettingsBinder<DirectXSettings> binder_;
};
