#include "udptesting.h"

#include <QHostAddress>
#include <QUdpSocket>

namespace UdpTesting {

quint16 freePort() {
    QUdpSocket probe;
    if (!probe.bind(QHostAddress::Any, 0)) {
        return 0;
    }
    return probe.localPort();
}

bool send(quint16 port, const QByteArray& datagram) {
    QUdpSocket sender;
    return sender.writeDatagram(datagram, QHostAddress(QHostAddress::LocalHost), port) == datagram.size();
}

bool sendFrom(const QString& from, quint16 port, const QByteArray& datagram) {
    QUdpSocket sender;
    return sender.bind(QHostAddress(from), 0) &&
           sender.writeDatagram(datagram, QHostAddress(QHostAddress::LocalHost), port) == datagram.size();
}

} // namespace UdpTesting
