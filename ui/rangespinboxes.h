#pragma once

#include "records/effectrange.h"
#include "ui/rangecontrol.h"
#include "ui/spinboxvalue.h"

#include <QSpinBox>

// Shows a stored range in a shaker panel: its ends through their range control, its exponent
// in its own spin box. Nothing is guarded or announced. GUI thread only.
inline void showRange(RangeControl* ends, QSpinBox* exp, const EffectRange& range) {
    ends->show(spinBoxValue(range.min), spinBoxValue(range.max));
    exp->setValue(spinBoxValue(range.exp));
}

// Stores both ends of an edited range as the boxes show them.
inline void storeRange(EffectRange& range, int min, int max) {
    range.min = static_cast<float>(min);
    range.max = static_cast<float>(max);
}
