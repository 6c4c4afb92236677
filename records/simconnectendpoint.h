#pragma once

#include <QByteArray>
#include <QLatin1String>
#include <QString>

// Where the native SimConnect client connects, and the two texts that name it: the
// "SimConnect.cfg" file, in the format the simulator SDK's own client library reads, and
// "HOST:PORT" from the command line. The set-up writes that file and the MSFS client reads it,
// so its format lives here, below both. Without either the endpoint is 127.0.0.1:500, the
// IPv4 listener of the simulator's default SimConnect.xml.
//
// Threading: pure functions.

struct SimConnectEndpoint {
    QString address = QStringLiteral("127.0.0.1");
    quint16 port = 500;
};

struct SimConnectConfig {
    // The file's name, in the directory the program works in; the set-up writes it there.
    static constexpr QLatin1String FileName{"SimConnect.cfg"};
    // A configuration file is a few lines; more than this is not one.
    static constexpr qint64 MaxBytes = 64 * 1024;

    SimConnectEndpoint endpoint; // the defaults when the text is malformed
    QString error;               // empty when the text is well-formed
};

// The endpoint of section "[SimConnect]" or "[SimConnect.<index>]" of a SimConnect.cfg text
// (keys Protocol, Address, Port; names case-insensitive; ';' and '#' start comments).
SimConnectConfig parseSimConnectConfig(const QByteArray& text, int index = 0);

// "HOST:PORT" with a port of 1 to 65535; false (and the endpoint untouched) otherwise.
bool parseSimConnectEndpoint(const QString& text, SimConnectEndpoint* endpoint);
