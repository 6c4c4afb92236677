#pragma once

#include "setup/configedit.h"

#include <QList>
#include <QString>

// MSFS's SimConnect.xml and the program's SimConnect.cfg. The simulator gets a listener of its
// own for this program: a "<SimConnect.Comm>" block named "Grovik Trennal" for IPv4 on
// 127.0.0.1 and a port of 1024 or above (Linux keeps lower ports for privileged programs, so a
// simulator under Proton cannot open them), added before the document's end with the file's
// indentation and line ends; every other byte stays. SimConnect.cfg's "[SimConnect]" section
// (or "[SimConnect.0]") then names the same address and port for the program.
//
// Threading: pure functions.
namespace MsfsSimConnect {

// The first port offered to the simulator (the one the guide has always named).
constexpr quint16 FirstPort = 5111;

QString listenerName();

struct Listener {
    bool found = false;  // a block named listenerName() exists
    bool usable = false; // switched on, IPv4, with an address and a port of 1024 or above
    QString address;
    int port = 0;
};

// The listener this program added before.
Listener ourListener(const QString& xml);
// The ports every listener of the file names, so that a new one takes none of them.
QList<int> ports(const QString& xml);
// Why the text is not a SimConnect.xml the set-up can edit; empty when it is.
QString check(const QString& xml);
// Adds the listener (or replaces an unusable one of ours); a usable one is left as it is.
ConfigEdit withListener(const QString& xml, quint16 port);
// Points the client section of SimConnect.cfg at address:port.
ConfigEdit withClient(const QString& cfg, const QString& address, quint16 port);

} // namespace MsfsSimConnect
