#pragma once

#include <QWidget>

#include <memory>

namespace Ui {
class CondorShakerSettingsWidget;
}
class CondorShakerSettings;
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

private slots:
    void on_min_effect_frequency_valueChanged(int value);
    void on_max_effect_frequency_valueChanged(int value);

private:
    void edit(float EffectRange::*part, int value);

    std::unique_ptr<Ui::CondorShakerSettingsWidget> ui_;
    CondorShakerSettings* settings_ = nullptr;
    bool updating_ = false;
};
