#pragma once

#include <QByteArray>
#include <QHash>
#include <QHostAddress>
#include <QMap>
#include <QObject>
#include <QPair>
#include <QUdpSocket>

// A stand-in for X-Plane on a loopback port: it keeps the RREF subscriptions it is sent (index ->
// rate and path) and answers every subscribed index, with the values given by path (0 for the
// others), to the port the requests came from.
//
// Threading: the test's thread; its socket is read by that thread's event loop.
class FakeXPlane : public QObject {
public:
    explicit FakeXPlane(quint16 port);

    bool bound() const { return socket_.state() == QAbstractSocket::BoundState; }
    const QMap<qint32, QPair<qint32, QByteArray>>& subscriptions() const { return subscriptions_; }
    // Subscriptions with a rate above 0.
    int subscribed() const;
    void answer(const QHash<QByteArray, float>& values);

    // Values of an aircraft with this name (X-Plane 12's name dataref) at `knots`, paused or not.
    static QHash<QByteArray, float> flying(const QByteArray& name, float knots, bool paused = false);

private:
    QUdpSocket socket_;
    QHostAddress client_;
    quint16 clientPort_ = 0;
    QMap<qint32, QPair<qint32, QByteArray>> subscriptions_;
};
