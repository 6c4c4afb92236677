#pragma once

#include <QString>
#include <QUrl>
#include <QtGlobal>

// Where TelemetryThread's sources listen or ask for their games' data. The defaults are the
// games' own ports and address; tests hand in free ports so that the whole worker runs on
// loopback without touching them. A plain value, read once by the TelemetryThread constructor.
struct TelemetryEndpoints {
    quint16 dcsPort = 29778;
    quint16 il2Port = 29777;
    quint16 condorPort = 55278;
    QUrl warthunderUrl{QStringLiteral("http://127.0.0.1:8111/state"), QUrl::TolerantMode};
    // Where X-Plane receives its requests: this computer's port 49000 unless the user names
    // another computer (main() sets it from the command line or the settings).
    QString xplaneHost = QStringLiteral("127.0.0.1");
    quint16 xplanePort = 49000;

    // The environment variable that moves the games' ports of a program run beside others (tests,
    // benchmarks): "dcs=PORT,il2=PORT,condor=PORT,warthunder=PORT,xplane=PORT", any subset.
    // Applying it puts War Thunder and X-Plane on 127.0.0.1. False on an unknown game, a repeated
    // one or a port that is not 1..65535: nothing is changed then, and `error` says why.
    static constexpr const char* PortsVariable = "TRENNAL_TELEMETRY_PORTS";
    bool applyPorts(const QString& ports, QString* error);
};
