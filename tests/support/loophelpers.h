#pragma once

#include "app/mainbackgroundthread.h"

#include <QMetaObject>

// Drives the control loop's private slots by name, as the event loop would. Before each tick
// it lets a device open requested by the tick before finish, as it does between real ticks.
inline void tick(MainBackgroundThread& loop, int count = 1) {
    for (int i = 0; i < count; ++i) {
        for (DeviceOpener::Device d : {DeviceOpener::Joystick, DeviceOpener::Rudder}) {
            if (loop.opener(d)) {
                loop.opener(d)->waitUntilIdle();
            }
        }
        QMetaObject::invokeMethod(&loop, "onTimout", Qt::DirectConnection);
    }
}

inline Forces calculateForces(MainBackgroundThread& loop, const PositionInput& position) {
    Forces forces;
    QMetaObject::invokeMethod(&loop, "calculateForces", Qt::DirectConnection, Q_RETURN_ARG(Forces, forces),
                              Q_ARG(PositionInput, position));
    return forces;
}

// A clock the test moves by hand, in milliseconds.
struct ManualClock {
    qint64 now = 100000;
    std::function<qint64()> function() {
        return [this] { return now; };
    }
};
