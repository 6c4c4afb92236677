#pragma once

#include "engine/mainbackgroundthread.h"

#include <QMetaObject>

// Lets every device link finish what it was given (an open, the reports of a tick), as the
// devices' own time passes between real ticks.
inline void settle(MainBackgroundThread& loop) {
    for (DeviceLink::Device d : {DeviceLink::Joystick, DeviceLink::Rudder}) {
        loop.link(d)->waitUntilIdle();
    }
}

// Drives the control loop's tick slot by name, as the event loop would. Around each tick it
// lets the device links finish, so that a test sees what the devices were sent and read.
inline void tick(MainBackgroundThread& loop, int count = 1) {
    for (int i = 0; i < count; ++i) {
        settle(loop);
        QMetaObject::invokeMethod(&loop, "onTimout", Qt::DirectConnection);
        settle(loop);
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
