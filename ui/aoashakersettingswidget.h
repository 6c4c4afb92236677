#pragma once

#include <QWidget>

#include <memory>

namespace Ui {
class AoAShakerSettingsWidget;
}
class AoAShakerSettings;
class RangeControl;
struct EffectRange;

// Settings panel of the AoA shaker: strength, the speed, angle and frequency ranges. A min
// never passes its max: moving one past the other pushes the other along.
//
// Threading: GUI thread.
class AoAShakerSettingsWidget : public QWidget {
    Q_OBJECT

public:
    explicit AoAShakerSettingsWidget(QWidget* parent = nullptr);
    ~AoAShakerSettingsWidget() override;

    void bind(AoAShakerSettings* settings);
    void refresh();

signals:
    void settingsChanged();

private:
    // Stores an edited value into one number of a range and announces it, unless a refresh
    // is showing values.
    void edit(EffectRange AoAShakerSettings::*range, float EffectRange::*part, int value);
    // Stores both ends of an edited range and announces it.
    void editRange(EffectRange AoAShakerSettings::*range, int min, int max);

    std::unique_ptr<Ui::AoAShakerSettingsWidget> ui_;
    AoAShakerSettings* settings_ = nullptr;
    bool updating_ = false;
    RangeControl* speedRange_ = nullptr;
    RangeControl* aoaRange_ = nullptr;
    RangeControl* frequencyRange_ = nullptr;
};
