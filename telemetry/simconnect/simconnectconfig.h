#pragma once

#include <QByteArray>
#include <QString>

// Where the native SimConnect client connects. The program reads "SimConnect.cfg" from its
// working directory in the format the simulator SDK's own client library reads, so one file
// serves both; "--simconnect HOST:PORT" overrides it; without either it is 127.0.0.1:500, the
// IPv4 listener of the simulator's default SimConnect.xml.
//
// Threading: configureSimConnect() and setSimConnectEndpoint() run on the GUI thread at start-up
// (name resolution may block there); simConnectEndpoint() may be called from any thread.

struct SimConnectEndpoint {
    QString address = QStringLiteral("127.0.0.1");
    quint16 port = 500;
};

struct SimConnectConfig {
    SimConnectEndpoint endpoint; // the defaults when the text is malformed
    QString error;               // empty when the text is well-formed
};

// The endpoint of section "[SimConnect]" or "[SimConnect.<index>]" of a SimConnect.cfg text
// (keys Protocol, Address, Port; names case-insensitive; ';' and '#' start comments).
SimConnectConfig parseSimConnectConfig(const QByteArray& text, int index = 0);

// "HOST:PORT" with a port of 1 to 65535; false (and the endpoint untouched) otherwise.
bool parseSimConnectEndpoint(const QString& text, SimConnectEndpoint* endpoint);

// Reads SimConnect.cfg from the working directory unless `override` ("HOST:PORT", from the
// command line) is given, resolves a host name to an IPv4 address and sets the endpoint.
// Returns what was wrong (an empty text when nothing was), for the user to see once.
QString configureSimConnect(const QString& override);

void setSimConnectEndpoint(const QString& address, quint16 port);
SimConnectEndpoint simConnectEndpoint();
