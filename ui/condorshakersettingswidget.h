#pragma once

#include "ui/settingsbinder.h"

#include <QWidget>

#include <memory>

namespace Ui {
class CondorShakerSettingsWidget;
}
class CondorShakerSettings;

// Settings panel of the Condor 2 shaker: strength (at most 99) and the frequency range, whose
// min never passes its max.
//
// Threading: GUI thread.
class CondorShakerSettingsWidget : public QWidget {
    Q_OBJECT

public:
    explicit CondorShakerSettingsWidget(QWidget* parent = nullptr);
    ~CondorShakerSettingsWidget() override;

    // Keeps the pointer (which must outlive the panel) and shows its values.
    void bind(CondorShakerSettings* settings);
    // Shows the bound values without announcing anything.
    void refresh();

signals:
    void settingsChanged();

private:
    std::unique_ptr<Ui::CondorShakerSettingsWidget> ui_;
    SettingsBinder<CondorShakerSettings> binder_;
};
