#pragma once

#include "profiles/effectrange.h"
#include "ui/spinboxvalue.h"

#include <QSpinBox>

// The spin boxes of a range's rows in the shaker panels, and the guard that keeps a range's
// min below its max. GUI thread only.

// Shows a stored range in its min, max and exponent spin boxes.
inline void showRange(QSpinBox* min, QSpinBox* max, QSpinBox* exp, const EffectRange& range) {
    min->setValue(spinBoxValue(range.min));
    max->setValue(spinBoxValue(range.max));
    exp->setValue(spinBoxValue(range.exp));
}

// Run before an edited min is stored: a min that reaches its max pushes the max to min + 1.
// The max clamps to its own range, so at the range's end the two can become equal.
inline void pushMaxAbove(QSpinBox* max, int min) {
    if (min >= max->value()) {
        max->setValue(min + 1);
    }
}

// Run before an edited max is stored: a max that reaches its min pulls the min to max - 1.
inline void pullMinBelow(QSpinBox* min, int max) {
    if (min->value() >= max) {
        min->setValue(max - 1);
    }
}
