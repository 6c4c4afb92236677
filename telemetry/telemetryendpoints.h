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
    // another computer (setDefaultXPlane, from the command line or the settings).
    QString xplaneHost = defaultXPlaneHost();
    quint16 xplanePort = defaultXPlanePort();

    static void setDefaultXPlane(const QString& host, quint16 port) {
        defaultXPlaneHost() = host;
        defaultXPlanePort() = port;
    }

private:
    static QString& defaultXPlaneHost() {
        static QString host = QStringLiteral("127.0.0.1");
        return host;
    }
    static quint16& defaultXPlanePort() {
        static quint16 port = 49000;
        return port;
    }
};
