#include "ui/rangecontrol.h"

#include <QAbstractSpinBox>
#include <QSignalBlocker>
#include <QSlider>
#include <QSpinBox>
#include <QWidget>

#include <cmath>
#include <tuple>

RangeControl::RangeControl(QSpinBox* low, QSlider* lowSlider, QSpinBox* high, QSlider* highSlider, int factor,
                           int gap, QObject* parent)
    : QObject(parent), low_(low), lowSlider_(lowSlider), high_(high), highSlider_(highSlider),
      factor_(factor > 0 ? factor : 1), gap_(gap) {
    couple(low_, lowSlider_);
    couple(high_, highSlider_);
    connect(low_, &QSpinBox::valueChanged, this, &RangeControl::lowChanged);
    connect(high_, &QSpinBox::valueChanged, this, &RangeControl::highChanged);
}

RangeControl* RangeControl::minMax(QSpinBox* min, QSlider* minSlider, QSpinBox* max, QSlider* maxSlider,
                                   QObject* parent) {
    return new RangeControl(min, minSlider, max, maxSlider, 1, 1, parent);
}

void RangeControl::reportFinishedValuesOnly(QWidget* panel) {
    for (QAbstractSpinBox* box : panel->findChildren<QAbstractSpinBox*>()) {
        box->setKeyboardTracking(false);
    }
}

void RangeControl::couple(QSpinBox* box, QSlider* slider) {
    box->setKeyboardTracking(false);
    if (!slider) {
        return;
    }
    // The form may couple the two already; the coupling is made here only, so that a slider
    // whose range is narrower than the box's never writes its clamped value back into the box.
    QObject::disconnect(slider, nullptr, box, nullptr);
    QObject::disconnect(box, nullptr, slider, nullptr);
    connect(slider, &QSlider::valueChanged, box, &QSpinBox::setValue);
    connect(box, &QSpinBox::valueChanged, slider, [slider](int value) {
        const QSignalBlocker blocker(slider);
        slider->setValue(value);
    });
}

void RangeControl::show(int low, int high) {
    // The sliders follow as far as they reach; no guard runs and nothing is announced.
    for (auto [box, slider, value] :
         {std::make_tuple(low_, lowSlider_, low), std::make_tuple(high_, highSlider_, high)}) {
        {
            const QSignalBlocker blocker(box);
            box->setValue(value);
        }
        if (slider) {
            const QSignalBlocker blocker(slider);
            slider->setValue(box->value());
        }
    }
}

int RangeControl::low() const {
    return low_->value();
}

int RangeControl::high() const {
    return high_->value();
}

void RangeControl::lowChanged(int value) {
    const long long needed = static_cast<long long>(factor_) * value + gap_;
    if (high_->value() < needed) {
        // The high box clamps to its own range; its guard then pulls this box back if needed.
        high_->setValue(static_cast<int>(std::min<long long>(needed, high_->maximum())));
    }
    emit edited(low_->value(), high_->value());
}

void RangeControl::highChanged(int value) {
    if (value < static_cast<long long>(factor_) * low_->value() + gap_) {
        const double allowed =
            std::floor(static_cast<double>(value - static_cast<long long>(gap_)) / factor_);
        low_->setValue(static_cast<int>(std::max<double>(allowed, low_->minimum())));
    }
    emit edited(low_->value(), high_->value());
}
