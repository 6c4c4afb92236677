#pragma once

#include <QObject>

class QSlider;
class QSpinBox;
class QWidget;

// The two rows of a range in an effect panel, its low and its high end, each a spin box
// coupled to a slider, and the rule that keeps them apart: high >= factor * low + gap. An
// edited low end that breaks the rule pushes the high end up; an edited high end pulls the
// low end down. Where the partner stops at its own limit, the partner's guard moves the edited
// box back, so the rule holds wherever it can. The boxes report only finished values (Enter,
// focus leaving the box, the arrows, the slider), so the guards never see half-typed numbers.
//
// Threading: GUI thread; the boxes and sliders belong to the panel that owns this object.
class RangeControl : public QObject {
    Q_OBJECT

public:
    RangeControl(QSpinBox* low, QSlider* lowSlider, QSpinBox* high, QSlider* highSlider, int factor, int gap,
                 QObject* parent);

    // A min/max pair: the max stays at least one above the min.
    static RangeControl* minMax(QSpinBox* min, QSlider* minSlider, QSpinBox* max, QSlider* maxSlider,
                                QObject* parent);
    // Makes every spin box of a panel report only finished values.
    static void reportFinishedValuesOnly(QWidget* panel);

    // Shows stored values in both rows as they are: no guard runs and nothing is announced.
    void show(int low, int high);
    int low() const;
    int high() const;

signals:
    // A user edit changed one end; carries what both boxes show at that moment.
    void edited(int low, int high);

private:
    void couple(QSpinBox* box, QSlider* slider);
    void lowChanged(int value);
    void highChanged(int value);

    QSpinBox* low_;
    QSlider* lowSlider_;
    QSpinBox* high_;
    QSlider* highSlider_;
    int factor_;
    int gap_;
};
