#pragma once

#include <QByteArray>
#include <QString>

#include <functional>

// Where the native SimConnect client connects. The program reads "SimConnect.cfg" from its
// working directory in the format the simulator SDK's own client library reads, so one file
// serves both; "--simconnect HOST:PORT" overrides it; without either it is 127.0.0.1:500, the
// IPv4 listener of the simulator's default SimConnect.xml.
//
// Threading: configureSimConnect() runs on the GUI thread at start-up and never blocks: a host
// name is looked up in the background and the answer set on that thread's event loop.
// setSimConnectEndpoint() and simConnectEndpoint() may be called from any thread.

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
// command line) is given and sets the endpoint. A host name is set as it is and replaced by its
// first IPv4 address once the lookup answers (127.0.0.1 if it has none, told to lateProblem).
// Returns what was wrong (an empty text when nothing was), for the user to see once.
QString configureSimConnect(const QString& override,
                            const std::function<void(const QString&)>& lateProblem = {});

void setSimConnectEndpoint(const QString& address, quint16 port);
SimConnectEndpoint simConnectEndpoint();
