#pragma once

#include "engine/mainbackgroundthread.h"
#include "support/udptesting.h"
#include "telemetry/telemetryendpoints.h"

#include <QHostAddress>
#include <QTcpServer>

// Free ports on loopback for every game, so that engines and control objects run side by side
// and never take a game's own port. Nothing answers at War Thunder's or X-Plane's.
inline TelemetryEndpoints freeEndpoints() {
    TelemetryEndpoints e;
    e.dcsPort = UdpTesting::freePort();
    e.il2Port = UdpTesting::freePort();
    e.condorPort = UdpTesting::freePort();
    e.xplanePort = UdpTesting::freePort();
    QTcpServer closed;
    closed.listen(QHostAddress::LocalHost, 0);
    e.warthunderUrl = QUrl(QStringLiteral("http://127.0.0.1:%1/state").arg(closed.serverPort()));
    return e;
}

// Lets every device link finish what it was given (an open, the reports of a tick), as the
// devices' own time passes between real ticks.
inline void settle(MainBackgroundThread& loop) {
    for (DeviceLink::Device d : {DeviceLink::Joystick, DeviceLink::Rudder}) {
        loop.link(d)->waitUntilIdle();
    }
}

// Runs the loop's period as the control thread does. Around each tick it lets the device links
// finish, so that a test sees what the devices were sent and read.
inline void tick(MainBackgroundThread& loop, int count = 1) {
    for (int i = 0; i < count; ++i) {
        settle(loop);
        loop.tick();
        settle(loop);
    }
}

inline Forces calculateForces(MainBackgroundThread& loop, const PositionInput& position) {
    return loop.calculateForces(position);
}

// A clock the test moves by hand, in milliseconds.
struct ManualClock {
    qint64 now = 100000;
    std::function<qint64()> function() {
        return [this] { return now; };
    }
};
