#pragma once

#include <QWidget>

#include <memory>

namespace Ui {
class CondorShakerSettingsWidget;
}
class CondorShakerSettings;
class RangeControl;
struct EffectRange;

// Settings panel of the Condor 2 shaker: strength (at most 99) and the frequency range, whose
// min never passes its max.
//
// Threading: GUI thread.
class CondorShakerSettingsWidget : public QWidget {
    Q_OBJECT

public:
    explicit CondorShakerSettingsWidget(QWidget* parent = nullptr);
    ~CondorShakerSettingsWidget() override;

    void bind(CondorShakerSettings* settings);
    void refresh();

signals:
    void settingsChanged();

private:
    void edit(float EffectRange::*part, int value);
    void editRange(int min, int max);

    std::unique_ptr<Ui::CondorShakerSettingsWidget> ui_;
    CondorShakerSettings* settings_ = nullptr;
    bool updating_ = false;
    RangeControl* frequencyRange_ = nullptr;
};
