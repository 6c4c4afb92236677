#include "telemetry/telemetryendpoints.h"

#include <QStringList>

bool TelemetryEndpoints::applyPorts(const QString& ports, QString* error) {
    TelemetryEndpoints moved = *this;
    QStringList seen;
    const QStringList entries = ports.split(QLatin1Char(','), Qt::SkipEmptyParts);
    for (const QString& entry : entries) {
        const QString game = entry.section(QLatin1Char('='), 0, 0).trimmed().toLower();
        bool ok = false;
        const uint number = entry.section(QLatin1Char('='), 1).trimmed().toUInt(&ok);
        const auto port = static_cast<quint16>(number);
        if (!ok || entry.count(QLatin1Char('=')) != 1 || number == 0 || number > 65535 ||
            seen.contains(game)) {
            *error = QStringLiteral("%1: not GAME=PORT with a port of 1 to 65535, once per game: %2")
                         .arg(QLatin1String(PortsVariable), entry);
            return false;
        }
        seen << game;
        if (game == QLatin1String("dcs")) {
            moved.dcsPort = port;
        } else if (game == QLatin1String("il2")) {
            moved.il2Port = port;
        } else if (game == QLatin1String("condor")) {
            moved.condorPort = port;
        } else if (game == QLatin1String("warthunder")) {
            moved.warthunderUrl = QUrl(QStringLiteral("http://127.0.0.1:%1/state").arg(port));
        } else if (game == QLatin1String("xplane")) {
            moved.xplaneHost = QStringLiteral("127.0.0.1");
            moved.xplanePort = port;
        } else {
            *error = QStringLiteral("%1: unknown game \"%2\" (dcs, il2, condor, warthunder, xplane)")
                         .arg(QLatin1String(PortsVariable), game);
            return false;
        }
    }
    *this = moved;
    return true;
}
