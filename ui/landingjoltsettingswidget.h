#pragma once

#include "ui/settingsbinder.h"

#include <QWidget>

#include <memory>

namespace Ui {
class LandingJoltSettingsWidget;
}
class JoltSettings;

// Settings panel of the landing jolt: strength, duration, the speed range and the frequency
// range. A min never passes its max: moving one past the other pushes the other along.
//
// Threading: GUI thread.
class LandingJoltSettingsWidget : public QWidget {
    Q_OBJECT

public:
    explicit LandingJoltSettingsWidget(QWidget* parent = nullptr);
    ~LandingJoltSettingsWidget() override;

    // Keeps the pointer (which must outlive the panel) and shows its values.
    void bind(JoltSettings* settings);
    // Shows the bound values without announcing anything.
    void refresh();

signals:
    void settingsChanged();

private:
    std::unique_ptr<Ui::LandingJoltSettingsWidget> ui_;
    SettingsBinder<JoltSettings> binder_;
};
