#include "records/simconnectendpoint.h"

#include <QList>
#include <QRegularExpression>

namespace {

bool validPort(const QString& text, quint16* port) {
    bool ok = false;
    const uint value = text.trimmed().toUInt(&ok);
    if (!ok || value == 0 || value > 65535) {
        return false;
    }
    *port = static_cast<quint16>(value);
    return true;
}

// An IPv4 address or a host name: letters, digits, dots and hyphens.
bool validAddress(const QString& text) {
    static const QRegularExpression name(QStringLiteral("^[A-Za-z0-9][A-Za-z0-9.-]{0,252}$"));
    return name.match(text).hasMatch();
}

SimConnectConfig malformed(const QString& why) {
    return {SimConnectEndpoint(), QStringLiteral("SimConnect.cfg: %1; using 127.0.0.1:500").arg(why)};
}

} // namespace

SimConnectConfig parseSimConnectConfig(const QByteArray& bytes, int index) {
    // Windows editors save with a byte order mark: UTF-8 ("UTF-8 with BOM") or UTF-16
    // ("Unicode", "Unicode big endian"). Every character that matters is ASCII.
    QByteArray text = bytes;
    if (text.startsWith("\xEF\xBB\xBF")) {
        text.remove(0, 3);
    } else if (text.startsWith("\xFF\xFE") || text.startsWith("\xFE\xFF")) {
        // UTF-16 of either byte order, read byte by byte (the bytes need not be aligned).
        const qsizetype low = text.startsWith("\xFF\xFE") ? 0 : 1;
        QByteArray narrow;
        for (qsizetype i = 2; i + 1 < text.size(); i += 2) {
            const char high = text[i + 1 - low];
            narrow.append(high == '\0' ? text[i + low] : '?');
        }
        text = narrow;
    }
    const QString wanted = QStringLiteral("simconnect.%1").arg(index);
    bool found = false;  // the wanted section was seen
    bool inside = false; // the current line belongs to it
    QString protocol;
    QString address;
    QString port;
    bool havePort = false;
    const QList<QByteArray> lines = text.split('\n');
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QString line = QString::fromLatin1(lines[i]).trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char(';')) || line.startsWith(QLatin1Char('#'))) {
            continue;
        }
        if (line.startsWith(QLatin1Char('['))) {
            if (!line.endsWith(QLatin1Char(']'))) {
                return malformed(QStringLiteral("line %1 is not a section name").arg(i + 1));
            }
            const QString section = line.mid(1, line.size() - 2).trimmed().toLower();
            // The first matching section counts; a later one of the same name is ignored.
            inside = !found && (section == wanted || (index == 0 && section == QLatin1String("simconnect")));
            found = found || inside;
            continue;
        }
        if (!inside) {
            continue;
        }
        const qsizetype equals = line.indexOf(QLatin1Char('='));
        if (equals <= 0) {
            return malformed(QStringLiteral("line %1 is not Key=Value").arg(i + 1));
        }
        const QString key = line.left(equals).trimmed().toLower();
        const QString value = line.mid(equals + 1).trimmed();
        if (key == QLatin1String("protocol")) {
            protocol = value;
        } else if (key == QLatin1String("address")) {
            address = value;
        } else if (key == QLatin1String("port")) {
            port = value;
            havePort = true;
        }
    }
    if (!found) {
        return malformed(index == 0 ? QStringLiteral("no [SimConnect] section")
                                    : QStringLiteral("no [SimConnect.%1] section").arg(index));
    }
    if (!protocol.isEmpty() && protocol.compare(QLatin1String("IPv4"), Qt::CaseInsensitive) != 0) {
        return malformed(QStringLiteral("Protocol=%1 is not supported, only IPv4").arg(protocol.left(32)));
    }
    if (!validAddress(address)) {
        return malformed(address.isEmpty()
                             ? QStringLiteral("no Address")
                             : QStringLiteral("Address=%1 is not an address").arg(address.left(64)));
    }
    SimConnectConfig config;
    config.endpoint.address = address;
    if (!havePort || !validPort(port, &config.endpoint.port)) {
        return malformed(havePort ? QStringLiteral("Port=%1 is not a port").arg(port.left(32))
                                  : QStringLiteral("no Port"));
    }
    return config;
}

bool parseSimConnectEndpoint(const QString& text, SimConnectEndpoint* endpoint) {
    const qsizetype colon = text.lastIndexOf(QLatin1Char(':'));
    if (colon <= 0) {
        return false;
    }
    const QString address = text.left(colon).trimmed();
    quint16 port = 0;
    if (!validAddress(address) || !validPort(text.mid(colon + 1), &port)) {
        return false;
    }
    endpoint->address = address;
    endpoint->port = port;
    return true;
}
