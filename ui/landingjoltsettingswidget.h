#pragma once

#include <QWidget>

#include <memory>

namespace Ui {
class LandingJoltSettingsWidget;
}
class JoltSettings;
class RangeControl;
struct EffectRange;

// Settings panel of the landing jolt: strength, duration, the speed range and the frequency
// range. A min never passes its max: moving one past the other pushes the other along.
//
// Threading: GUI thread.
class LandingJoltSettingsWidget : public QWidget {
    Q_OBJECT

public:
    explicit LandingJoltSettingsWidget(QWidget* parent = nullptr);
    ~LandingJoltSettingsWidget() override;

    void bind(JoltSettings* settings);
    void refresh();

signals:
    void settingsChanged();

private:
    // Stores an edited value into one number of a range and announces it, unless a refresh
    // is showing values.
    void edit(EffectRange JoltSettings::*range, float EffectRange::*part, int value);
    // Stores both ends of an edited range and announces it.
    void editRange(EffectRange JoltSettings::*range, int min, int max);

    std::unique_ptr<Ui::LandingJoltSettingsWidget> ui_;
    JoltSettings* settings_ = nullptr;
    bool updating_ = false;
    RangeControl* speedRange_ = nullptr;
    RangeControl* frequencyRange_ = nullptr;
};
