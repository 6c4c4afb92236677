#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

// Loopback UDP helpers for the telemetry tests.
namespace UdpTesting {

// A port free on every local address at the time of the call: bound once, read, released.
quint16 freePort();
// Sends one datagram to 127.0.0.1:port; true when the whole datagram was handed to the system.
bool send(quint16 port, const QByteArray& datagram);
// The same from a chosen local address, such as 127.0.0.2 standing in for another computer.
bool sendFrom(const QString& from, quint16 port, const QByteArray& datagram);

} // namespace UdpTesting
