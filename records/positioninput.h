#pragma once

#include <QMetaType>

// Stick and pedal positions, each the device's position minus the offset it reports;
// 1.0 and -1.0 are full deflection. A device that is not connected leaves its entries 0.0.
struct PositionInput {
    float roll = 0.0f;  // joystick X, axis 0
    float pitch = 0.0f; // joystick Y, axis 1
    float yaw = 0.0f;   // rudder, axis 2

    float axis(int index) const { return index == 0 ? roll : (index == 1 ? pitch : yaw); }
};

Q_DECLARE_METATYPE(PositionInput)
Q_DECLARE_METATYPE(PositionInput*)
