#pragma once

#include <QWidget>

#include <memory>

namespace Ui {
class GenericShakerSettingsWidget;
}
class GenericSpeedDependantShakerSettings;
class RangeControl;
struct EffectRange;

// Settings panel of a speed-dependent shaker (extended gear, flaps, airbrakes, rolling on
// ground): strength, the speed range and the frequency range. A min never passes its max:
// moving one past the other pushes the other along.
//
// Threading: GUI thread.
class GenericShakerSettingsWidget : public QWidget {
    Q_OBJECT

public:
    explicit GenericShakerSettingsWidget(QWidget* parent = nullptr);
    ~GenericShakerSettingsWidget() override;

    void bind(GenericSpeedDependantShakerSettings* settings);
    void refresh();

signals:
    void settingsChanged();

private:
    // Stores an edited value into one number of a range and announces it, unless a refresh
    // is showing values.
    void edit(EffectRange GenericSpeedDependantShakerSettings::*range, float EffectRange::*part, int value);
    // Stores both ends of an edited range and announces it.
    void editRange(EffectRange GenericSpeedDependantShakerSettings::*range, int min, int max);

    std::unique_ptr<Ui::GenericShakerSettingsWidget> ui_;
    GenericSpeedDependantShakerSettings* settings_ = nullptr;
    bool updating_ = false;
    RangeControl* speedRange_ = nullptr;
    RangeControl* frequencyRange_ = nullptr;
};
