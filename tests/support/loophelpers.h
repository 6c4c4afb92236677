#pragma once

#include "app/mainbackgroundthread.h"

#include <QMetaObject>

// Drives the control loop's private slots by name, as the event loop would.
inline void tick(MainBackgroundThread& loop, int count = 1) {
    for (int i = 0; i < count; ++i) {
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
