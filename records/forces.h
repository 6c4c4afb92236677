#pragma once

#include "records/axisforce.h"

#include <QMetaType>

// The forces of the three axes, by axis index: 0 ailerons (joystick X), 1 elevator
// (joystick Y), 2 rudder.
struct Forces {
    AxisForce axis[3];

    // Multiplies the nine floats by t, the start ramp of the control loop.
    void scale(float t) {
        for (AxisForce& a : axis) {
            a.force *= t;
            a.vibration *= t;
            a.springMagnitude *= t;
        }
    }
};

Q_DECLARE_METATYPE(Forces)
