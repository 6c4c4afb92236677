#pragma once

#include "engine/mainbackgroundthread.h"
#include "support/udptesting.h"
#include "telemetry/telemetryendpoints.h"

#include <QtGlobal>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

// A TCP port of this computer that refuses every connection for as long as the test runs: bound
// but never listening, so no other test's server, started meanwhile, can take it and answer.
inline quint16 refusedTcpPort() {
    static const quint16 port = [] {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
            ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
            qFatal("no TCP port on loopback");
        }
        return ntohs(address.sin_port); // the descriptor stays open: the port stays ours
    }();
    return port;
}

// Free ports on loopback for every game, so that engines and control objects run side by side
// and never take a game's own port. Nothing answers at War Thunder's or X-Plane's.
inline TelemetryEndpoints freeEndpoints() {
    TelemetryEndpoints e;
    e.dcsPort = UdpTesting::freePort();
    e.il2Port = UdpTesting::freePort();
    e.condorPort = UdpTesting::freePort();
    e.xplanePort = UdpTesting::freePort();
    e.warthunderUrl = QUrl(QStringLiteral("http://127.0.0.1:%1/state").arg(refusedTcpPort()));
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
